#include "engine/extraction.h"

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>
#include <thread>

#include "engine/text_file_reader.h"
#include "engine/text_rules.h"

namespace lintavel {

namespace {

constexpr std::size_t kBlockBytes = 1 << 20;

// Each counting thread's counter on cache lines of its own: counters share no line
// that one thread writes while another reads.
struct alignas(64) ThreadCounter {
  WordCounter counter;
};

struct Block {
  std::vector<char> bytes;
  std::size_t used = 0;
};

// Hands blocks of text to counting threads, each with a counter of its own, and
// recycles a fixed number of buffers so that memory stays bounded however large
// the input is.
class CountingPool {
 public:
  explicit CountingPool(unsigned threads) : counters_(threads) {
    for (unsigned i = 0; i < threads * 2 + 1; ++i) free_.push_back(Block{});
    for (unsigned i = 0; i < threads; ++i) {
      workers_.emplace_back([this, i] { Work(counters_[i].counter); });
    }
  }

  ~CountingPool() { Stop(); }

  Block Acquire() {
    std::unique_lock lock(mutex_);
    free_ready_.wait(lock, [this] { return !free_.empty(); });
    Block block = std::move(free_.front());
    free_.pop_front();
    return block;
  }

  void Release(Block block) {
    {
      std::lock_guard lock(mutex_);
      free_.push_back(std::move(block));
    }
    free_ready_.notify_one();
  }

  void Submit(Block block) {
    {
      std::lock_guard lock(mutex_);
      full_.push_back(std::move(block));
    }
    full_ready_.notify_one();
  }

  std::uint64_t bytes_counted() const { return bytes_counted_.load(std::memory_order_relaxed); }

  // Waits until every submitted block is counted and gives all counts in one counter.
  WordCounter Finish() {
    Stop();
    WordCounter all = std::move(counters_.front().counter);
    for (std::size_t i = 1; i < counters_.size(); ++i) {
      all.MergeFrom(std::move(counters_[i].counter));
    }
    return all;
  }

 private:
  void Work(WordCounter& counter) {
    for (;;) {
      Block block;
      {
        std::unique_lock lock(mutex_);
        full_ready_.wait(lock, [this] { return !full_.empty() || closing_; });
        if (full_.empty()) return;
        block = std::move(full_.front());
        full_.pop_front();
      }
      counter.CountText(std::string_view(block.bytes.data(), block.used));
      bytes_counted_.fetch_add(block.used, std::memory_order_relaxed);
      // A buffer that grew for one very long word is not kept at that size.
      if (block.bytes.capacity() > 4 * kBlockBytes) std::vector<char>().swap(block.bytes);
      Release(std::move(block));
    }
  }

  void Stop() {
    {
      std::lock_guard lock(mutex_);
      closing_ = true;
    }
    full_ready_.notify_all();
    for (std::thread& worker : workers_) {
      if (worker.joinable()) worker.join();
    }
  }

  std::vector<ThreadCounter> counters_;
  std::vector<std::thread> workers_;
  std::mutex mutex_;
  std::condition_variable free_ready_;
  std::condition_variable full_ready_;
  std::deque<Block> free_;
  std::deque<Block> full_;
  bool closing_ = false;
  std::atomic<std::uint64_t> bytes_counted_{0};
};

// Appends the word bytes of `bytes` (no separators, no dropped characters) to `word`.
void AppendWordBytes(std::string_view bytes, std::string& word) {
  for (const char byte : bytes) {
    if (ClassOf(byte) == ByteClass::kWord) word.push_back(byte);
  }
}

// Reads the files block by block and cuts each block after its last separator, so
// that no word is split between two counting threads; the cleaned start of a word
// that runs on into the next block travels in `carry`.
class BlockReader {
 public:
  BlockReader(CountingPool& pool, const ExtractionOptions& options, std::uint64_t total_bytes)
      : pool_(pool), options_(options), total_bytes_(total_bytes) {}

  // Reads one file; false when the run was cancelled.
  bool ReadFile(const std::filesystem::path& path, int& reports) {
    TextFileReading reading(path, [&](const ApplicationError& error) {
      ++reports;
      if (options_.report) options_.report(error);
    });
    bool go_on = true;
    while (reading.is_open()) {
      if (Cancelled()) {
        go_on = false;
        break;
      }
      Block block = pool_.Acquire();
      if (block.bytes.size() < carry_.size() + kBlockBytes) {
        block.bytes.resize(carry_.size() + kBlockBytes);
      }
      std::copy(carry_.begin(), carry_.end(), block.bytes.begin());
      const std::size_t got = reading.Read(
          std::span<char>(block.bytes.data() + carry_.size(), block.bytes.size() - carry_.size()));
      if (got == 0) {
        pool_.Release(std::move(block));
        break;
      }
      Dispatch(std::move(block), carry_.size() + got);
    }
    reading.Close();
    // The end of a file ends its last word.
    if (!carry_.empty()) carry_.push_back('\n');
    return go_on;
  }

  // Hands over the last word of the last file.
  void Flush() {
    if (carry_.empty()) return;
    Block block = pool_.Acquire();
    block.bytes.assign(carry_.begin(), carry_.end());
    block.used = carry_.size();
    carry_.clear();
    pool_.Submit(std::move(block));
  }

  void ReportProgress() const {
    if (!options_.progress) return;
    const double done = total_bytes_ == 0 ? 1.0
                                          : static_cast<double>(pool_.bytes_counted()) /
                                                static_cast<double>(total_bytes_);
    options_.progress(std::min(done, 1.0));
  }

 private:
  bool Cancelled() const {
    return options_.cancel != nullptr && options_.cancel->load(std::memory_order_relaxed);
  }

  void Dispatch(Block block, std::size_t used) {
    const std::string_view text(block.bytes.data(), used);
    const auto last_separator = std::find_if(text.rbegin(), text.rend(), [](char byte) {
      return ClassOf(byte) == ByteClass::kSeparator;
    });
    if (last_separator == text.rend()) {
      // One word fills the whole block; keep only its word bytes.
      carry_.clear();
      AppendWordBytes(text, carry_);
      pool_.Release(std::move(block));
      return;
    }
    const std::size_t cut = static_cast<std::size_t>(text.rend() - last_separator);
    carry_.clear();
    AppendWordBytes(text.substr(cut), carry_);
    block.used = cut;
    pool_.Submit(std::move(block));
    ReportProgress();
  }

  CountingPool& pool_;
  const ExtractionOptions& options_;
  std::uint64_t total_bytes_;
  std::string carry_;
};

}  // namespace

ExtractionResult ExtractWords(std::span<const std::filesystem::path> files,
                              const ExtractionOptions& options) {
  ExtractionResult result;
  std::uint64_t total_bytes = 0;
  for (const auto& path : files) total_bytes += RegularFileSize(path);

  const unsigned threads =
      options.threads != 0 ? options.threads : std::max(1u, std::thread::hardware_concurrency());
  CountingPool pool(threads);
  BlockReader reader(pool, options, total_bytes);
  for (const auto& path : files) {
    if (!reader.ReadFile(path, result.reports)) {
      result.cancelled = true;
      break;
    }
  }
  if (!result.cancelled) reader.Flush();
  WordCounter counts = pool.Finish();
  if (result.cancelled) return result;
  if (options.progress) options.progress(1.0);

  result.words = std::move(counts).TakeOrdered(result.storage);
  for (const CountedWord& word : result.words) result.total += word.count;
  return result;
}

}  // namespace lintavel
