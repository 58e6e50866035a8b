#include "engine/extraction.h"

#include <algorithm>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <new>
#include <optional>
#include <system_error>
#include <thread>

#include "engine/html_text.h"
#include "engine/text_file_reader.h"
#include "engine/text_rules.h"
#include "engine/utf16.h"
#include "engine/utf8.h"
#include "engine/word_cutter.h"

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
// recycles a bounded number of buffers, allocated as they are first needed, so that
// memory stays bounded however large the input is and small for a small input. A
// failure on a counting thread (out of memory) is kept and thrown to the reader at
// its next hand-over, so no thread ever ends the program.
class CountingPool {
 public:
  // Starts up to `threads` counting threads. When some cannot start, the pool goes on
  // with those that did; when none can, it throws what the system said.
  CountingPool(unsigned threads, const std::atomic<bool>* cancel)
      : counters_(threads), cancel_(cancel) {
    workers_.reserve(threads);
    try {
      for (unsigned i = 0; i < threads; ++i) {
        workers_.emplace_back([this, i] { Work(counters_[i].counter); });
      }
    } catch (...) {
      if (workers_.empty()) throw;
    }
    max_blocks_ = workers_.size() * 2 + 1;
    // Reserved up front, so that handing a block over never allocates.
    free_.reserve(max_blocks_);
    full_.reserve(max_blocks_);
  }

  ~CountingPool() { Stop(); }
  CountingPool(const CountingPool&) = delete;
  CountingPool& operator=(const CountingPool&) = delete;

  Block Acquire() {
    std::unique_lock lock(mutex_);
    free_ready_.wait(
        lock, [this] { return !free_.empty() || allocated_ < max_blocks_ || failure_ != nullptr; });
    if (failure_ != nullptr) std::rethrow_exception(failure_);
    if (!free_.empty()) {
      Block block = std::move(free_.back());
      free_.pop_back();
      return block;
    }
    ++allocated_;
    lock.unlock();
    try {
      return Block{std::vector<char>(kBlockBytes), 0, 0};
    } catch (...) {
      lock.lock();
      --allocated_;
      throw;
    }
  }

  void Release(Block block) noexcept {
    {
      std::lock_guard lock(mutex_);
      free_.push_back(std::move(block));
    }
    free_ready_.notify_one();
  }

  void Submit(Block block) {
    {
      std::lock_guard lock(mutex_);
      if (failure_ != nullptr) std::rethrow_exception(failure_);
      full_.push_back(std::move(block));
    }
    full_ready_.notify_one();
  }

  // Bytes of input that have been read and handed on.
  void AddDone(std::uint64_t bytes) { bytes_done_.fetch_add(bytes, std::memory_order_relaxed); }
  std::uint64_t bytes_done() const { return bytes_done_.load(std::memory_order_relaxed); }

  // Waits until every submitted block is counted and gives all counts in one counter,
  // nothing once the run is cancelled; throws what failed on a counting thread.
  std::optional<WordCounter> Finish(WordCounter&& more) {
    Stop();
    if (failure_ != nullptr) std::rethrow_exception(failure_);
    WordCounter all = std::move(more);
    for (ThreadCounter& thread : counters_) {
      if (Cancelled()) return std::nullopt;
      all.MergeFrom(std::move(thread.counter));
    }
    return all;
  }

 private:
  void Work(WordCounter& counter) {
    for (;;) {
      Block block;
      bool failed = false;
      {
        std::unique_lock lock(mutex_);
        full_ready_.wait(lock, [this] { return !full_.empty() || closing_; });
        if (full_.empty()) return;
        block = std::move(full_.back());
        full_.pop_back();
        failed = failure_ != nullptr;
      }
      // A cancelled run's blocks are only handed back: the close must not wait on them.
      if (!failed && !Cancelled()) {
        try {
          counter.CountText(
              std::string_view(block.bytes.data() + block.begin, block.end - block.begin));
        } catch (...) {
          std::lock_guard lock(mutex_);
          if (failure_ == nullptr) failure_ = std::current_exception();
        }
      }
      Release(std::move(block));
    }
  }

  bool Cancelled() const { return cancel_ != nullptr && cancel_->load(std::memory_order_relaxed); }

