// The longest stall of the UI thread while the Word Statistics window works, on the
// offscreen platform:
//   word_statistics_run FILE [RANK | WORD]   (RANK default 100)
// 1. Opens the statistics window from a main window with FILE in its input list and
//    runs it with a 5 ms timer on the UI thread: prints the run's time and the
//    longest time the event loop went without serving the timer (when it ended),
//    and the most processor time the UI thread spent between two ticks (the stall
//    on an idle machine: on a busy one the wall-clock stall stretches), the words
//    shown checked against the engine's count of FILE.
// 2. Selects the word of that RANK (1 the most frequent), or WORD, and prints the same while
//    its concordance streams in and its dispersion plot is drawn, the lines
//    checked against the word's count; the same while they are ordered by their
//    right context and back; then the same when another word (the least
//    frequent, or the most when that was it) takes its place.
#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QTableView>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <ctime>
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

// The processor time of the calling thread so far, in milliseconds.
double ThreadCpuMs() {
  timespec now{};
  ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6;
}

// The longest time the event loop goes without serving a 5 ms timer while `busy`.
class StallProbe {
 public:
  StallProbe() {
    timer_.setInterval(5);
    QObject::connect(&timer_, &QTimer::timeout, [this] {
      const qint64 gap = since_tick_.restart();
      const double cpu = ThreadCpuMs();
      if (gap > longest_) {
        longest_ = gap;
        at_ = whole_.elapsed();
      }
      busiest_ = std::max(busiest_, cpu - last_cpu_);
      last_cpu_ = cpu;
    });
  }
  template <typename Busy>
  bool Watch(Busy busy, qint64& elapsed_ms) {
    longest_ = 0;
    busiest_ = 0;
    last_cpu_ = ThreadCpuMs();
    whole_.start();
    since_tick_.start();
    timer_.start();
    const bool done = lintavel::testing::WaitUntil([&] { return !busy(); }, 30 * 60 * 1000);
    timer_.stop();
    longest_ = std::max(longest_, since_tick_.elapsed());
    elapsed_ms = whole_.elapsed();
    return done;
  }
  qint64 longest() const { return longest_; }
  // When the longest stall ended, from the start of the watch.
  qint64 at() const { return at_; }
  // The most processor time the UI thread spent between two ticks: the longest
  // stall as it would be on an idle machine.
  double busiest() const { return busiest_; }

