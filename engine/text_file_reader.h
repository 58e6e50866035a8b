#pragma once

#include <filesystem>
#include <optional>
#include <span>

#include "engine/file_failure.h"
#include "engine/input_file.h"

namespace lintavel {

// One reading of a file: opens it, reads its bytes and closes it, passing each
// failure to a sink as data (the stage that failed and why). After a failure the
// reading ends; what was read stays read.
class TextFileReading {
 public:
  TextFileReading(const std::filesystem::path& path, FailureSink sink);
  ~TextFileReading();
  TextFileReading(const TextFileReading&) = delete;
  TextFileReading& operator=(const TextFileReading&) = delete;

  // False when the open failed (passed on); Read then gives nothing.
  bool is_open() const { return file_.has_value(); }

  // Fills the front of `buffer`; 0 at the end of the file or once a read failed.
  std::size_t Read(std::span<char> buffer);

  // True once a read failed and was passed on.
  bool read_failed() const { return read_failed_; }

  // Closes the file; a failure is passed on. Also done by the destructor.
  void Close();

 private:
  // Runs `step`; a failure of the file that it throws goes to the sink. True when
  // the step finished.
  template <typename Body>
  bool Guarded(Body&& step);

  FailureSink sink_;
  std::optional<InputFile> file_;
  bool at_end_ = false;
  bool read_failed_ = false;
};

}  // namespace lintavel
