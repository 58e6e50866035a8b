// Measures the window while it works, on the offscreen platform:
//   window_responsiveness FILE [TREE]
// 1. Runs "Start Extracting" over FILE in the real window with a 5 ms timer on the
//    UI thread, and prints the longest time the event loop went without serving
//    it (the longest freeze a user could feel).
// 2. Counts FILE once more with the engine alone, then times what follows the
//    engine's finish: decoding the words into list rows and showing them.
// 3. Appends, scrolls and clears an input list of 100,000 rows.
// 4. With TREE, imports every .txt file below it with "Add All File(s) In Folder"
//    and prints the longest freeze of the event loop during the scan.
// 5. Starts a workbook export of the run's rows, closes the window, and times
//    until the writer has stopped.
// 6. Closes a window in the middle of a run over FILE (and of an import of TREE)
//    and times until its work has stopped.
// Each measurement checks its result (rows against the engine's distinct words)
// before it prints a figure.
//   window_responsiveness --long-word FILE
// runs FILE, which holds one word (say a gigabyte without a blank), in the window,
// times painting, selecting and scrolling its row beside a short row's, and prints
// the peak memory of the run beside that of lintavel-extract on the same file.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <QApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QMouseEvent>
#include <QScrollBar>
#include <QTimer>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

#include "bench/resident_memory.h"
#include "engine/extraction.h"
#include "shell/settings_store.h"
#include "support/scripted_dialogs.h"
#include "support/temp_dir.h"
#include "support/wait.h"
#include "window/form1.h"
#include "window/list_view.h"

