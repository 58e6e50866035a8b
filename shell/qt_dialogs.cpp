#include "shell/qt_dialogs.h"

#include <QApplication>
#include <QDesktopServices>
#include <QMessageBox>
#include <QUrl>

namespace lintavel {

QString DisplayLineBreaks(const QString& text) {
  QString shown = text;
  shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  shown.replace(QLatin1Char('\r'), QLatin1Char('\n'));
  return shown;
}

MessageAnswer QtDialogs::MessageBox(const QString& text, MessageStyle style,
                                    const QString& caption) {
  QMessageBox box(parent_);
  box.setWindowTitle(caption.isEmpty() ? QApplication::applicationDisplayName() : caption);
  box.setText(DisplayLineBreaks(text));
  box.setTextFormat(Qt::PlainText);
  switch (style) {
    case MessageStyle::kYesNo:
      box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
      box.setDefaultButton(QMessageBox::Yes);
      break;
    case MessageStyle::kOkExclamation:
      box.setIcon(QMessageBox::Warning);
      box.setStandardButtons(QMessageBox::Ok);
      break;
    case MessageStyle::kOkOnly:
      box.setStandardButtons(QMessageBox::Ok);
      break;
  }
  switch (box.exec()) {
    case QMessageBox::Yes:
      return MessageAnswer::kYes;
    case QMessageBox::No:
      return MessageAnswer::kNo;
    default:
      return style == MessageStyle::kYesNo ? MessageAnswer::kNo : MessageAnswer::kOk;
  }
}

void QtDialogs::ShellOpen(const QString& target) {
  QString path = target;
  if (path.size() >= 2 && path.startsWith(QLatin1Char('"')) && path.endsWith(QLatin1Char('"'))) {
    path = path.mid(1, path.size() - 2);
  }
  QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

}  // namespace lintavel
