#include "window/read_file_report.h"

#include "shell/application_error_box.h"

namespace lintavel {

int ReadFileLine(FailureStage stage) {
  switch (stage) {
    case FailureStage::kOpen:
      return read_file_line::kOpen;
    case FailureStage::kClose:
      return read_file_line::kClose;
    case FailureStage::kRead:
    case FailureStage::kDecode:
    case FailureStage::kMemory:
      break;
  }
  // Whatever the bytes become after they are read is part of reading them.
  return read_file_line::kRead;
}

void ShowReadFileFailure(Dialogs& dialogs, const FileFailure& failure) {
  ShowApplicationError(dialogs, location::kReadFile, ReadFileLine(failure.stage),
                       FailureMessage(failure));
}

}  // namespace lintavel
