#include "shell/qt_dialogs.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QInputDialog>
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

bool QtDialogs::ShellOpen(const QString& target) {
  QString path = target;
  if (path.size() >= 2 && path.startsWith(QLatin1Char('"')) && path.endsWith(QLatin1Char('"'))) {
    path = path.mid(1, path.size() - 2);
  }
  return QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

QString QtFileFilter(const QString& classic_filter) {
  const QStringList parts = classic_filter.split(QLatin1Char('|'), Qt::SkipEmptyParts);
  QStringList filters;
  for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
    QString caption = parts[i];
    const qsizetype open = caption.indexOf(QLatin1Char('('));
    if (open > 0) caption = caption.left(open).trimmed();
    QString patterns = parts[i + 1];
    patterns.replace(QLatin1Char(';'), QLatin1Char(' '));
    // Qt's "*.*" would demand a dot; every file is "*".
    if (patterns == QLatin1String("*.*")) patterns = QStringLiteral("*");
    filters << QStringLiteral("%1 (%2)").arg(caption, patterns);
  }
  return filters.join(QStringLiteral(";;"));
}

QString QtDialogs::OpenFiles(const OpenFilesRequest& request) {
  const QStringList chosen = QFileDialog::getOpenFileNames(parent_, request.title, QString(),
                                                           QtFileFilter(request.filter));
  return ComposeOpenFilesAnswer(chosen, request.buffer_chars);
}

QString QtDialogs::SaveFile(const SaveFileRequest& request) {
  return QFileDialog::getSaveFileName(parent_, request.title, QString(),
                                      QtFileFilter(request.filter), nullptr,
                                      QFileDialog::DontConfirmOverwrite);
}

QString QtDialogs::InputBox(const QString& prompt, const QString& caption,
                            const QString& default_text) {
  bool confirmed = false;
  const QString answer = QInputDialog::getText(
      parent_, caption.isEmpty() ? QApplication::applicationDisplayName() : caption,
      DisplayLineBreaks(prompt), QLineEdit::Normal, default_text, &confirmed);
  return confirmed ? answer : QString();
}

QString QtDialogs::BrowseForFolder(const QString& prompt, const QString& initial_folder) {
  return QFileDialog::getExistingDirectory(
      parent_, prompt, QFileInfo(initial_folder).isDir() ? initial_folder : QDir::homePath());
}

}  // namespace lintavel
