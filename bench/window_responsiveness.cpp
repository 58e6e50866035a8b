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
// Each measurement checks its result (rows against the engine's distinct words)
// before it prints a figure.
#include <QApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTimer>
#include <cstdio>
#include <filesystem>

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

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
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
