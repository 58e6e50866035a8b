#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

namespace lintavel {

// A target that cannot be written, or a write that failed; the text names the path
// and the system's reason.
class FileWriteError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Writes a file so that nothing the user had is destroyed:
// - a folder, a device, a pipe or a socket is refused, and so is a read-only file;
// - a symbolic link is written through: its target gets the text, the link stays;
// - the text goes to a temporary file beside the target, renamed over it only by
//   Commit(), so a failed or abandoned write leaves the old file as it was; the new
//   file keeps the old one's permission bits but set-user-ID and set-group-ID (and
//   its owner, where the system allows);
// - a writable file in a folder where no temporary file can be made is written in
//   place instead: the new text waits in an unnamed temporary file (or in memory)
//   until Commit(), which reserves its space in the old file before overwriting
//   it, so a full disk leaves the old file as it was; where the file system cannot
//   reserve space, a text longer than the old one is refused.
// An object dropped without Commit() leaves no temporary file behind.
class SafeFileWriter {
 public:
  // Checks `path` and opens what will be written; throws FileWriteError.
  explicit SafeFileWriter(const std::string& path);
  ~SafeFileWriter();
  SafeFileWriter(const SafeFileWriter&) = delete;
  SafeFileWriter& operator=(const SafeFileWriter&) = delete;

  // Appends `bytes`; throws FileWriteError when the system refuses them.
  void Write(std::string_view bytes);
  // Writes what is buffered, closes the file and puts it in its place; throws
  // FileWriteError, and the old file is then as it was (in place: unless the system
  // fails a write after the space was reserved).
  void Commit();

  // The file that receives the text, after links are followed.
  const std::string& target() const { return target_; }

 private:
  void Flush();
  void CopyInPlace();
  [[noreturn]] void Fail(std::string_view what, int error) const;

  std::string shown_;   // the path as the caller named it, for messages
  std::string target_;  // the file written, links followed
  std::string temp_;    // empty when writing in place
  int fd_ = -1;
  bool in_place_ = false;
  int stage_fd_ = -1;  // in place: the unnamed file the text waits in, or -1 (memory)
  std::uint64_t old_size_ = 0;
  int slot_ = -1;  // the temporary file's place in the signal clean-up list
  std::uint64_t written_ = 0;
  std::string buffer_;
};

// Makes every signal that would end the program and can be caught (SIGINT,
// SIGTERM, SIGHUP, SIGQUIT, SIGPIPE, ...) remove the temporary files of unfinished
// writes before the program ends by the signal as it would have; a signal that is
// ignored stays ignored.
void RemoveTemporaryFilesOnSignals();

// Makes those signals also call `cleanup`, which must be safe in a signal handler,
// before the program ends.
void AlsoOnSignals(void (*cleanup)() noexcept);

}  // namespace lintavel
