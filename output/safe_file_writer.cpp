#include "output/safe_file_writer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <random>
#include <system_error>
#include <utility>
#include <vector>

#include "engine/signal_safe_paths.h"

namespace lintavel {

namespace {

constexpr std::size_t kFlushBytes = 256 * 1024;
constexpr int kMaxLinks = 40;  // as the system's own limit on links in a path

// The temporary files being written, where a signal handler can find them: the one
// piece of global state the writer needs.
SignalSafePaths<16> temporaries;

std::atomic<void (*)() noexcept> also_on_signals{nullptr};

extern "C" void RemoveTemporariesAndRaise(int signal_number) {
  temporaries.ForEachHeld([](const char* path) { ::unlink(path); });
  if (const auto cleanup = also_on_signals.load()) cleanup();
  std::signal(signal_number, SIG_DFL);
  std::raise(signal_number);
}

std::string FolderOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

// The path after every symbolic link at its end is followed, also to a target
// that does not exist yet; a link in the middle of the path the system follows.
std::string FollowLinks(std::string path) {
  for (int hops = 0; hops < kMaxLinks; ++hops) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return path;
    std::string link(PATH_MAX, '\0');
    const ssize_t length = ::readlink(path.c_str(), link.data(), link.size());
    if (length < 0) return path;
    link.resize(static_cast<std::size_t>(length));
    path = link.starts_with('/') ? link : FolderOf(path) + "/" + link;
  }
  throw std::system_error(ELOOP, std::generic_category());
}

// Creates a new, empty file with a short name of its own in `folder` (a name
// derived from a long target's could exceed the longest name the system allows).
int CreateTemporary(const std::string& folder, std::string& name) {
  std::random_device seed;
  std::mt19937_64 random(seed());
  constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
  for (int attempt = 0; attempt < 100; ++attempt) {
    name = folder + "/.lintavel-";
    for (int i = 0; i < 10; ++i) name.push_back(kLetters[random() % (sizeof kLetters - 1)]);
    name += ".tmp";
    const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, 0666);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  return -1;
}

}  // namespace

