#include <QApplication>
#include <QIcon>
#include <QTimer>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string_view>
#include <vector>

#include "app/quit_on_signals.h"
#include "engine/cleared_memory.h"
#include "lintavel_version.h"
#include "shell/qt_dialogs.h"
#include "shell/settings_store.h"
#include "window/form1.h"
#include "window/list_view.h"
#include "window/native_names.h"

namespace {

constexpr char kUsage[] =
    "Usage: lintavel [OPTION]... [FILE]...\n"
    "Open the Lintavel window with each FILE in its input list.\n"
    "\n"
    "  -h, --help     print this help and exit\n"
    "      --version  print the version and exit\n"
    "  --             take every argument after it as a FILE\n"
    "\n"
    "The options of Qt programs (-platform NAME, -style NAME, -reverse, ...) are\n"
    "understood before \"--\".\n";

// The end of the options: "--", or argc when there is none.
int OptionsEnd(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    if (std::string_view(argv[i]) == "--") return i;
  }
  return argc;
}

}  // namespace

int main(int argc, char** argv) {
  lintavel::MapLargeBlocksApart();
  // Answered before the window system is reached, so that they work without a display.
  const int options_end = OptionsEnd(argc, argv);
  for (int i = 1; i < options_end; ++i) {
    const std::string_view argument = argv[i];
    if (argument == "--help" || argument == "-h") {
      std::cout << kUsage;
      return 0;
    }
    if (argument == "--version") {
      std::cout << "lintavel " << lintavel::kVersion << '\n';
      return 0;
    }
  }
  // Qt sees only what comes before "--", so that it takes no file for its own option.
  std::vector<char*> qt_argv(argv, argv + options_end);
  qt_argv.push_back(nullptr);
  int qt_argc = options_end;
  QApplication app(qt_argc, qt_argv.data());
  std::vector<const char*> files;
  for (int i = 1; i < qt_argc; ++i) {
    const std::string_view argument = qt_argv[static_cast<std::size_t>(i)];
    if (argument.size() > 1 && argument.front() == '-') {
      std::cerr << "lintavel: unknown option '" << argument << "'; 'lintavel --help' lists them\n";
      return 2;
    }
    files.push_back(qt_argv[static_cast<std::size_t>(i)]);
  }
  for (int i = options_end + 1; i < argc; ++i) files.push_back(argv[i]);

  QApplication::setOrganizationName(QStringLiteral("Quorvane"));
  QApplication::setApplicationName(QStringLiteral("Lintavel"));
  QApplication::setWindowIcon(QIcon(QStringLiteral(":/lintavel.png")));
  QApplication::setDesktopFileName(QStringLiteral("lintavel"));
  // Ended from outside, the program cleans up as when its window is closed.
  lintavel::QuitOnSignals termination;

  lintavel::SettingsStore settings(lintavel::SettingsStore::DefaultFile());
  lintavel::QtDialogs dialogs;
  lintavel::Form1 form(dialogs, settings, QCoreApplication::applicationDirPath());
  dialogs.SetParent(&form);
  // The files a file manager opens with the program, or named on its command line,
  // with their own bytes: a name that is not UTF-8 still names its file.
  QStringList paths;
  for (const char* file : files) paths << lintavel::DecodeFileName(file);
  form.AddFiles(paths);
  form.ShowCentred();
  // For the package tests: the input list of the started window, then the end.
  if (qEnvironmentVariableIsSet("LINTAVEL_PRINT_INPUT_LIST")) {
    QTimer::singleShot(0, &form, [&form] {
      const lintavel::ListView& inputs = *form.ListView1();
      for (int p = 1; p <= inputs.Count(); ++p) {
        std::cout << lintavel::EncodeFileName(inputs.Text(p)).toStdString() << '\n';
      }
      std::cout.flush();
      form.close();
    });
  }
  const int status = QApplication::exec();
  const int end_status = termination.received() != 0 ? 128 + termination.received() : status;
  // Nothing is saved at the end but the workbooks go. Work that the closing
  // abandoned (a run inside one enormous word, a read from a share that went
  // away) is not waited for: the program then ends without its destructors.
  form.EndWorkbooks();
  if (!form.WaitForWorkers(0)) {
    std::cout.flush();
    std::_Exit(end_status);
  }
  return end_status;
}
