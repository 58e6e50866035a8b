#include "engine/spill.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <queue>
#include <system_error>

#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include "engine/signal_safe_paths.h"

namespace lintavel {

namespace {

constexpr std::size_t kWriteBuffer = 256 * 1024;
constexpr std::uint8_t kOpenAtStart = 1;
constexpr std::uint8_t kOpenAtEnd = 2;

// The folders of live spills, where a signal handler can find them.
SignalSafePaths<16> spill_folders;

// Holds back the signals that end the program while a name exists that the signal
// handler does not know yet: a folder made but not yet held, a run file made but
// not yet unlinked. They are delivered when this ends.
class TerminatingSignalsHeld {
 public:
  TerminatingSignalsHeld() {
    sigset_t held;
    sigemptyset(&held);
    for (const int signal_number : {SIGINT, SIGTERM, SIGHUP, SIGQUIT})
      sigaddset(&held, signal_number);
    ::pthread_sigmask(SIG_BLOCK, &held, &before_);
  }
  ~TerminatingSignalsHeld() { ::pthread_sigmask(SIG_SETMASK, &before_, nullptr); }
  TerminatingSignalsHeld(const TerminatingSignalsHeld&) = delete;
  TerminatingSignalsHeld& operator=(const TerminatingSignalsHeld&) = delete;

 private:
  sigset_t before_;
};

void PutVarint(std::string& out, std::uint64_t value) {
  while (value >= 0x80) {
    out.push_back(static_cast<char>(value | 0x80));
    value >>= 7;
  }
  out.push_back(static_cast<char>(value));
}

// Reads one run back in order, a buffer at a time.
class RunReader {
 public:
  RunReader(int fd, std::uint64_t size, std::size_t buffer_bytes, bool with_files)
      : fd_(fd), size_(size), with_files_(with_files), buffer_(buffer_bytes, '\0') {}

  // Reads the next key into word/count/files/flags; false at the end. Throws
  // std::system_error on a failed read.
  bool Next() {
    const std::uint64_t length = Varint();
    if (length == kEnd) return false;
    word.resize(length);
    for (std::size_t done = 0; done < length;) {
      if (at_ == end_ && !Fill()) throw std::system_error(EIO, std::generic_category());
      const std::size_t piece = std::min<std::size_t>(length - done, end_ - at_);
      std::memcpy(word.data() + done, buffer_.data() + at_, piece);
      at_ += piece;
      done += piece;
    }
    count = Varint();
    files = 0;
    flags = 0;
    if (with_files_) {
      files = Varint();
      flags = static_cast<std::uint8_t>(Varint());
    }
    return true;
  }

  std::string word;
  std::uint64_t count = 0;
  std::uint64_t files = 0;
  std::uint8_t flags = 0;

 private:
  static constexpr std::uint64_t kEnd = ~std::uint64_t{0};

  bool Fill() {
    if (offset_ >= size_) return false;
    const std::size_t want =
        static_cast<std::size_t>(std::min<std::uint64_t>(buffer_.size(), size_ - offset_));
    ssize_t got;
    do {
      got = ::pread(fd_, buffer_.data(), want, static_cast<off_t>(offset_));
    } while (got < 0 && errno == EINTR);
    if (got < 0) throw std::system_error(errno, std::generic_category());
    if (got == 0) throw std::system_error(EIO, std::generic_category());
    offset_ += static_cast<std::uint64_t>(got);
    at_ = 0;
    end_ = static_cast<std::size_t>(got);
    return true;
  }

  std::uint64_t Varint() {
    std::uint64_t value = 0;
    for (int shift = 0;; shift += 7) {
      if (at_ == end_ && !Fill()) {
        if (shift == 0) return kEnd;
        throw std::system_error(EIO, std::generic_category());
      }
      const auto byte = static_cast<std::uint8_t>(buffer_[at_++]);
      value |= std::uint64_t{byte & 0x7Fu} << shift;
      if ((byte & 0x80) == 0) return value;
    }
  }

