#pragma once

#include <QString>
#include <QStringList>

namespace lintavel {

// Message-box styles by their classic numeric values.
enum class MessageStyle : int {
  kOkOnly = 0,
  kYesNo = 4,
  kOkExclamation = 48,
};

enum class MessageAnswer : int {
  kOk = 1,
  kYes = 6,
  kNo = 7,
};

// The settings of the open dialog of "Add File(s)".
struct OpenFilesRequest {
  QString title;
  // Pairs of caption and patterns, each followed by "|": "Text Files (*.txt)|*.txt|".
  QString filter;
  int flags = 0;
  int buffer_chars = 30000;
};

// The settings of the save dialog.
struct SaveFileRequest {
  QString title;
  QString filter;  // as in OpenFilesRequest
  int flags = 0;
};

// The failure code of an open dialog whose answer does not fit its name buffer.
inline constexpr int kFileNameBufferTooSmall = 20476;

// The open dialog's answer in its classic form: one chosen file's full path, or the
// folder followed by each chosen name, separated by NUL characters; files from
// several folders are named relative to the deepest folder they share. Throws
// CodedFailure(kFileNameBufferTooSmall) when the answer, with a NUL after every
// element and one more at the end, does not fit into `buffer_chars`.
QString ComposeOpenFilesAnswer(const QStringList& chosen_paths, int buffer_chars);

// Every modal conversation with the user goes through this interface: the program
// hands in the real one (Qt's dialogs), tests hand in a scripted one.
class Dialogs {
 public:
  virtual ~Dialogs() = default;

  // Shows `text` in a modal box and returns the button the user pressed. An empty
  // caption stands for the application title.
  virtual MessageAnswer MessageBox(const QString& text, MessageStyle style,
                                   const QString& caption = {}) = 0;

  // Asks the desktop to open `target` (a path, optionally in double quotes) with its
  // default application; for a folder, the file browser. False when the desktop
  // refused it (no application set for the file's type, no desktop at all).
  virtual bool ShellOpen(const QString& target) = 0;

  // Shows the open dialog for existing files; returns its answer (see
  // ComposeOpenFilesAnswer), or the empty text when the user cancelled.
  virtual QString OpenFiles(const OpenFilesRequest& request) = 0;

  // Shows the save dialog, which does not ask about replacing a file itself; returns
  // the chosen path as typed, or the empty text on cancel.
  virtual QString SaveFile(const SaveFileRequest& request) = 0;

  // Asks for a line of text, pre-filled with `default_text`; returns the answer, or
  // the empty text on cancel. An empty caption stands for the application title.
  virtual QString InputBox(const QString& prompt, const QString& caption,
                           const QString& default_text) = 0;

  // Lets the user choose a folder, starting at `initial_folder` when it exists;
  // returns its path, or the empty text on cancel.
  virtual QString BrowseForFolder(const QString& prompt, const QString& initial_folder) = 0;
};

}  // namespace lintavel
