#include "shell/error_report.h"

namespace lintavel {

std::string ComposeApplicationErrorMessage(std::string_view description, std::string_view location,
                                           int line) {
  std::string message;
  message.reserve(description.size() + location.size() + 96);
  message.append(description);
  message.append("\r\n");
  message.append(location);
  message.append("at line ");
  message.append(std::to_string(line));
  message.append("\r\r");
  message.append("Please email screenshot of this message to ");
  message.append(kSupportAddress);
  return message;
}

void ReportingProcedure::Report(int line, std::string description, int code) {
  ++reports_;
  if (sink_) sink_(ApplicationError{location_, line, std::move(description), code});
}

}  // namespace lintavel
