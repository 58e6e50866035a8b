// Drives the window through many runs with clears between them and checks that
// memory comes back to where it was after the first clear:
//   soak_window FILE [RUNS [WARM_UP]]   (default 50 runs, no warm-up)
// Prints the resident memory after each run and after each clear; exits non-zero
// when memory after a clear grows by more than 16 MiB over the clear that ends the
// warm-up runs, or when a run does not give the same rows as the first. (glibc keeps
// freed memory in the arenas of the worker threads; with MALLOC_ARENA_MAX=1 no
// warm-up is needed.)
#include <malloc.h>

#include <QApplication>
#include <cstdio>
#include <fstream>
#include <string>

#include "bench/resident_memory.h"
#include "shell/settings_store.h"
#include "support/scripted_dialogs.h"
#include "support/temp_dir.h"
#include "support/wait.h"
#include "window/form1.h"
#include "window/list_view.h"

namespace {

// Memory the allocator still holds after a clear is handed back before measuring,
// so that what remains is what the program still uses.
long SettledResidentKiB() {
  QApplication::processEvents();
  ::malloc_trim(0);
  return lintavel::bench::ResidentKiB();
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  if (argc < 2) {
    std::fprintf(stderr, "usage: soak_window FILE [RUNS]\n");
    return 2;
  }
  const int runs = argc > 2 ? std::atoi(argv[2]) : 50;
  const int warm_up = argc > 3 ? std::atoi(argv[3]) : 0;
  lintavel::testing::TempDir folder;
  lintavel::testing::ScriptedDialogs dialogs;
  lintavel::SettingsStore settings(QString::fromStdString((folder.path() / "s.ini").string()));
  lintavel::Form1 form(dialogs, settings, QString::fromStdString(folder.path().string()));
  form.show();
  form.ListView1()->Append(QString::fromLocal8Bit(argv[1]));

  long baseline = 0;
  int first_rows = -1;
  long worst_growth = 0;
  for (int run = 1; run <= runs; ++run) {
    form.PushButton1_Click();
    if (!lintavel::testing::WaitUntil([&] { return form.IsExtracting() == lintavel::kFalse; },
                                      10 * 60 * 1000)) {
      std::fprintf(stderr, "run %d did not finish\n", run);
      return 1;
    }
    const int rows = form.ListView2()->Count();
    if (first_rows < 0) first_rows = rows;
    if (rows != first_rows) {
      std::fprintf(stderr, "run %d gave %d rows, the first %d\n", run, rows, first_rows);
      return 1;
    }
    const long after_run = SettledResidentKiB();
    form.PushButton9_Click();
    const long after_clear = SettledResidentKiB();
    if (run == warm_up + 1) baseline = after_clear;
    if (run > warm_up) worst_growth = std::max(worst_growth, after_clear - baseline);
    std::printf("run %2d: %d rows, %ld KiB after the run, %ld KiB after the clear (%+ld)\n", run,
                rows, after_run, after_clear, after_clear - baseline);
    std::fflush(stdout);
  }
  std::printf("largest growth after a clear over run %d's: %ld KiB\n", warm_up + 1, worst_growth);
  return worst_growth > 16 * 1024 ? 1 : 0;
}
