#include "engine/input_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <string>
#include <system_error>
#include <utility>

namespace lintavel {

namespace {

[[noreturn]] void Fail(std::string_view what, const std::filesystem::path& path,
                       std::string_view cause) {
  std::string text(what);
  text.append(" '").append(path.string()).append("': ").append(cause);
  throw std::runtime_error(text);
}

std::string ErrnoText(int error) { return std::generic_category().message(error); }

}  // namespace

InputFile::InputFile(const std::filesystem::path& path) : path_(path) {
  // Non-blocking, so that opening a pipe with no writer cannot hang before the
  // type check below refuses it.
  fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  if (fd_ < 0) Fail("Cannot open", path_, ErrnoText(errno));
  struct stat info {};
  if (::fstat(fd_, &info) != 0) {
    const int error = errno;
    ::close(fd_);
    fd_ = -1;
    Fail("Cannot open", path_, ErrnoText(error));
  }
  if (!S_ISREG(info.st_mode)) {
    ::close(fd_);
    fd_ = -1;
    Fail("Cannot open", path_,
         S_ISDIR(info.st_mode) ? "it is a folder, not a file"
                               : "it is not a regular file (a pipe, a device or a socket)");
  }
  ::fcntl(fd_, F_SETFL, ::fcntl(fd_, F_GETFL) & ~O_NONBLOCK);
  size_at_open_ = static_cast<std::uint64_t>(info.st_size);
#ifdef POSIX_FADV_SEQUENTIAL
  ::posix_fadvise(fd_, 0, 0, POSIX_FADV_SEQUENTIAL);
#endif
}

InputFile::InputFile(InputFile&& other) noexcept
    : path_(std::move(other.path_)),
      fd_(std::exchange(other.fd_, -1)),
      size_at_open_(other.size_at_open_),
      bytes_read_(other.bytes_read_) {}

InputFile::~InputFile() {
  if (fd_ >= 0) ::close(fd_);
}

std::size_t InputFile::Read(std::span<char> buffer) {
  for (;;) {
    const ssize_t got = ::read(fd_, buffer.data(), buffer.size());
    if (got >= 0) {
      bytes_read_ += static_cast<std::uint64_t>(got);
      return static_cast<std::size_t>(got);
    }
    if (errno != EINTR) Fail("Cannot read", path_, ErrnoText(errno));
  }
}

std::size_t InputFile::ReadAt(std::span<char> buffer, std::uint64_t offset) {
  std::size_t got = 0;
  while (got < buffer.size()) {
    const ssize_t n =
        ::pread(fd_, buffer.data() + got, buffer.size() - got, static_cast<off_t>(offset + got));
    if (n == 0) break;
    if (n > 0) {
      got += static_cast<std::size_t>(n);
    } else if (errno != EINTR) {
      Fail("Cannot read", path_, ErrnoText(errno));
    }
  }
  return got;
}

void InputFile::CheckUnchanged() const {
  struct stat info {};
  if (::fstat(fd_, &info) != 0) Fail("Cannot read", path_, ErrnoText(errno));
  if (info.st_nlink == 0) Fail("Cannot read", path_, "the file was removed while it was read");
  if (bytes_read_ < size_at_open_) {
    Fail("Cannot read", path_, "the file became shorter while it was read");
  }
}

void InputFile::Close() {
  const int fd = std::exchange(fd_, -1);
  if (fd >= 0 && ::close(fd) != 0) Fail("Cannot close", path_, ErrnoText(errno));
}

std::uint64_t RegularFileSize(const std::filesystem::path& path) noexcept {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return 0;
  return static_cast<std::uint64_t>(info.st_size);
}

}  // namespace lintavel
