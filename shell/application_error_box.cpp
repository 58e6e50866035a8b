#include "shell/application_error_box.h"

namespace lintavel {

void ShowApplicationError(Dialogs& dialogs, std::string_view location, int line,
                          std::string_view description) {
  const std::string message = ComposeApplicationErrorMessage(description, location, line);
  dialogs.MessageBox(QString::fromStdString(message), MessageStyle::kOkExclamation,
                     QString::fromLatin1(kApplicationErrorCaption));
}

ReportSink DialogReportSink(Dialogs& dialogs) {
  return [&dialogs](const ApplicationError& error) {
    ShowApplicationError(dialogs, error.location, error.line, error.description);
  };
}

}  // namespace lintavel
