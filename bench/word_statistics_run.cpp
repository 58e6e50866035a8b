// The longest stall of the UI thread while the Word Statistics window works, on the
// offscreen platform:
//   word_statistics_run FILE [RANK]   (RANK default 100)
// 1. Opens the statistics window from a main window with FILE in its input list and
//    runs it with a 5 ms timer on the UI thread: prints the run's time and the
//    longest time the event loop went without serving the timer, the words shown
//    checked against the engine's count of FILE.
// 2. Selects the word of that RANK (1 the most frequent) and prints the same while
//    its concordance streams in and its dispersion plot is drawn, the lines
//    checked against the word's count.
#include <QApplication>
#include <QElapsedTimer>
#include <QTableView>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "engine/extraction.h"
#include "shell/settings_store.h"
#include "support/scripted_dialogs.h"
#include "support/temp_dir.h"
#include "support/wait.h"
#include "window/concordance_pane.h"
#include "window/dispersion_plot.h"
#include "window/form1.h"
#include "window/word_statistics_model.h"
#include "window/word_statistics_window.h"

namespace {

int Fail(const char* what) {
  std::fprintf(stderr, "word_statistics_run: %s\n", what);
  return 1;
}

// The longest time the event loop goes without serving a 5 ms timer while `busy`.
class StallProbe {
 public:
  StallProbe() {
    timer_.setInterval(5);
    QObject::connect(&timer_, &QTimer::timeout,
                     [this] { longest_ = std::max(longest_, since_tick_.restart()); });
  }
  template <typename Busy>
  bool Watch(Busy busy, qint64& elapsed_ms) {
    longest_ = 0;
    QElapsedTimer whole;
    whole.start();
    since_tick_.start();
    timer_.start();
    const bool done = lintavel::testing::WaitUntil([&] { return !busy(); }, 30 * 60 * 1000);
    timer_.stop();
    longest_ = std::max(longest_, since_tick_.elapsed());
    elapsed_ms = whole.elapsed();
    return done;
  }
  qint64 longest() const { return longest_; }

 private:
  QTimer timer_;
  QElapsedTimer since_tick_;
  qint64 longest_ = 0;
};

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  if (argc != 2 && argc != 3) return Fail("usage: word_statistics_run FILE [RANK]");
  const std::filesystem::path input = argv[1];
  const int rank = argc == 3 ? std::atoi(argv[2]) : 100;

  lintavel::testing::TempDir folder;
  lintavel::testing::ScriptedDialogs dialogs;
  lintavel::SettingsStore settings(QString::fromStdString((folder.path() / "s.ini").string()));
  lintavel::Form1 form(dialogs, settings, QString::fromStdString(folder.path().string()));
  form.show();
  form.AddFiles({QString::fromLocal8Bit(argv[1])});
  StallProbe probe;
  qint64 run_ms = 0;
  form.ShowWordStatistics();  // opening the window starts its first run
  lintavel::WordStatisticsWindow& window = *form.WordStatistics();
  if (!probe.Watch([&] { return window.running(); }, run_ms) || !window.outcome()) {
    return Fail("the run did not finish");
  }
  const qint64 run_stall = probe.longest();
  lintavel::WordStatisticsModel& model = window.model();
  const auto engine = lintavel::ExtractWords({&input, 1});
  if (static_cast<std::size_t>(model.rowCount()) != engine.words.size()) {
    return Fail("the window shows another number of words than the engine counted");
  }
  std::printf("input: %s, %llu bytes, %d distinct words\n", argv[1],
              static_cast<unsigned long long>(std::filesystem::file_size(input)), model.rowCount());
  std::printf("run in the statistics window: %lld ms, longest stall of the UI thread: %lld ms\n",
              static_cast<long long>(run_ms), static_cast<long long>(run_stall));

  // The rows are least frequent first: rank r is the r-th row from the end.
  model.sort(lintavel::WordStatisticsModel::kCount, Qt::DescendingOrder);
  const int row = std::clamp(rank, 1, model.rowCount()) - 1;
  const QString word = model.Word(row);
  const qulonglong count =
      model.data(model.index(row, lintavel::WordStatisticsModel::kCount)).toULongLong();
  qint64 search_ms = 0;
  window.table()->setCurrentIndex(model.index(row, 0));
  lintavel::ConcordancePane& pane = *window.concordance();
  if (!probe.Watch([&] { return pane.searching() || window.dispersion()->strips().empty(); },
                   search_ms)) {
    return Fail("the concordance search did not finish");
  }
  if (static_cast<qulonglong>(pane.model().rowCount()) != count ||
      window.dispersion()->strips().front().ticks.size() != count) {
    return Fail("the concordance or the dispersion plot holds another number of lines");
  }
  std::printf(
      "concordance and dispersion of '%s' (rank %d, %llu lines): %lld ms, longest stall: %lld "
      "ms\n",
      word.toUtf8().constData(), row + 1, count, static_cast<long long>(search_ms),
      static_cast<long long>(probe.longest()));
  return 0;
}
