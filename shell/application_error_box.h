#pragma once

#include <string_view>

#include "shell/dialogs.h"
#include "shell/error_report.h"

namespace lintavel {

inline constexpr char kApplicationErrorCaption[] = "Application Error";

// Shows the standard report of an unexpected failure in a modal warning box
// captioned "Application Error"; returns when the user has closed it.
void ShowApplicationError(Dialogs& dialogs, std::string_view location, int line,
                          std::string_view description);

// A report sink that shows every report through `dialogs`.
ReportSink DialogReportSink(Dialogs& dialogs);

}  // namespace lintavel
