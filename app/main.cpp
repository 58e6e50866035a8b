#include <QApplication>
#include <QIcon>
#include <QTimer>
#include <cstdlib>
#include <cstring>
#include <iostream>

#include "lintavel_version.h"
#include "shell/qt_dialogs.h"
#include "shell/settings_store.h"
#include "window/form1.h"
#include "window/list_view.h"

int main(int argc, char** argv) {
  // Answered before the window system is reached, so that it works without a display.
  if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
    std::cout << "lintavel " << lintavel::kVersion << '\n';
    return 0;
  }
  QApplication app(argc, argv);
  QApplication::setOrganizationName(QStringLiteral("Quorvane"));
  QApplication::setApplicationName(QStringLiteral("Lintavel"));
  QApplication::setWindowIcon(QIcon(QStringLiteral(":/lintavel.png")));
  QApplication::setDesktopFileName(QStringLiteral("lintavel"));

  lintavel::SettingsStore settings(lintavel::SettingsStore::DefaultFile());
  lintavel::QtDialogs dialogs;
  lintavel::Form1 form(dialogs, settings, QCoreApplication::applicationDirPath());
  dialogs.SetParent(&form);
  // The files a file manager opens with the program, or named on its command line.
  form.AddFiles(QApplication::arguments().mid(1));
  form.ShowCentred();
  // For the package tests: the input list of the started window, then the end.
  if (qEnvironmentVariableIsSet("LINTAVEL_PRINT_INPUT_LIST")) {
    QTimer::singleShot(0, &form, [&form] {
      const lintavel::ListView& inputs = *form.ListView1();
      for (int p = 1; p <= inputs.Count(); ++p) std::cout << inputs.Text(p).toStdString() << '\n';
      std::cout.flush();
      form.close();
    });
  }
  const int status = QApplication::exec();
  // Work that the closing abandoned stops within one block of input or one folder.
  // A read that hangs (a share that went away) must not keep the program alive:
  // nothing is saved at the end, so the program may end without its destructors,
  // once the workbook folder is gone.
  if (!form.WaitForWorkers(1000)) {
    form.EndWorkbooks();
    std::_Exit(status);
  }
  return status;
}
