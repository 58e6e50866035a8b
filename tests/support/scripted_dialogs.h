#pragma once

#include <QString>
#include <QStringList>
#include <deque>
#include <functional>
#include <vector>

#include "shell/dialogs.h"

namespace lintavel::testing {

// Dialogs that record what the program showed and answer as the test told them.
class ScriptedDialogs : public Dialogs {
 public:
  struct Shown {
    QString text;
    MessageStyle style;
    QString caption;
  };

  MessageAnswer MessageBox(const QString& text, MessageStyle style,
                           const QString& caption) override {
    shown.push_back({text, style, caption});
    if (on_message) on_message(text);
    if (answers.empty())
      return style == MessageStyle::kYesNo ? MessageAnswer::kNo : MessageAnswer::kOk;
    const MessageAnswer answer = answers.front();
    answers.pop_front();
    return answer;
  }

  void ShellOpen(const QString& target) override { opened.push_back(target); }

  // The texts of the messages shown, in order.
  QStringList texts() const {
    QStringList all;
    for (const Shown& message : shown) all << message.text;
    return all;
  }

  // Runs while a message is shown, as a user acting behind a modal box would.
  std::function<void(const QString&)> on_message;
  std::vector<Shown> shown;
  std::vector<QString> opened;
  std::deque<MessageAnswer> answers;
};

}  // namespace lintavel::testing