  int fd_;
  std::uint64_t size_;
  bool with_files_;
  std::string buffer_;
  std::uint64_t offset_ = 0;
  std::size_t at_ = 0;
  std::size_t end_ = 0;
};

// A number from a control group's file; nothing when it says "max" or is missing.
std::uint64_t LimitIn(const char* path) {
  std::ifstream in(path);
  std::string text;
  if (!(in >> text) || text == "max") return 0;
  char* end = nullptr;
  const unsigned long long value = std::strtoull(text.c_str(), &end, 10);
  return end != nullptr && *end == '\0' ? value : 0;
}

}  // namespace

void RemoveSpillFolders() noexcept {
  spill_folders.ForEachHeld([](const char* path) { ::rmdir(path); });
}

std::uint64_t DefaultMemoryLimit() {
  const long pages = ::sysconf(_SC_PHYS_PAGES);
  const long page = ::sysconf(_SC_PAGESIZE);
  std::uint64_t memory = pages > 0 && page > 0
                             ? static_cast<std::uint64_t>(pages) * static_cast<std::uint64_t>(page)
                             : std::uint64_t{4} << 30;
  for (const char* limit :
       {"/sys/fs/cgroup/memory.max", "/sys/fs/cgroup/memory/memory.limit_in_bytes"}) {
    const std::uint64_t bound = LimitIn(limit);
    if (bound != 0 && bound < memory) memory = bound;
  }
  return memory / 2;
}

Spill::Spill(std::filesystem::path parent, bool with_files)
    : parent_(std::move(parent)), with_files_(with_files) {
  if (parent_.empty()) {
    const char* tmpdir = std::getenv("TMPDIR");
    parent_ = tmpdir != nullptr && *tmpdir != '\0' ? tmpdir : "/tmp";
  }
}

Spill::~Spill() {
  for (const Run& run : runs_) {
    if (run.fd >= 0) ::close(run.fd);
  }
  for (const int fd : open_fds_) ::close(fd);
  spill_folders.Forget(slot_);
  if (!folder_.empty()) ::rmdir(folder_.c_str());
}

void Spill::Fail(std::string_view doing, int error) const {
  const std::string where = folder_.empty() ? parent_.string() : folder_;
  throw SpillFailure("cannot " + std::string(doing) + " the temporary folder '" + where +
                     "': " + std::generic_category().message(error));
}

void Spill::MakeFolder() {
  std::string pattern = (parent_ / "lintavel-XXXXXX").string();
  const TerminatingSignalsHeld held;
  if (::mkdtemp(pattern.data()) == nullptr) Fail("make a folder in", errno);
  folder_ = pattern;
  slot_ = spill_folders.Hold(folder_);
}

std::unique_ptr<SpillWriter> Spill::NewRun(std::uint64_t start_file, std::uint64_t end_file) {
  std::lock_guard lock(mutex_);
  if (folder_.empty()) MakeFolder();
  const std::string name = folder_ + "/run-" + std::to_string(next_name_++);
  int fd = -1;
  {
    const TerminatingSignalsHeld held;
    fd = ::open(name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    // Nameless from now on: its space goes with the descriptor, whatever ends us.
    if (fd >= 0) ::unlink(name.c_str());
  }
  if (fd < 0) Fail("write to", errno);
  open_fds_.push_back(fd);
  return std::make_unique<SpillWriter>(*this, fd, start_file, end_file);
}

void Spill::Finished(Run run) {
  std::lock_guard lock(mutex_);
  std::erase(open_fds_, run.fd);
  runs_.push_back(run);
}

SpillStats Spill::stats() const {
  std::lock_guard lock(mutex_);
  SpillStats stats;
  stats.runs = runs_.size();
  for (const Run& run : runs_) {
    stats.bytes += run.bytes;
    stats.entries += run.entries;
  }
  return stats;
}

void Spill::Merge(std::size_t buffer_bytes,
                  const std::function<void(std::string_view, std::uint64_t, std::uint64_t)>& take,
                  const KeyLess& less) {
  const std::size_t each = std::clamp<std::size_t>(
      buffer_bytes / std::max<std::size_t>(runs_.size(), 1), 64 * 1024, 4 * 1024 * 1024);
  std::vector<RunReader> readers;
  readers.reserve(runs_.size());
  for (const Run& run : runs_) readers.emplace_back(run.fd, run.bytes, each, with_files_);
  const auto later = [&readers, &less](std::size_t a, std::size_t b) {
    if (less) {
      const RunReader& first = readers[a];
      const RunReader& second = readers[b];
      if (less(second.word, second.count, first.word, first.count)) return true;
      if (less(first.word, first.count, second.word, second.count)) return false;
      return a > b;
    }
    const int order = readers[a].word.compare(readers[b].word);
    return order != 0 ? order > 0 : a > b;
  };
  std::priority_queue<std::size_t, std::vector<std::size_t>, decltype(later)> heap(later);
  // Each file open across a spill is counted once in every run that saw the key in
  // it: those extra counts come off.
  std::vector<std::uint64_t> open_files;
  try {
    for (std::size_t i = 0; i < readers.size(); ++i) {
      if (readers[i].Next()) heap.push(i);
    }
    std::string word;
    while (!heap.empty()) {
      word = readers[heap.top()].word;
      std::uint64_t count = 0;
      std::uint64_t files = 0;
      open_files.clear();
      while (!heap.empty() && readers[heap.top()].word == word) {
        const std::size_t i = heap.top();
        heap.pop();
        RunReader& reader = readers[i];
        count += reader.count;
        files += reader.files;
        const Run& run = runs_[i];
        if ((reader.flags & kOpenAtStart) != 0) open_files.push_back(run.start_file);
        if ((reader.flags & kOpenAtEnd) != 0 &&
            ((reader.flags & kOpenAtStart) == 0 || run.end_file != run.start_file)) {
          open_files.push_back(run.end_file);
        }
        if (reader.Next()) heap.push(i);
      }
      if (open_files.size() > 1) {
        const std::size_t seen = open_files.size();
        std::sort(open_files.begin(), open_files.end());
        const auto distinct = static_cast<std::size_t>(
            std::unique(open_files.begin(), open_files.end()) - open_files.begin());
        files -= seen - distinct;
      }
      take(word, count, files);
    }
  } catch (const std::system_error& failure) {
    Fail("read back from", failure.code().value());
  }
  // Merged: the runs' space goes back to the disk (or, on a tmpfs, to the memory).
  for (Run& run : runs_) {
    ::close(run.fd);
    run.fd = -1;
  }
}

SpillWriter::SpillWriter(Spill& spill, int fd, std::uint64_t start_file, std::uint64_t end_file)
    : spill_(spill) {
  run_.fd = fd;
  run_.start_file = start_file;
  run_.end_file = end_file;
  buffer_.reserve(kWriteBuffer + 64);
}

SpillWriter::~SpillWriter() = default;

void SpillWriter::Add(const SpilledEntry& entry) {
  PutVarint(buffer_, entry.word.size());
  buffer_.append(entry.word);
  PutVarint(buffer_, entry.count);
  if (spill_.with_files_) {
    PutVarint(buffer_, entry.files);
    PutVarint(buffer_,
              (entry.open_at_start ? kOpenAtStart : 0) | (entry.open_at_end ? kOpenAtEnd : 0));
  }
  ++run_.entries;
  if (buffer_.size() >= kWriteBuffer) Flush();
}

void SpillWriter::Flush() {
  std::size_t done = 0;
  while (done < buffer_.size()) {
    const ssize_t put = ::pwrite(run_.fd, buffer_.data() + done, buffer_.size() - done,
                                 static_cast<off_t>(run_.bytes + done));
    if (put < 0 && errno == EINTR) continue;
    if (put < 0) spill_.Fail("write to", errno);
    if (put == 0) spill_.Fail("write to", ENOSPC);
    done += static_cast<std::size_t>(put);
  }
  run_.bytes += buffer_.size();
  buffer_.clear();
}

void SpillWriter::Finish() {
  Flush();
  spill_.Finished(run_);
}

}  // namespace lintavel