namespace {

using lintavel::ExtractionResult;

int Fail(const char* what) {
  std::fprintf(stderr, "window_responsiveness: %s\n", what);
  return 1;
}

// The peak resident memory of lintavel-extract over `file`, in KiB, or -1.
long ExtractPeakKiB(const char* file) {
  const pid_t child = ::fork();
  if (child == 0) {
    const int null = ::open("/dev/null", O_WRONLY);
    ::dup2(null, 1);
    ::dup2(null, 2);
    ::execl(LINTAVEL_EXTRACT_BINARY, "lintavel-extract", "--quiet", file, nullptr);
    ::_exit(127);
  }
  int status = 0;
  rusage usage{};
  if (child < 0 || ::wait4(child, &status, 0, &usage) != child || !WIFEXITED(status) ||
      WEXITSTATUS(status) != 0) {
    return -1;
  }
  return usage.ru_maxrss;
}

// Milliseconds per round of `action`, over `rounds` rounds.
template <typename Action>
double MsPerRound(int rounds, Action action) {
  QElapsedTimer timer;
  timer.start();
  for (int i = 0; i < rounds; ++i) action();
  return static_cast<double>(timer.nsecsElapsed()) / 1e6 / rounds;
}

struct RowTimes {
  double paint, select, scroll;
};

// Paints the list, clicks its first row and scrolls its wide column by the pixel.
RowTimes TimeFirstRow(lintavel::ListView& list) {
  list.setColumnWidth(0, 4000);
  QApplication::processEvents();
  const QPoint at = list.visualRect(list.rows_model().index(0)).center();
  RowTimes times{};
  times.paint = MsPerRound(20, [&] { list.viewport()->repaint(); });
  times.select = MsPerRound(20, [&] {
    list.clearSelection();
    const QPointF global = list.viewport()->mapToGlobal(QPointF(at));
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(at), global, Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QApplication::sendEvent(list.viewport(), &press);
    QMouseEvent release(QEvent::MouseButtonRelease, QPointF(at), global, Qt::LeftButton,
                        Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(list.viewport(), &release);
    list.viewport()->repaint();
  });
  int step = 0;
  times.scroll = MsPerRound(20, [&] {
    list.horizontalScrollBar()->setValue(++step * 37);
    list.viewport()->repaint();
  });
  if (list.SelectedPosition() != 1) times.select = -1;
  return times;
}

int LongRow(const char* file) {
  lintavel::testing::TempDir folder;
  lintavel::testing::ScriptedDialogs dialogs;
  lintavel::SettingsStore settings(QString::fromStdString((folder.path() / "s.ini").string()));
  lintavel::Form1 form(dialogs, settings, QString::fromStdString(folder.path().string()));
  form.show();
  form.ListView1()->Append(QString::fromLocal8Bit(file));
  QElapsedTimer run_time;
  run_time.start();
  form.PushButton1_Click();
  if (!lintavel::testing::WaitUntil([&] { return form.IsExtracting() == lintavel::kFalse; },
                                    10 * 60 * 1000)) {
    return Fail("the run did not finish");
  }
  const qint64 run_ms = run_time.elapsed();
  QApplication::processEvents();
  const long window_peak = lintavel::bench::PeakKiB();
  lintavel::ListView& results = *form.ListView2();
  const auto size = static_cast<std::size_t>(QFileInfo(QString::fromLocal8Bit(file)).size());
  if (results.Count() != 1 || results.rows_model().rows().Length(0) != size) {
    return Fail("the file is not one word that fills the results list");
  }
  const RowTimes long_row = TimeFirstRow(results);
  results.Clear();
  results.Append(QStringLiteral("short"));
  const RowTimes short_row = TimeFirstRow(results);
  if (long_row.select < 0 || short_row.select < 0) return Fail("a click did not select the row");
  const long extract_peak = ExtractPeakKiB(file);
  if (extract_peak <= 0) return Fail("lintavel-extract failed");

  std::printf("input: %s, one word of %zu bytes; run in the window: %lld ms\n", file, size,
              static_cast<long long>(run_ms));
  std::printf(
      "per round, the word's row vs a short row: paint %.2f vs %.2f ms, select %.2f vs "
      "%.2f ms, scroll %.2f vs %.2f ms\n",
      long_row.paint, short_row.paint, long_row.select, short_row.select, long_row.scroll,
      short_row.scroll);
  std::printf("peak memory: window run %ld MiB, lintavel-extract %ld MiB, ratio %.2f\n",
              window_peak / 1024, extract_peak / 1024,
              static_cast<double>(window_peak) / static_cast<double>(extract_peak));
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  if (argc == 3 && std::string_view(argv[1]) == "--long-word") return LongRow(argv[2]);
  if (argc != 2 && argc != 3) return Fail("usage: window_responsiveness FILE [TREE]");
  const QString input = QString::fromLocal8Bit(argv[1]);
  const std::filesystem::path input_path = argv[1];

  // 1. The longest freeze of the event loop during a run in the window.
  lintavel::testing::TempDir folder;
  lintavel::testing::ScriptedDialogs dialogs;
  lintavel::SettingsStore settings(QString::fromStdString((folder.path() / "s.ini").string()));
  lintavel::Form1 form(dialogs, settings, QString::fromStdString(folder.path().string()));
  form.show();
  form.ListView1()->Append(input);
  qint64 longest_gap = 0;
  QElapsedTimer since_tick;
  QTimer probe;
  probe.setInterval(5);
  QObject::connect(&probe, &QTimer::timeout,
                   [&] { longest_gap = std::max(longest_gap, since_tick.restart()); });
  QElapsedTimer run_time;
  run_time.start();
  since_tick.start();
  probe.start();
  form.PushButton1_Click();
  if (!lintavel::testing::WaitUntil([&] { return form.IsExtracting() == lintavel::kFalse; },
                                    10 * 60 * 1000)) {
    return Fail("the run did not finish");
  }
  probe.stop();
  const qint64 run_ms = run_time.elapsed();
  const int rows = form.ListView2()->Count();

  // 2. From the engine's finish to the rows in the list.
  lintavel::ExtractionResult result = lintavel::ExtractWords({&input_path, 1});
  if (static_cast<std::size_t>(rows) != result.words.size()) {
    return Fail("the window shows another number of rows than the engine counted");
  }
  QElapsedTimer show_time;
  show_time.start();
  lintavel::TextRows decoded;
  decoded.AppendWords(result.words);
  const qint64 decode_ms = show_time.elapsed();
  lintavel::ListView list;
  list.resize(520, 169);
  list.show();
  list.AppendRows(std::move(decoded));
  list.scrollToBottom();
  QApplication::processEvents();
  const qint64 shown_ms = show_time.elapsed();
  if (list.Count() != rows) return Fail("the list lost rows");

  std::size_t text_bytes = 0;
  for (const lintavel::CountedWord& word : result.words) text_bytes += 2 * word.word.size();
  std::printf("input: %s, %lld bytes\n", argv[1], static_cast<long long>(QFileInfo(input).size()));
  std::printf("run in the window: %lld ms, %d rows\n", static_cast<long long>(run_ms), rows);
  std::printf("longest event-loop freeze during the run: %lld ms\n",
              static_cast<long long>(longest_gap));
  std::printf("after the engine's finish: rows decoded in %lld ms (worker), shown in %lld ms\n",
              static_cast<long long>(decode_ms), static_cast<long long>(shown_ms));
  std::printf("results list text: %zu bytes as UTF-16\n", text_bytes);

  // 3. An input list of 100,000 rows, appended in the scan's batches, scrolled, cleared.
  lintavel::ListView& inputs = *form.ListView1();
  QElapsedTimer list_time;
  list_time.start();
  for (int batch = 0; batch < 20; ++batch) {
    QStringList batch_rows;
    for (int i = 0; i < 5000; ++i) {
      batch_rows << QStringLiteral("/home/user/corpus/folder%1/file%2.txt").arg(batch).arg(i);
    }
    inputs.AppendTexts(batch_rows);
    QApplication::processEvents();
  }
  const qint64 append_ms = list_time.restart();
  if (inputs.Count() != 100'001) return Fail("the input list lost rows");
  for (int step = 0; step < 50; ++step) {
    inputs.ScrollIntoView(1 + step * 2000);
    QApplication::processEvents();
  }
  const qint64 scroll_ms = list_time.restart();
  form.PushButton5_Click();
  QApplication::processEvents();
  const qint64 clear_ms = list_time.elapsed();
  if (inputs.Count() != 0) return Fail("the input list was not cleared");
  std::printf(
      "input list of 100,000 rows: appended in 20 batches in %lld ms, 50 scrolls in %lld "
      "ms, cleared in %lld ms\n",
      static_cast<long long>(append_ms), static_cast<long long>(scroll_ms),
      static_cast<long long>(clear_ms));

  if (argc == 3) {
    dialogs.typed = {QStringLiteral("txt")};
    dialogs.chosen_folders = {QString::fromLocal8Bit(argv[2])};
    longest_gap = 0;
    QElapsedTimer scan_time;
    scan_time.start();
    since_tick.restart();
    probe.start();
    form.PushButton3_Click();
    if (!lintavel::testing::WaitUntil([&] { return form.pending_scans() == 0; }, 10 * 60 * 1000)) {
      return Fail("the scan did not finish");
    }
    probe.stop();
    std::printf("import of %s: %d rows in %lld ms, longest event-loop freeze %lld ms\n", argv[2],
                inputs.Count(), static_cast<long long>(scan_time.elapsed()),
                static_cast<long long>(longest_gap));
  }

  // 6. Closing a window in the middle of a run, and of a folder import: the time
  //    until its work has stopped (the program waits for that before it ends).
  const auto time_close = [&](const char* what, int after_ms, const auto& start,
                              const auto& finished) {
    lintavel::Form1 busy(dialogs, settings, QString::fromStdString(folder.path().string()));
    busy.show();
    busy.ListView1()->Append(input);
    start(busy);
    lintavel::testing::WaitUntil([] { return false; }, after_ms);
    if (finished(busy)) return Fail("the work ended before the close: use a larger FILE or TREE");
    QElapsedTimer close_time;
    close_time.start();
    busy.close();
    if (!busy.WaitForWorkers(60'000)) return Fail("the work did not stop");
    std::printf("closing %d ms into %s: work stopped after %lld ms\n", after_ms, what,
                static_cast<long long>(close_time.elapsed()));
    return 0;
  };
  // Early, while the words are counted, and late, while they are merged and ordered.
  for (const int after_ms : {300, static_cast<int>(run_ms * 9 / 10)}) {
    if (time_close(
            "a run", after_ms, [](lintavel::Form1& busy) { busy.PushButton1_Click(); },
            [](lintavel::Form1& busy) { return busy.IsExtracting() == lintavel::kFalse; }) != 0) {
      return 1;
    }
  }
  if (argc == 3) {
    dialogs.typed = {QStringLiteral("txt")};
    dialogs.chosen_folders = {QString::fromLocal8Bit(argv[2])};
    if (time_close(
            "a folder import", 50, [](lintavel::Form1& busy) { busy.PushButton3_Click(); },
            [](lintavel::Form1& busy) { return busy.pending_scans() == 0; }) != 0) {
      return 1;
    }
  }

  // 5. Closing the window while the run's rows are written as a workbook.
  struct NoCalc : lintavel::SpreadsheetApp {
    bool IsInstalled() override { return true; }
    void OpenAsNewDocument(const QString&, lintavel::ShowVerdict) override { ++opened; }
    int opened = 0;
  } calc;
  form.SetSpreadsheetApp(calc);
  bool exported = false;
  QObject::connect(&form, &lintavel::Form1::WorkbookFinished, [&] { exported = true; });
  form.PushButton7_Click();
  lintavel::testing::WaitUntil([] { return false; }, 100);
  QElapsedTimer close_time;
  close_time.start();
  form.close();
  if (!form.WaitForWorkers(60'000)) return Fail("the export did not stop");
  const qint64 close_ms = close_time.elapsed();
  if (exported || calc.opened != 0)
    return Fail("the export ended before the close: use a larger FILE");
  std::printf("closing during the workbook export of %d rows: writer stopped after %lld ms\n",
              form.ListView2()->Count(), static_cast<long long>(close_ms));
  return 0;
}
