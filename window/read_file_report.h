#pragma once

#include "engine/file_failure.h"
#include "shell/dialogs.h"

namespace lintavel {

// The numbered lines of the window's file reader, as its reports cite them.
namespace read_file_line {
inline constexpr int kOpen = 102;
inline constexpr int kRead = 110;
inline constexpr int kClose = 114;
}  // namespace read_file_line

// The line of the file reader's report for a failure in `stage`.
int ReadFileLine(FailureStage stage);

// Shows the window's report of a file that could not be read: the one-line message,
// the file reader's location text and the line of the stage that failed.
void ShowReadFileFailure(Dialogs& dialogs, const FileFailure& failure);

}  // namespace lintavel
