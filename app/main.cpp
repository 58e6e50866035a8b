#include <QApplication>
#include <QIcon>
#include <cstdlib>

#include "shell/qt_dialogs.h"
#include "shell/settings_store.h"
#include "window/form1.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setOrganizationName(QStringLiteral("Quorvane"));
  QApplication::setApplicationName(QStringLiteral("Lintavel"));
  QApplication::setWindowIcon(QIcon(QStringLiteral(":/lintavel.png")));
  QApplication::setDesktopFileName(QStringLiteral("lintavel"));

  lintavel::SettingsStore settings(lintavel::SettingsStore::DefaultFile());
  lintavel::QtDialogs dialogs;
  lintavel::Form1 form(dialogs, settings, QCoreApplication::applicationDirPath());
  dialogs.SetParent(&form);
  form.ShowCentred();
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
