#include "engine/input_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <system_error>
#include <utility>

namespace lintavel {

namespace {

// The file systems whose files are made by the kernel as they are read, and the
// sizes they report for such a file: a page, or nothing.
constexpr long kProcFileSystem = 0x9fa0;     // PROC_SUPER_MAGIC
constexpr long kSysFileSystem = 0x62656572;  // SYSFS_MAGIC
constexpr std::uint64_t kPseudoFilePageSize = 4096;

[[noreturn]] void Fail(FailureStage stage, const std::filesystem::path& path, int error,
                       std::string reason) {
  throw InputFileError(FileFailure{path, stage, error, std::move(reason)});
}

[[noreturn]] void FailWithErrno(FailureStage stage, const std::filesystem::path& path, int error) {
  Fail(stage, path, error, std::generic_category().message(error));
}

// Why a file of this type is refused; empty for a regular file.
std::string RefusalOf(mode_t mode) {
  if (S_ISREG(mode)) return {};
  if (S_ISDIR(mode)) return "it is a folder, not a file";
  return "it is not a regular file (a pipe, a device or a socket)";
}

bool IsPseudoFile(int fd, const struct stat& info) {
  const auto size = static_cast<std::uint64_t>(info.st_size);
  if (size != 0 && size != kPseudoFilePageSize) return false;
  struct statfs where {};
  if (::fstatfs(fd, &where) != 0) return false;
  const auto type = static_cast<long>(where.f_type);
  return type == kProcFileSystem || type == kSysFileSystem;
}

}  // namespace

InputFile::InputFile(const std::filesystem::path& path) : path_(path) {
  struct stat before {};
  if (::stat(path.c_str(), &before) != 0) FailWithErrno(FailureStage::kOpen, path_, errno);
  if (std::string refusal = RefusalOf(before.st_mode); !refusal.empty()) {
    Fail(FailureStage::kOpen, path_, 0, std::move(refusal));
  }
  // Non-blocking, so that a pipe put in the file's place after the stat above
  // cannot hang the open; the check below refuses it.
  fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  if (fd_ < 0) FailWithErrno(FailureStage::kOpen, path_, errno);
  struct stat info {};
  if (::fstat(fd_, &info) != 0) {
    const int error = errno;
    ::close(std::exchange(fd_, -1));
    FailWithErrno(FailureStage::kOpen, path_, error);
  }
  if (std::string refusal = RefusalOf(info.st_mode); !refusal.empty()) {
    ::close(std::exchange(fd_, -1));
    Fail(FailureStage::kOpen, path_, 0, std::move(refusal));
  }
  if (info.st_dev != before.st_dev || info.st_ino != before.st_ino) {
    ::close(std::exchange(fd_, -1));
    Fail(FailureStage::kOpen, path_, 0, "the file was replaced while it was opened");
  }
  ::fcntl(fd_, F_SETFL, ::fcntl(fd_, F_GETFL) & ~O_NONBLOCK);
  size_at_open_ = static_cast<std::uint64_t>(info.st_size);
  pseudo_file_ = IsPseudoFile(fd_, info);
#ifdef POSIX_FADV_SEQUENTIAL
  ::posix_fadvise(fd_, 0, 0, POSIX_FADV_SEQUENTIAL);
#endif
}

InputFile::InputFile(InputFile&& other) noexcept
    : path_(std::move(other.path_)),
      fd_(std::exchange(other.fd_, -1)),
      size_at_open_(other.size_at_open_),
      bytes_read_(other.bytes_read_),
      pseudo_file_(other.pseudo_file_) {}

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
    if (errno != EINTR) FailWithErrno(FailureStage::kRead, path_, errno);
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
      FailWithErrno(FailureStage::kRead, path_, errno);
    }
  }
  return got;
}

void InputFile::CheckUnchanged() const {
  struct stat info {};
  if (::fstat(fd_, &info) != 0) FailWithErrno(FailureStage::kRead, path_, errno);
  if (info.st_nlink == 0) {
    Fail(FailureStage::kRead, path_, 0, "the file was removed while it was read");
  }
  if (bytes_read_ < size_at_open_ && !pseudo_file_) {
    Fail(FailureStage::kRead, path_, 0, "the file became shorter while it was read");
  }
}

void InputFile::Close() {
  const int fd = std::exchange(fd_, -1);
  if (fd >= 0 && ::close(fd) != 0) FailWithErrno(FailureStage::kClose, path_, errno);
}

std::uint64_t RegularFileSize(const std::filesystem::path& path) noexcept {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return 0;
  return static_cast<std::uint64_t>(info.st_size);
}

}  // namespace lintavel
