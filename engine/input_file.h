#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <stdexcept>
#include <utility>

#include "engine/file_failure.h"

namespace lintavel {

// A failure of an InputFile: the failure as data, and its one-line message as what().
class InputFileError : public std::runtime_error {
 public:
  explicit InputFileError(FileFailure failure)
      : std::runtime_error(FailureMessage(failure)), failure_(std::move(failure)) {}
  const FileFailure& failure() const noexcept { return failure_; }

 private:
  FileFailure failure_;
};

// A regular file opened for reading, closed when the object goes. Every failure is
// thrown as InputFileError.
class InputFile {
 public:
  // Opens `path` for reading. A folder, pipe, device or socket is refused from its
  // stat alone and never opened: opening a pipe would release its waiting writer.
  explicit InputFile(const std::filesystem::path& path);
  InputFile(InputFile&& other) noexcept;
  InputFile& operator=(InputFile&&) = delete;
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;
  ~InputFile();

  // Fills the front of `buffer` with the next bytes; returns how many, 0 at the end.
  std::size_t Read(std::span<char> buffer);

  // Fills the front of `buffer` with the bytes from `offset` on, leaving the place
  // that Read reads from as it was; returns how many, fewer only at the end.
  std::size_t ReadAt(std::span<char> buffer, std::uint64_t offset);

  // Throws when the file was removed, or holds fewer bytes than it had at the open,
  // by the time the reading reached its end. The size of a kernel pseudo-file
  // (/proc, /sys) is no promise of its length, so a short one is no shrink.
  void CheckUnchanged() const;

  // Closes the file; throws when the system reports a failure.
  void Close();

  std::uint64_t size_at_open() const { return size_at_open_; }

 private:
  std::filesystem::path path_;
  int fd_ = -1;
  std::uint64_t size_at_open_ = 0;
  std::uint64_t bytes_read_ = 0;
  bool pseudo_file_ = false;  // its size is the kernel's placeholder, not its length
};

// The size of the regular file at `path`, or 0 when it cannot be examined.
std::uint64_t RegularFileSize(const std::filesystem::path& path) noexcept;

}  // namespace lintavel