SafeFileWriter::SafeFileWriter(const std::string& path) : shown_(path) {
  try {
    target_ = FollowLinks(path);
  } catch (const std::system_error& failure) {
    Fail("Cannot create", failure.code().value());
  }
  struct stat existing {};
  const bool exists = ::stat(target_.c_str(), &existing) == 0;
  if (!exists && errno != ENOENT) Fail("Cannot create", errno);
  if (exists && S_ISDIR(existing.st_mode)) Fail("Cannot create", EISDIR);
  if (exists && !S_ISREG(existing.st_mode)) {
    throw FileWriteError("Cannot create '" + shown_ +
                         "': it is a device, a pipe or a socket, not a file");
  }
  // A read-only file is not replaced, even by a user whom the system would let.
  if (exists && ((existing.st_mode & 0222) == 0 || ::access(target_.c_str(), W_OK) != 0)) {
    throw FileWriteError("Cannot create '" + shown_ + "': the file is read-only");
  }
  fd_ = CreateTemporary(FolderOf(target_), temp_);
  if (fd_ < 0) {
    const int error = errno;
    temp_.clear();
    // In a folder that is not writable the file itself may still be.
    if (!exists || (error != EACCES && error != EPERM)) Fail("Cannot create", error);
    fd_ = ::open(target_.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY);
    if (fd_ < 0) Fail("Cannot create", errno);
    in_place_ = true;
    old_size_ = static_cast<std::uint64_t>(existing.st_size);
    // The new text waits elsewhere until it is whole and known to fit: in an
    // unnamed file of the temporary folder (gone with the process, whatever ends
    // it), or in memory where there is none.
    const char* folder = std::getenv("TMPDIR");
    stage_fd_ = ::open(folder != nullptr && *folder != '\0' ? folder : "/tmp",
                       O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    return;
  }
  slot_ = temporaries.Hold(temp_);
  if (exists) {
    if (::fchown(fd_, existing.st_uid, existing.st_gid) != 0) {
      // Not allowed to give the file away: it stays the writer's own.
    }
    // Set-user-ID and set-group-ID are not carried to the new text: it is not the
    // program they were given to. The rest of the mode, sticky bit included, is.
    ::fchmod(fd_, existing.st_mode & 07777 & ~(S_ISUID | S_ISGID));
  }
}

SafeFileWriter::~SafeFileWriter() {
  if (fd_ >= 0) ::close(fd_);
  if (stage_fd_ >= 0) ::close(stage_fd_);
  if (!temp_.empty()) ::unlink(temp_.c_str());
  temporaries.Forget(slot_);
}

void SafeFileWriter::Fail(std::string_view what, int error) const {
  throw FileWriteError(std::string(what) + " '" + shown_ +
                       "': " + std::generic_category().message(error));
}

void SafeFileWriter::Write(std::string_view bytes) {
  buffer_.append(bytes);
  if (buffer_.size() >= kFlushBytes) Flush();
}

void SafeFileWriter::Flush() {
  // Written in place without an unnamed file, the text stays in memory until Commit.
  if (in_place_ && stage_fd_ < 0) return;
  const int fd = in_place_ ? stage_fd_ : fd_;
  std::string_view rest = buffer_;
  while (!rest.empty()) {
    const ssize_t put = ::write(fd, rest.data(), rest.size());
    if (put < 0 && errno == EINTR) continue;
    if (put < 0) {
      const int error = errno;
      buffer_.clear();
      if (in_place_) {
        throw FileWriteError("Cannot write '" + shown_ +
                             "': its new text could not be kept in the temporary folder (" +
                             std::generic_category().message(error) +
                             "); the file is left as it was");
      }
      Fail("Cannot write", error);
    }
    rest.remove_prefix(static_cast<std::size_t>(put));
    written_ += static_cast<std::uint64_t>(put);
  }
  buffer_.clear();
}

void SafeFileWriter::Commit() {
  Flush();
  if (in_place_) {
    CopyInPlace();
  } else if (::fsync(fd_) != 0) {
    Fail("Cannot write", errno);
  }
  const int fd = std::exchange(fd_, -1);
  if (::close(fd) != 0) Fail("Cannot close", errno);
  if (temp_.empty()) return;
  if (::rename(temp_.c_str(), target_.c_str()) != 0) Fail("Cannot replace", errno);
  temp_.clear();
}

void SafeFileWriter::CopyInPlace() {
  const bool in_memory = stage_fd_ < 0;
  const std::uint64_t size = in_memory ? buffer_.size() : written_;
  // The old text is overwritten only once the new one is known to fit: its blocks
  // are reserved first, the file's size left as it is.
  if (size > 0 && ::fallocate(fd_, FALLOC_FL_KEEP_SIZE, 0, static_cast<off_t>(size)) != 0) {
    const int error = errno;
    if ((error != EOPNOTSUPP && error != ENOSYS) || size > old_size_) {
      if (error == EOPNOTSUPP || error == ENOSYS) {
        throw FileWriteError("Cannot write '" + shown_ +
                             "' in place: its folder is not writable and its file system "
                             "cannot reserve the space first; the file is left as it was");
      }
      Fail("Cannot write", error);
    }
    // No reservation, but the new text fits in the old one's blocks.
  }
  std::uint64_t offset = 0;
  std::vector<char> piece(in_memory ? 0 : kFlushBytes);
  while (offset < size) {
    std::string_view bytes;
    if (in_memory) {
      bytes = std::string_view(buffer_).substr(offset);
    } else {
      const ssize_t got =
          ::pread(stage_fd_, piece.data(), piece.size(), static_cast<off_t>(offset));
      if (got < 0 && errno == EINTR) continue;
      if (got <= 0) Fail("Cannot write", got < 0 ? errno : EIO);
      bytes = std::string_view(piece.data(), static_cast<std::size_t>(got));
    }
    const ssize_t put = ::pwrite(fd_, bytes.data(), bytes.size(), static_cast<off_t>(offset));
    if (put < 0 && errno == EINTR) continue;
    if (put < 0) Fail("Cannot write", errno);
    offset += static_cast<std::uint64_t>(put);
  }
  buffer_.clear();
  // What is left of a longer old text goes.
  if (::ftruncate(fd_, static_cast<off_t>(size)) != 0) Fail("Cannot write", errno);
  if (::fsync(fd_) != 0) Fail("Cannot write", errno);
}

void AlsoOnSignals(void (*cleanup)() noexcept) { also_on_signals.store(cleanup); }

void RemoveTemporaryFilesOnSignals() {
  // Every signal whose default ends the program and that a program may catch.
  std::vector<int> signals = {SIGINT,  SIGTERM,   SIGHUP,  SIGQUIT, SIGPIPE, SIGALRM, SIGUSR1,
                              SIGUSR2, SIGVTALRM, SIGPROF, SIGXCPU, SIGXFSZ, SIGIO,   SIGPWR};
  for (int real_time = SIGRTMIN; real_time <= SIGRTMAX; ++real_time) signals.push_back(real_time);
  for (const int signal_number : signals) {
    struct sigaction current {};
    ::sigaction(signal_number, nullptr, &current);
    if (current.sa_handler == SIG_IGN) continue;  // as under nohup: stay ignored
    struct sigaction action {};
    action.sa_handler = RemoveTemporariesAndRaise;
    sigemptyset(&action.sa_mask);
    ::sigaction(signal_number, &action, nullptr);
  }
}

}  // namespace lintavel
