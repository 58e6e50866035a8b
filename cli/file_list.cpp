#include "cli/file_list.h"

#include <array>
#include <string_view>
#include <utility>

#include "corpus/side_file.h"

namespace lintavel {

namespace {

// Cuts the pieces of a list into lines, a CR LF split between pieces included.
class LineCollector {
 public:
  LineCollector(std::string shown, std::ostream& err) : shown_(std::move(shown)), err_(err) {}

  // Takes the next piece; false once the list is found unusable (and said so).
  bool Feed(std::string_view piece) {
    for (const char c : piece) {
      if (after_cr_ && c == '\n') {
        after_cr_ = false;
        continue;
      }
      after_cr_ = c == '\r';
      if (c == '\n' || c == '\r') {
        if (!EndLine()) return false;
      } else if (c == '\0') {
        return Refuse("line " + std::to_string(line_number_ + 1) + " of the file list " + shown_ +
                      " holds a NUL byte");
      } else if (line_.size() == kMaxFileListLine) {
        return Refuse("line " + std::to_string(line_number_ + 1) + " of the file list " + shown_ +
                      " is longer than " + std::to_string(kMaxFileListLine) + " bytes");
      } else {
        line_.push_back(c);
      }
    }
    return true;
  }

  // Ends the list; false when its last line is unusable.
  bool Finish() { return line_.empty() || EndLine(); }

  std::vector<std::filesystem::path> TakePaths() { return std::move(paths_); }

 private:
  bool EndLine() {
    ++line_number_;
    if (line_.empty()) {
      return Refuse("the file list " + shown_ + " has an empty line " +
                    std::to_string(line_number_));
    }
    paths_.emplace_back(std::exchange(line_, {}));
    return true;
  }

  bool Refuse(const std::string& what) {
    err_ << "lintavel-extract: " << what << "\n";
    return false;
  }

  std::string shown_;
  std::ostream& err_;
  std::string line_;
  std::size_t line_number_ = 0;
  bool after_cr_ = false;
  std::vector<std::filesystem::path> paths_;
};

}  // namespace

std::optional<std::vector<std::filesystem::path>> ReadFileList(const std::string& name,
                                                               std::istream& in, int in_fd,
                                                               std::ostream& err) {
  const std::string shown = name == "-" ? "standard input" : "'" + name + "'";
  LineCollector lines(shown, err);
  bool usable = true;
  const SidePieceSink take = [&](std::string_view piece) { return usable = lines.Feed(piece); };
  std::optional<std::string> failure;
  if (name != "-") {
    failure = ReadSideFile(name, PipeRule::kWaitForWriter, take);
  } else if (in_fd >= 0) {
    failure = ReadSideDescriptor(in_fd, take);
  } else {
    std::array<char, kSideFilePiece> piece;
    while (usable && (in.read(piece.data(), piece.size()) || in.gcount() > 0)) {
      take({piece.data(), static_cast<std::size_t>(in.gcount())});
    }
  }
  if (failure) {
    err << "lintavel-extract: cannot read the file list " << shown << ": " << *failure << "\n";
    return std::nullopt;
  }
  if (!usable || !lines.Finish()) return std::nullopt;
  return lines.TakePaths();
}

}  // namespace lintavel
