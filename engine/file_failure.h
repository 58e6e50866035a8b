#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

namespace lintavel {

// What the engine was doing with a file when it failed.
enum class FailureStage {
  kOpen,    // opening or examining it (missing, a folder, a pipe, no permission)
  kRead,    // reading its bytes (an I/O error, the file shrank or was removed)
  kClose,   // closing it
  kDecode,  // making text of its bytes
  kMemory,  // memory ran out while its words were counted
};

// One failure with one file, as data: each front end words it for its own users.
struct FileFailure {
  std::filesystem::path path;
  FailureStage stage = FailureStage::kOpen;
  int error_number = 0;  // errno where the system gave one, else 0
  std::string reason;    // the cause in words: "No such file or directory", "it is a folder, ..."
};

// Receives each failure, on the thread that started the run, in the order of the files.
using FailureSink = std::function<void(const FileFailure&)>;

// The verb of a stage as the one-line messages use it: "Cannot open", "Cannot read", ...
std::string_view FailureVerb(FailureStage stage);

// The plain one-line message: "Cannot open 'a.txt': No such file or directory".
std::string FailureMessage(const FileFailure& failure);

}  // namespace lintavel
