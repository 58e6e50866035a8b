// Measures the window while it works, on the offscreen platform:
//   window_responsiveness FILE
// 1. Runs "Start Extracting" over FILE in the real window with a 5 ms timer on the
//    UI thread, and prints the longest time the event loop went without serving
//    it (the longest freeze a user could feel).
// 2. Counts FILE once more with the engine alone, then times what follows the
//    engine's finish: decoding the words into list rows and showing them.
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
  if (argc != 2) return Fail("usage: window_responsiveness FILE");
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
  return 0;
}