 private:
  QTimer timer_;
  QElapsedTimer since_tick_;
  QElapsedTimer whole_;
  qint64 longest_ = 0;
  qint64 at_ = 0;
  double busiest_ = 0;
  double last_cpu_ = 0;
};

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  if (argc != 2 && argc != 3) return Fail("usage: word_statistics_run FILE [RANK | WORD]");
  const std::filesystem::path input = argv[1];
  const QString chosen = argc == 3 ? QString::fromLocal8Bit(argv[2]) : QStringLiteral("100");
  bool by_rank = false;
  const int rank = chosen.toInt(&by_rank);

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
  const qint64 run_stall_at = probe.at();
  const double run_busiest = probe.busiest();
  lintavel::WordStatisticsModel& model = window.model();
  const auto engine = lintavel::ExtractWords({&input, 1});
  if (static_cast<std::size_t>(model.rowCount()) != engine.words.size()) {
    return Fail("the window shows another number of words than the engine counted");
  }
  std::printf("input: %s, %llu bytes, %d distinct words\n", argv[1],
              static_cast<unsigned long long>(std::filesystem::file_size(input)), model.rowCount());
  std::printf(
      "run in the statistics window: %lld ms, longest stall of the UI thread: %lld ms (ended at "
      "%lld ms), its most processor time between two ticks: %.1f ms\n",
      static_cast<long long>(run_ms), static_cast<long long>(run_stall),
      static_cast<long long>(run_stall_at), run_busiest);

  // The rows are least frequent first: rank r is the r-th row from the end.
  model.sort(lintavel::WordStatisticsModel::kCount, Qt::DescendingOrder);
  int row = std::clamp(rank, 1, model.rowCount()) - 1;
  if (!by_rank) {
    row = -1;
    for (int r = 0; r < model.rowCount() && row < 0; ++r) {
      if (model.Word(r) == chosen) row = r;
    }
    if (row < 0) return Fail("the word is not in the list");
  }
  const QString word = model.Word(row);
  const qulonglong count =
      model.data(model.index(row, lintavel::WordStatisticsModel::kCount)).toULongLong();
  qint64 search_ms = 0;
  // When the first lines (1,000, or all when fewer) stood in the pane.
  const int first_lines = static_cast<int>(std::min<qulonglong>(1000, count));
  qint64 first_lines_ms = -1;
  QElapsedTimer search_clock;
  search_clock.start();
  // Selected from the event loop, so that the work done at once is watched too (the
  // lines of the word before let go).
  bool selected = false;
  const auto select = [&](int at) {
    selected = false;
    QTimer::singleShot(0, [&, at] {
      window.table()->setCurrentIndex(model.index(at, 0));
      selected = true;
    });
  };
  select(row);
  lintavel::ConcordancePane& pane = *window.concordance();
  const auto busy = [&] {
    if (!selected) return true;
    if (first_lines_ms < 0 && pane.model().rowCount() >= first_lines) {
      first_lines_ms = search_clock.elapsed();
    }
    return pane.searching() || window.dispersion()->strips().empty();
  };
  if (!probe.Watch(busy, search_ms)) {
    return Fail("the concordance search did not finish");
  }
  if (static_cast<qulonglong>(pane.model().rowCount()) != count ||
      window.dispersion()->strips().front().ticks.size() != count) {
    return Fail("the concordance or the dispersion plot holds another number of lines");
  }
  std::printf(
      "concordance and dispersion of '%s' (rank %d, %llu lines): %lld ms, longest stall: %lld "
      "ms, most processor time between two ticks: %.1f ms; the first %d lines shown after %lld "
      "ms\n",
      word.toUtf8().constData(), row + 1, count, static_cast<long long>(search_ms),
      static_cast<long long>(probe.longest()), probe.busiest(), first_lines,
      static_cast<long long>(first_lines_ms));

  // The lines put in the order of their right context, then back in text order.
  auto* order = pane.findChild<QComboBox*>();
  if (!order) return Fail("the concordance has no order to choose");
  for (const int index : {1, 0}) {
    bool ordered = false;
    QTimer::singleShot(0, [&] {
      order->setCurrentIndex(index);
      ordered = true;
    });
    qint64 order_ms = 0;
    if (!probe.Watch([&] { return !ordered || pane.model().sorting(); }, order_ms) ||
        static_cast<qulonglong>(pane.model().rowCount()) != count) {
      return Fail("the lines were not put in order");
    }
    std::printf(
        "%s: %lld ms, longest stall: %lld ms, most processor time between two ticks: %.1f ms\n",
        index == 1 ? "ordered by the right context" : "back in text order",
        static_cast<long long>(order_ms), static_cast<long long>(probe.longest()), probe.busiest());
  }

  // Another word chosen: the lines held are let go and the search starts again.
  const int other = row == model.rowCount() - 1 ? 0 : model.rowCount() - 1;
  const qulonglong other_count =
      model.data(model.index(other, lintavel::WordStatisticsModel::kCount)).toULongLong();
  select(other);
  if (!probe.Watch(
          [&] { return !selected || pane.searching() || window.dispersion()->strips().empty(); },
          search_ms) ||
      static_cast<qulonglong>(pane.model().rowCount()) != other_count) {
    return Fail("the search of another word did not find its lines");
  }
  std::printf(
      "then '%s' (%llu lines) instead: %lld ms, longest stall: %lld ms, most processor time "
      "between two ticks: %.1f ms\n",
      model.Word(other).toUtf8().constData(), other_count, static_cast<long long>(search_ms),
      static_cast<long long>(probe.longest()), probe.busiest());
  return 0;
}
