#include "engine/file_failure.h"

namespace lintavel {

std::string_view FailureVerb(FailureStage stage) {
  switch (stage) {
    case FailureStage::kOpen:
      return "Cannot open";
    case FailureStage::kRead:
      return "Cannot read";
    case FailureStage::kClose:
      return "Cannot close";
    case FailureStage::kDecode:
      return "Cannot decode";
    case FailureStage::kMemory:
      return "Out of memory while counting";
  }
  return "Cannot read";
}

std::string FailureMessage(const FileFailure& failure) {
  std::string text(FailureVerb(failure.stage));
  text.append(" '").append(failure.path.string()).append("': ").append(failure.reason);
  return text;
}

}  // namespace lintavel