  void Stop() noexcept {
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
  const std::atomic<bool>* cancel_;
  std::vector<std::thread> workers_;
  std::mutex mutex_;
  std::condition_variable free_ready_;
  std::condition_variable full_ready_;
  std::vector<Block> free_;  // the order of blocks does not matter to the counts
  std::vector<Block> full_;
  std::size_t allocated_ = 0;
  std::size_t max_blocks_ = 0;
  bool closing_ = false;
  std::exception_ptr failure_;
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
    if (reading.is_open()) ++files_opened_;
    const Decoding decoding = reading.is_open() ? DecodingOf(path) : Decoding::kNone;
    Utf8Normalizer normalizer;
    Utf16Decoder utf16;
    HtmlTextFilter html(decoding == Decoding::kNone ? WordEncoding::kCp1252 : WordEncoding::kUtf8);
    bool go_on = true;
    while (reading.is_open()) {
      if (Cancelled()) {
        go_on = false;
        break;
      }
      Block block = pool_.Acquire();
      std::size_t got = 0;
      std::size_t raw = 0;
      if (decoding == Decoding::kNone && !options_.html) {
        raw = got = reading.Read(block.bytes);
      } else {
        raw_.resize(kBlockBytes);
        raw = reading.Read(raw_);
        decoded_.clear();
        const std::string_view read(raw_.data(), raw);
        if (decoding == Decoding::kNone) {
          decoded_.assign(read);
        } else if (decoding == Decoding::kCp1252ToUtf8) {
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
        if (options_.html) {
          filtered_.clear();
          html.Feed(decoded_, filtered_);
          if (raw == 0) html.Finish(filtered_);
          decoded_.swap(filtered_);
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
    if (!html.unclosed().empty() && options_.on_html_unclosed) {
      options_.on_html_unclosed(path, html.unclosed(), html.unclosed_line());
    }
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

  // How many of the files read so far could be opened.
  std::size_t files_opened() const { return files_opened_; }

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
    if (!open_word_.empty() && options_.on_word) {
      options_.on_word(progress_.files_done, open_word_);
    } else if (!open_word_.empty()) {
      straddling_.Add(open_word_);
    }
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
    if (options_.on_word) {
      ForEachWord(text.substr(block.begin, block.end - block.begin), scratch_,
                  [this](std::string_view word) { options_.on_word(progress_.files_done, word); });
      pool_.Release(std::move(block));
    } else {
      pool_.Submit(std::move(block));
    }
    ReportProgress();
  }

  CountingPool& pool_;
  const ExtractionOptions& options_;
  ExtractionProgress& progress_;
  std::string open_word_;  // cleaned bytes of the word that runs on into the next block
  WordCounter straddling_;
  std::size_t files_opened_ = 0;
  std::string raw_;       // undecoded input, when the input is decoded
  std::string decoded_;   // its decoded form
  std::string filtered_;  // the text of decoded HTML
  std::string scratch_;   // a word cleaned for on_word
};

// The counting threads worth starting: no more than there are blocks to count.
unsigned CountingThreads(unsigned asked, std::uint64_t bytes_total) {
  const unsigned threads = asked != 0 ? asked : std::max(1u, std::thread::hardware_concurrency());
  const std::uint64_t blocks =
      std::max<std::uint64_t>(1, (bytes_total + kBlockBytes - 1) / kBlockBytes);
  return static_cast<unsigned>(std::min<std::uint64_t>(threads, blocks));
}

[[noreturn]] void FailOutOfMemory(
    const std::string& doing,
    ExtractionFailure::Stage stage = ExtractionFailure::Stage::kCounting) {
  throw ExtractionFailure(stage, "out of memory while " + doing);
}

}  // namespace

ExtractionResult ExtractWords(std::span<const std::filesystem::path> files,
                              const ExtractionOptions& options) {
  ExtractionResult result;
  result.encoding =
      options.encoding == InputEncoding::kCp1252 ? WordEncoding::kCp1252 : WordEncoding::kUtf8;
  ExtractionProgress progress;
  progress.files_total = files.size();
  for (const auto& path : files) progress.bytes_total += RegularFileSize(path);

  std::optional<CountingPool> pool;
  try {
    pool.emplace(CountingThreads(options.threads, progress.bytes_total), options.cancel);
  } catch (const std::system_error& failure) {
    throw ExtractionFailure(ExtractionFailure::Stage::kCounting,
                            "cannot start a counting thread: " + failure.code().message());
  } catch (const std::bad_alloc&) {
    FailOutOfMemory("starting the counting threads");
  }
  BlockReader reader(*pool, options, progress);
  for (const auto& path : files) {
    try {
      if (!reader.ReadFile(path, result.reports)) {
        result.cancelled = true;
        break;
      }
    } catch (const std::bad_alloc&) {
      FailOutOfMemory("counting the words of '" + path.string() + "'");
    }
  }
  result.files_read = reader.files_opened();
  std::optional<WordCounter> counts;
  try {
    counts = pool->Finish(reader.TakeCounter());
  } catch (const std::bad_alloc&) {
    FailOutOfMemory("counting the words");
  }
  pool.reset();
  if (result.cancelled || !counts) {
    result.cancelled = true;
    return result;
  }
  try {
    result.words = std::move(*counts).TakeOrdered(result.storage, result.encoding, options.cancel);
  } catch (const std::bad_alloc&) {
    FailOutOfMemory("ordering the distinct words", ExtractionFailure::Stage::kOrdering);
  } catch (const OrderingCancelled&) {
    result.words.clear();
    result.cancelled = true;
    return result;
  }
  for (const CountedWord& word : result.words) result.total += word.count;
  return result;
}

}  // namespace lintavel
