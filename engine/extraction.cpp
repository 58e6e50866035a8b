#include "engine/extraction.h"

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>
#include <thread>

#include "engine/text_file_reader.h"
#include "engine/text_rules.h"
#include "engine/utf16.h"
#include "engine/utf8.h"

namespace lintavel {

namespace {

constexpr std::size_t kBlockBytes = 2 << 20;

// Each counting thread's counter on cache lines of its own: counters share no line
// that one thread writes while another reads.
struct alignas(64) ThreadCounter {
  WordCounter counter;
};

struct Block {
  std::vector<char> bytes;
  std::size_t begin = 0;  // the text to count is bytes[begin, end)
  std::size_t end = 0;
};

// Hands blocks of text to counting threads, each with a counter of its own, and
// recycles a fixed number of buffers so that memory stays bounded however large
// the input is.
class CountingPool {
 public:
  explicit CountingPool(unsigned threads) : counters_(threads) {
    for (unsigned i = 0; i < threads * 2 + 1; ++i) {
      free_.push_back(Block{std::vector<char>(kBlockBytes), 0, 0});
    }
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

  // Bytes of input that have been read and handed on.
  void AddDone(std::uint64_t bytes) { bytes_done_.fetch_add(bytes, std::memory_order_relaxed); }
  std::uint64_t bytes_done() const { return bytes_done_.load(std::memory_order_relaxed); }

  // Waits until every submitted block is counted and gives all counts in one counter.
  WordCounter Finish(WordCounter&& more) {
    Stop();
    WordCounter all = std::move(more);
    for (ThreadCounter& thread : counters_) all.MergeFrom(std::move(thread.counter));
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
      counter.CountText(
          std::string_view(block.bytes.data() + block.begin, block.end - block.begin));
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
  std::atomic<std::uint64_t> bytes_done_{0};
};

// Appends the word bytes of `bytes` (no separators, no dropped characters) to `word`.
void AppendWordBytes(std::string_view bytes, std::string& word) {
  for (const char byte : bytes) {
    if (ClassOf(byte) == ByteClass::kWord) word.push_back(byte);
  }
}

// Reads the files block by block and hands each block to the counting threads from
// its first separator to its last, so that no word is split between two threads.
// The words that straddle block boundaries are put together here, from their
// cleaned bytes, and counted by this reader itself: a word longer than a block
// costs only its own bytes.
class BlockReader {
 public:
  BlockReader(CountingPool& pool, const ExtractionOptions& options, ExtractionProgress& progress)
      : pool_(pool), options_(options), progress_(progress) {}

  // Reads one file; false when the run was cancelled.
  bool ReadFile(const std::filesystem::path& path, int& reports) {
    TextFileReading reading(path, [&](const ApplicationError& error) {
      ++reports;
      if (options_.report) options_.report(error);
    });
    const Decoding decoding = reading.is_open() ? DecodingOf(path) : Decoding::kNone;
    Utf8Normalizer normalizer;
    Utf16Decoder utf16;
    bool go_on = true;
    while (reading.is_open()) {
      if (Cancelled()) {
        go_on = false;
        break;
      }
      Block block = pool_.Acquire();
      std::size_t got = 0;
      std::size_t raw = 0;
      if (decoding == Decoding::kNone) {
        raw = got = reading.Read(block.bytes);
      } else {
        raw_.resize(kBlockBytes);
        raw = reading.Read(raw_);
        decoded_.clear();
        const std::string_view read(raw_.data(), raw);
        if (decoding == Decoding::kCp1252ToUtf8) {
          AppendCp1252AsUtf8(read, decoded_);
        } else if (decoding == Decoding::kUtf16) {
          if (raw != 0) {
            utf16.Feed(read, decoded_);
          } else {
            utf16.Finish(decoded_);
          }
        } else if (raw != 0) {
          normalizer.Feed(read, decoded_);
        } else {
          normalizer.Finish(decoded_);
        }
        if (block.bytes.size() < decoded_.size()) block.bytes.resize(decoded_.size());
        std::copy(decoded_.begin(), decoded_.end(), block.bytes.begin());
        got = decoded_.size();
      }
      if (got == 0) {
        pool_.Release(std::move(block));
        if (raw == 0) break;
        continue;
      }
      Dispatch(std::move(block), got, raw);
      if (raw == 0) break;
    }
    reading.Close();
    EndWord();  // the end of a file ends its last word
    const std::uint64_t replaced = normalizer.replaced() + utf16.replaced();
    if (replaced != 0 && options_.on_ill_formed) {
      options_.on_ill_formed(
          path, replaced,
          decoding == Decoding::kUtf16 ? InputEncoding::kUtf16 : InputEncoding::kUtf8);
    }
    ++progress_.files_done;
    ReportProgress();
    return go_on;
  }

  // The counts of the words that straddled blocks.
  WordCounter TakeCounter() { return std::move(straddling_); }

  void ReportProgress() {
    if (!options_.progress) return;
    progress_.bytes_done = pool_.bytes_done();
    options_.progress(progress_);
  }

 private:
  enum class Decoding { kNone, kUtf8, kUtf16, kCp1252ToUtf8 };

  Decoding DecodingOf(const std::filesystem::path& path) const {
    switch (options_.encoding) {
      case InputEncoding::kCp1252:
        return Decoding::kNone;
      case InputEncoding::kUtf8:
        return Decoding::kUtf8;
      case InputEncoding::kUtf16:
        return Decoding::kUtf16;
      case InputEncoding::kAuto:
        break;
    }
    return LooksLikeUnicode(path);
  }

  // UTF-16 after its byte-order mark; UTF-8 after its mark or when every byte is
  // well-formed UTF-8; else Windows-1252.
  static Decoding LooksLikeUnicode(const std::filesystem::path& path) {
    try {
      InputFile file(path);
      std::string buffer(kBlockBytes, '\0');
      std::string scratch;
      Utf8Normalizer check;
      bool first = true;
      while (const std::size_t got = file.Read(buffer)) {
        const std::string_view read(buffer.data(), got);
        if (first && HasUtf16Bom(read)) return Decoding::kUtf16;
        if (first && HasUtf8Bom(read)) return Decoding::kUtf8;
        first = false;
        scratch.clear();
        check.Feed(read, scratch);
        if (check.replaced() != 0) return Decoding::kCp1252ToUtf8;
      }
      scratch.clear();
      check.Finish(scratch);
      return check.replaced() == 0 ? Decoding::kUtf8 : Decoding::kCp1252ToUtf8;
    } catch (const std::exception&) {
      // The reading itself reports what is wrong with the file.
      return Decoding::kCp1252ToUtf8;
    }
  }

  bool Cancelled() const {
    return options_.cancel != nullptr && options_.cancel->load(std::memory_order_relaxed);
  }

  void EndWord() {
    if (!open_word_.empty()) straddling_.Add(open_word_);
    open_word_.clear();
  }

  // Hands the `got` bytes of `block` (read from `raw` bytes of input) to counting.
  void Dispatch(Block block, std::size_t got, std::size_t raw) {
    const std::string_view text(block.bytes.data(), got);
    const auto is_separator = [](char byte) { return ClassOf(byte) == ByteClass::kSeparator; };
    const auto first = std::find_if(text.begin(), text.end(), is_separator);
    pool_.AddDone(raw);
    if (first == text.end()) {
      // The whole block lies inside one word.
      AppendWordBytes(text, open_word_);
      pool_.Release(std::move(block));
      return;
    }
    const auto last = std::find_if(text.rbegin(), text.rend(), is_separator);
    block.begin = static_cast<std::size_t>(first - text.begin());
    block.end = static_cast<std::size_t>(text.rend() - last);
    AppendWordBytes(text.substr(0, block.begin), open_word_);
    EndWord();
    AppendWordBytes(text.substr(block.end), open_word_);
    pool_.Submit(std::move(block));
    ReportProgress();
  }

  CountingPool& pool_;
  const ExtractionOptions& options_;
  ExtractionProgress& progress_;
  std::string open_word_;  // cleaned bytes of the word that runs on into the next block
  WordCounter straddling_;
  std::string raw_;      // undecoded input, when the input is decoded
  std::string decoded_;  // its decoded form
};

}  // namespace

ExtractionResult ExtractWords(std::span<const std::filesystem::path> files,
                              const ExtractionOptions& options) {
  ExtractionResult result;
  result.encoding =
      options.encoding == InputEncoding::kCp1252 ? WordEncoding::kCp1252 : WordEncoding::kUtf8;
  ExtractionProgress progress;
  progress.files_total = files.size();
  for (const auto& path : files) progress.bytes_total += RegularFileSize(path);

  const unsigned threads =
      options.threads != 0 ? options.threads : std::max(1u, std::thread::hardware_concurrency());
  CountingPool pool(threads);
  BlockReader reader(pool, options, progress);
  for (const auto& path : files) {
    if (!reader.ReadFile(path, result.reports)) {
      result.cancelled = true;
      break;
    }
  }
  WordCounter counts = pool.Finish(reader.TakeCounter());
  if (result.cancelled) return result;
  result.words = std::move(counts).TakeOrdered(result.storage, result.encoding);
  for (const CountedWord& word : result.words) result.total += word.count;
  return result;
}

}  // namespace lintavel
