#pragma once

#include <QString>

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
  // default application; for a folder, the file browser. The outcome is not told.
  virtual void ShellOpen(const QString& target) = 0;
};

}  // namespace lintavel
