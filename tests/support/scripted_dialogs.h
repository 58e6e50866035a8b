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

  bool ShellOpen(const QString& target) override {
    opened.push_back(target);
    return shell_opens;
  }

  QString OpenFiles(const OpenFilesRequest& request) override {
    open_requests.push_back(request);
    if (chosen_files.empty()) return {};
    const QStringList chosen = chosen_files.front();
    chosen_files.pop_front();
    return ComposeOpenFilesAnswer(chosen, request.buffer_chars);
  }

  QString SaveFile(const SaveFileRequest& request) override {
    save_requests.push_back(request);
    if (save_names.empty()) return {};
    const QString answer = save_names.front();
    save_names.pop_front();
    return answer;
  }

  QString InputBox(const QString& prompt, const QString& caption,
                   const QString& default_text) override {
    prompts.push_back({prompt, caption, default_text});
    if (typed.empty()) return {};
    const QString answer = typed.front();
    typed.pop_front();
    return answer;
  }

  QString BrowseForFolder(const QString& prompt, const QString& initial_folder) override {
    folder_requests.push_back({prompt, initial_folder});
    if (chosen_folders.empty()) return {};
    const QString answer = chosen_folders.front();
    chosen_folders.pop_front();
    return answer;
  }

  // The line numbers of the standard error reports shown, in order.
  std::vector<int> ReportLines() const {
    std::vector<int> lines;
    for (const Shown& message : shown) {
      if (message.caption != QLatin1String("Application Error")) continue;
      lines.push_back(
          message.text.section(QStringLiteral("at line "), 1).section(u'\r', 0, 0).toInt());
    }
    return lines;
  }

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
  bool shell_opens = true;  // whether the desktop has an application for what is opened

  struct Prompt {
    QString prompt;
    QString caption;
    QString default_text;
  };
  struct FolderRequest {
    QString prompt;
    QString initial_folder;
  };
  std::deque<QStringList> chosen_files;  // what the user picks in each open dialog
  std::deque<QString> typed;             // each prompt's answer
  std::deque<QString> chosen_folders;    // each folder dialog's answer
  std::deque<QString> save_names;        // each save dialog's answer
  std::vector<SaveFileRequest> save_requests;
  std::vector<OpenFilesRequest> open_requests;
  std::vector<Prompt> prompts;
  std::vector<FolderRequest> folder_requests;
  std::deque<MessageAnswer> answers;
};

}  // namespace lintavel::testing
