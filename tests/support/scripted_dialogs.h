#pragma once

#include <QString>
#include <deque>
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
    if (answers.empty())
      return style == MessageStyle::kYesNo ? MessageAnswer::kNo : MessageAnswer::kOk;
    const MessageAnswer answer = answers.front();
    answers.pop_front();
    return answer;
  }

  std::vector<Shown> shown;
  std::deque<MessageAnswer> answers;
};

}  // namespace lintavel::testing
