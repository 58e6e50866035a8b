#pragma once

#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "engine/input_file.h"
#include "shell/error_report.h"

namespace lintavel {

// The numbered steps of the text file reader, as its reports cite them.
namespace reader_line {
inline constexpr int kCreate = 100;
inline constexpr int kOpen = 102;
inline constexpr int kRead = 110;
inline constexpr int kClose = 114;
}  // namespace reader_line

// One call of the text file reader: opens a file, reads its bytes and closes it,
// reporting each failure with the reader's location text and the number of the
// failing step. After a failure the reading ends; what was read stays read.
class TextFileReading {
 public:
  TextFileReading(const std::filesystem::path& path, ReportSink sink);
  ~TextFileReading();
  TextFileReading(const TextFileReading&) = delete;
  TextFileReading& operator=(const TextFileReading&) = delete;

  // False when the open failed (reported); Read then gives nothing.
  bool is_open() const { return file_.has_value(); }

  // Fills the front of `buffer`; 0 at the end of the file or once a read failed.
  std::size_t Read(std::span<char> buffer);

  // True once a read failed and was reported.
  bool read_failed() const { return read_failed_; }

  // Closes the file; a failure is reported. Also done by the destructor.
  void Close();

 private:
  ReportingProcedure procedure_;
  std::optional<InputFile> file_;
  bool at_end_ = false;
  bool read_failed_ = false;
};

// Reads the file at `path` as Windows-1252 text and returns its lines, without
// their terminators and with every tab removed. A failed open is reported and
// gives no lines; a failed read is reported, keeps what was read before it, and
// leaves one empty line in place of the line that failed.
std::vector<std::u16string> ReadFileToStringFSOLineWord(const std::filesystem::path& path,
                                                        const ReportSink& report);

}  // namespace lintavel
