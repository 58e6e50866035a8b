#include "corpus/side_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>
#include <vector>

namespace lintavel {

namespace {

std::string ErrnoText(int error) { return std::generic_category().message(error); }

// Why a file of this kind is no side file, or nothing when it may be one.
std::optional<std::string> KindRefusal(const struct stat& info, PipeRule pipes) {
  if (S_ISREG(info.st_mode)) return std::nullopt;
  if (S_ISDIR(info.st_mode)) return "it is a folder";
  if (S_ISFIFO(info.st_mode)) {
    if (pipes == PipeRule::kWaitForWriter) return std::nullopt;
    return "it is a pipe, not a file";
  }
  return "it is a device or a socket, not a file";
}

class Descriptor {
 public:
  explicit Descriptor(int fd) : fd_(fd) {}
  ~Descriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  int get() const { return fd_; }

 private:
  int fd_;
};

// Opens `path` once its stat allows it. A regular file is opened without waiting
// (should it have become a pipe since, that cannot block); a pipe is opened as its
// reader opens it, waiting for a writer. Gives the descriptor or sets `refusal`.
int OpenSideFile(const std::string& path, PipeRule pipes, std::optional<std::string>& refusal) {
  struct stat before {};
  if (::stat(path.c_str(), &before) != 0) {
    refusal = ErrnoText(errno);
    return -1;
  }
  if ((refusal = KindRefusal(before, pipes))) return -1;
  const int wait = S_ISFIFO(before.st_mode) ? 0 : O_NONBLOCK;
  int fd = -1;
  do {
    fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | wait);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) {
    refusal = ErrnoText(errno);
    return -1;
  }
  struct stat opened {};
  if (::fstat(fd, &opened) != 0) {
    refusal = ErrnoText(errno);
  } else if (!(refusal = KindRefusal(opened, pipes)) &&
             (opened.st_mode & S_IFMT) != (before.st_mode & S_IFMT)) {
    refusal = "it changed while it was opened";
  }
  if (refusal) {
    ::close(fd);
    return -1;
  }
  if (wait != 0) ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  return fd;
}

}  // namespace

std::optional<std::string> SideFileRefusal(const std::string& path, PipeRule pipes) {
  std::optional<std::string> refusal;
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return ErrnoText(errno);
  if ((refusal = KindRefusal(info, pipes))) return refusal;
  if (S_ISFIFO(info.st_mode)) return std::nullopt;  // opening it would wait for its writer
  const Descriptor opened(OpenSideFile(path, pipes, refusal));
  return refusal;
}

std::optional<std::string> ReadSideFile(const std::string& path, PipeRule pipes,
                                        const SidePieceSink& take) {
  std::optional<std::string> refusal;
  const Descriptor fd(OpenSideFile(path, pipes, refusal));
  if (refusal) return refusal;
  return ReadSideDescriptor(fd.get(), take);
}

std::optional<std::string> ReadSideDescriptor(int fd, const SidePieceSink& take) {
  std::vector<char> piece(kSideFilePiece);
  for (;;) {
    const ssize_t got = ::read(fd, piece.data(), piece.size());
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return ErrnoText(errno);
    if (got == 0) return std::nullopt;
    if (!take({piece.data(), static_cast<std::size_t>(got)})) return std::nullopt;
  }
}

}  // namespace lintavel
