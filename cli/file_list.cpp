#include "cli/file_list.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <string_view>
#include <system_error>
#include <utility>

namespace lintavel {

namespace {

constexpr std::size_t kPiece = 64 * 1024;

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

std::string ErrnoText(int error) { return std::generic_category().message(error); }

}  // namespace

std::optional<std::vector<std::filesystem::path>> ReadFileList(const std::string& name,
                                                               std::istream& in,
                                                               std::ostream& err) {
  const std::string shown = name == "-" ? "standard input" : "'" + name + "'";
  LineCollector lines(shown, err);
  std::array<char, kPiece> piece;
  if (name == "-") {
    while (in.read(piece.data(), piece.size()) || in.gcount() > 0) {
      if (!lines.Feed({piece.data(), static_cast<std::size_t>(in.gcount())})) return std::nullopt;
    }
  } else {
    // Non-blocking for the open, so that a pipe without a writer cannot hang it.
    const int fd = ::open(name.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) {
      err << "lintavel-extract: cannot read the file list " << shown << ": " << ErrnoText(errno)
          << "\n";
      return std::nullopt;
    }
    struct Closer {
      int fd;
      ~Closer() { ::close(fd); }
    } closer{fd};
    struct stat info {};
    const char* refusal = nullptr;
    if (::fstat(fd, &info) != 0) {
      refusal = "it cannot be examined";
    } else if (S_ISDIR(info.st_mode)) {
      refusal = "it is a folder";
    } else if (!S_ISREG(info.st_mode) && !S_ISFIFO(info.st_mode)) {
      refusal = "it is a device or a socket, not a list of files";
    }
    if (refusal != nullptr) {
      err << "lintavel-extract: cannot read the file list " << shown << ": " << refusal << "\n";
      return std::nullopt;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    for (;;) {
      const ssize_t got = ::read(fd, piece.data(), piece.size());
      if (got < 0 && errno == EINTR) continue;
      if (got < 0) {
        err << "lintavel-extract: cannot read the file list " << shown << ": " << ErrnoText(errno)
            << "\n";
        return std::nullopt;
      }
      if (got == 0) break;
      if (!lines.Feed({piece.data(), static_cast<std::size_t>(got)})) return std::nullopt;
    }
  }
  if (!lines.Finish()) return std::nullopt;
  return lines.TakePaths();
}

}  // namespace lintavel
