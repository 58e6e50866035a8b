#include <QApplication>
#include <QIcon>
#include <QThreadPool>

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
  // A run that the closing abandoned stops within one block of input.
  QThreadPool::globalInstance()->waitForDone();
  return status;
}
