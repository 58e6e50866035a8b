#pragma once

#include <QPointer>
#include <QWidget>

#include "shell/dialogs.h"

namespace lintavel {

// The real dialogs: Qt's message boxes, owned by `parent` when one is given.
class QtDialogs : public Dialogs {
 public:
  explicit QtDialogs(QWidget* parent = nullptr) : parent_(parent) {}

  // The window that owns the dialogs from now on.
  void SetParent(QWidget* parent) { parent_ = parent; }

  MessageAnswer MessageBox(const QString& text, MessageStyle style,
                           const QString& caption = {}) override;
  bool ShellOpen(const QString& target) override;
  QString OpenFiles(const OpenFilesRequest& request) override;
  QString SaveFile(const SaveFileRequest& request) override;
  QString InputBox(const QString& prompt, const QString& caption,
                   const QString& default_text) override;
  QString BrowseForFolder(const QString& prompt, const QString& initial_folder) override;

 private:
  QPointer<QWidget> parent_;
};

// The filter of the classic form, "Caption|*.a;*.b|...|", in Qt's form,
// "Caption (*.a *.b);;...".
QString QtFileFilter(const QString& classic_filter);

// Bare carriage returns stand for line breaks in our message texts; Qt's labels
// break lines only at line feeds.
QString DisplayLineBreaks(const QString& text);

}  // namespace lintavel
