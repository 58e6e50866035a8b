#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace lintavel {

// No file: a run's open file mark when none was open.
inline constexpr std::uint64_t kNoFile = ~std::uint64_t{0};

// How much a run wrote to its temporary folder.
struct SpillStats {
  std::uint64_t runs = 0;
  std::uint64_t bytes = 0;
  std::uint64_t entries = 0;
};

// The temporary folder cannot be made or written (a full disk, no permission); the
// text names the folder and the cause.
class SpillFailure : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// One counted key as a counter hands it over: its bytes, count, files figure, and
// whether that figure counts the file open when the run began or when it ended
// (a file whose words landed in two runs of one counter).
struct SpilledEntry {
  std::string_view word;
  std::uint64_t count = 0;
  std::uint64_t files = 0;
  bool open_at_start = false;
  bool open_at_end = false;
};

class SpillWriter;

// The sorted runs of one extraction, in a private folder (mode 0700) made in
// `parent` at the first run. Each run's file loses its name as soon as it is made,
// so that nothing is left behind however the program ends; the folder is removed
// when this goes, and by RemoveSpillFolders on a signal.
class Spill {
 public:
  // Spills into a folder made in `parent` (empty: TMPDIR, else /tmp); runs carry
  // files figures when `with_files`.
  Spill(std::filesystem::path parent, bool with_files);
  ~Spill();
  Spill(const Spill&) = delete;
  Spill& operator=(const Spill&) = delete;

  // A new run whose keys are to be added in byte order (or the order Merge is given); `start_file`
  // and `end_file` are the files open when its counter began and when it spilled (kNoFile: none).
  // Throws SpillFailure. Safe to call from several threads.
  std::unique_ptr<SpillWriter> NewRun(std::uint64_t start_file, std::uint64_t end_file);

  // An order of keys by (word, count): whether the first goes before the second.
  using KeyLess =
      std::function<bool(std::string_view, std::uint64_t, std::string_view, std::uint64_t)>;

  // Merges every run in byte order of the keys (or, when given, in the order `less`
  // that every run was written in) and gives each key once, with its summed count
  // and exact files figure, to `take`, then lets the runs go; reads with buffers
  // that together stay near `buffer_bytes`. Throws SpillFailure.
  void Merge(std::size_t buffer_bytes,
             const std::function<void(std::string_view, std::uint64_t, std::uint64_t)>& take,
             const KeyLess& less = nullptr);

  bool empty() const { return runs_.empty(); }
  SpillStats stats() const;

 private:
  friend class SpillWriter;
  struct Run {
    int fd = -1;
    std::uint64_t bytes = 0;
    std::uint64_t entries = 0;
    std::uint64_t start_file = kNoFile;
    std::uint64_t end_file = kNoFile;
  };
  void MakeFolder();
  [[noreturn]] void Fail(std::string_view doing, int error) const;
  void Finished(Run run);

  std::filesystem::path parent_;
  std::string folder_;  // empty until the first run
  int slot_ = -1;       // the folder's place in the signal clean-up list
  bool with_files_ = false;
  std::uint64_t next_name_ = 0;
  mutable std::mutex mutex_;
  std::vector<Run> runs_;
  std::vector<int> open_fds_;  // runs being written
};

// Writes one run: its keys must come in byte order. Throws SpillFailure.
class SpillWriter {
 public:
  SpillWriter(Spill& spill, int fd, std::uint64_t start_file, std::uint64_t end_file);
  ~SpillWriter();
  SpillWriter(const SpillWriter&) = delete;
  SpillWriter& operator=(const SpillWriter&) = delete;

  // Adds the next key.
  void Add(const SpilledEntry& entry);
  // Writes what is buffered and hands the run to the spill.
  void Finish();

 private:
  void Flush();

  Spill& spill_;
  Spill::Run run_;
  std::string buffer_;
};

// Removes the folders of the spills alive now; safe inside a signal handler.
void RemoveSpillFolders() noexcept;

// A share of the machine's memory that a run may fill: half of the physical
// memory, or of the control group's limit when that is lower.
std::uint64_t DefaultMemoryLimit();

}  // namespace lintavel
