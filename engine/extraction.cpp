#include "engine/extraction.h"

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <new>
#include <optional>
#include <system_error>
#include <thread>

#include "engine/block_text.h"
#include "engine/file_decoding.h"
#include "engine/html_text.h"
#include "engine/text_file_reader.h"
#include "engine/text_rules.h"
#include "engine/utf16.h"
#include "engine/utf8.h"

namespace lintavel {

namespace {

struct FileOrder;

// What the counting threads learn of a file while they decode its blocks.
struct FileState {
  std::filesystem::path path;
  std::size_t index = 0;  // in the list of files
  FileDecoding decoding = FileDecoding::kCp1252;
  bool big_endian = false;      // of UTF-16, from the file's first two bytes
  std::uint64_t replaced = 0;   // ill-formed parts; written under the pool's lock
  std::size_t blocks_left = 0;  // handed on and not yet counted; under the pool's lock
  bool read_all = false;        // every block was handed on; under the pool's lock
  // Set when the blocks must be taken in the order of the file (HTML, or the files
  // of each word counted); dropped once the file is counted and told of.
  std::unique_ptr<FileOrder> order;
  std::string_view unclosed;  // HTML left open at the end; set with the last block
  std::uint64_t unclosed_line = 0;
};

// Bytes of one file, from a unit boundary to just after a separator (or to the end
// of the file), so that no word and no encoded character is split between blocks.
struct Block {
  std::unique_ptr<char[]> bytes;
  std::size_t capacity = 0;
  std::size_t size = 0;
  FileState* file = nullptr;
  bool file_start = false;  // the block begins the file: a byte-order mark may lead
  bool file_end = false;    // the block ends the file: an unfinished character ends there
  // The decoded and filtered text of an ordered block, whose counting is left to
  // any counting thread once `filtered` is set.
  std::string text;
  bool filtered = false;
};

// A file whose blocks are taken one at a time, in order: the HTML filter's state
// and the text after the last separator carry from one block to the next. With
// the files counted, one counting thread (the owner) takes all of its blocks, so
// that each word's table entry sees the file once.
struct FileOrder {
  std::optional<HtmlTextFilter> html;
  std::string carried;        // filtered text after the last separator so far
  std::deque<Block> pending;  // read and not yet taken; under the pool's lock
  bool queued = false;        // in the pool's list of ready files; under the lock
  bool active = false;        // a thread is taking a block; under the lock
  int owner = -1;             // with the files counted, the thread that took it first
};

// Makes `block` hold at least `capacity` bytes, keeping its first `keep` bytes.
void Reserve(Block& block, std::size_t capacity, std::size_t keep) {
  if (block.capacity >= capacity) return;
  // Uninitialised: a buffer is filled by reads, never read before.
  auto bigger = std::make_unique_for_overwrite<char[]>(capacity);
  if (keep != 0) std::memcpy(bigger.get(), block.bytes.get(), keep);
  block.bytes = std::move(bigger);
  block.capacity = capacity;
}

// Decodes `block` into `text` (valid UTF-8 is only checked, and stays where it is)
// and points `decoded` at the result; gives how many ill-formed parts became U+FFFD.
std::uint64_t Decode(const Block& block, std::string& text, std::string_view& decoded) {
  return DecodeBlock(std::string_view(block.bytes.get(), block.size), block.file->decoding,
                     block.file->big_endian, block.file_start, block.file_end, text, decoded);
}

// Each counting thread's counter on cache lines of its own: counters share no line
// that one thread writes while another reads.
struct alignas(64) ThreadCounter {
  WordCounter counter;
};

// What the counting threads are asked to do besides counting.
struct CountingWork {
  bool count_files = false;  // ordered files, each counted by one thread
  const std::function<void(std::string_view, std::string&)>* transform = nullptr;
  const std::atomic<bool>* cancel = nullptr;
  WordCutting cutting;
};

// Hands blocks of raw input to counting threads, each of which decodes and counts
// them into a counter of its own, and recycles a bounded number of buffers,
// allocated as they are first needed, so that memory stays bounded however large
// the input is and small for a small input. The blocks of an ordered file are
// taken one at a time, in order; its filtered text is counted by the thread that
// filtered it when the files are counted, else handed to any thread, so that one
// large HTML file is filtered on one thread while another counts. A failure on a
// counting thread (out of memory) is kept and thrown to the reader at its next
// hand-over, so no thread ever ends the program.
class CountingPool {
 public:
  // Counts on `threads` threads: the reader is one of them and up to `threads` - 1
  // are started, so that one thread counts on the reader alone. When some cannot
  // start, the pool goes on with those that did; when none can, it throws what the
  // system said.
  CountingPool(unsigned threads, const CountingWork& work)
      : counters_(threads),
        current_(threads, nullptr),
        idle_(threads, 0),
        work_(work),
        reader_(static_cast<int>(std::max(threads, 1u)) - 1) {
    if (work_.count_files) {
      for (ThreadCounter& thread : counters_) thread.counter.CountFiles();
    }
    // Reserved up front, so that handing a block over never allocates, and before
    // any thread starts: a counting thread looks at these lists as soon as it runs.
    const std::size_t most_blocks = std::size_t{threads} * 2 + 1;
    free_.reserve(most_blocks);
    full_.reserve(most_blocks);
    ready_.reserve(most_blocks);
    const auto workers = static_cast<unsigned>(reader_);
    workers_.reserve(workers);
    try {
      for (unsigned i = 0; i < workers; ++i) {
        workers_.emplace_back([this, i] { Work(static_cast<int>(i), counters_[i].counter); });
      }
    } catch (...) {
      if (workers_.empty()) throw;
    }
    std::lock_guard lock(mutex_);
    // Alone, the reader counts each block as soon as the next is read, while its
    // bytes are still in the cache.
    reader_alone_ = workers_.empty();
    max_blocks_ = reader_alone_ ? 2 : (workers_.size() + 1) * 2 + 1;
  }

  ~CountingPool() { Stop(); }
  CountingPool(const CountingPool&) = delete;
  CountingPool& operator=(const CountingPool&) = delete;

  Block Acquire() {
    std::unique_lock lock(mutex_);
    for (;;) {
      if (failure_ != nullptr) std::rethrow_exception(failure_);
      if (!free_.empty()) {
        Block block = std::move(free_.back());
        free_.pop_back();
        return block;
      }
      if (allocated_ < max_blocks_) {
        ++allocated_;
        return Block{};
      }
      // Every buffer is taken and the reader is ahead: it does a piece of the
      // counting threads' work itself.
      if (ReaderTakesOne(lock)) continue;
      free_ready_.wait(lock);
    }
  }

  void Release(Block block) noexcept {
    {
      std::lock_guard lock(mutex_);
      ReleaseLocked(std::move(block));
    }
    free_ready_.notify_one();
  }

  void Submit(Block block) {
    bool wake_all = false;
    {
      std::lock_guard lock(mutex_);
      if (failure_ != nullptr) std::rethrow_exception(failure_);
      FileState& file = *block.file;
      ++file.blocks_left;
      if (file.order == nullptr) {
        full_.push_back(std::move(block));
      } else {
        file.order->pending.push_back(std::move(block));
        MakeReady(file);
        // A file that an idle thread owns must wake that thread.
        wake_all = file.order->owner >= 0 && idle_[static_cast<std::size_t>(file.order->owner)];
      }
    }
    if (wake_all) {
      full_ready_.notify_all();
    } else {
      full_ready_.notify_one();
    }
  }

  // Waits until every block of `file` is counted (or, with `wait` false, only looks)
  // and tells whether it is; throws what failed on a counting thread.
  bool FileCounted(const FileState& file, bool wait) {
    std::unique_lock lock(mutex_);
    while (wait && file.blocks_left != 0 && failure_ == nullptr) {
      // The reader may hold the file's blocks itself: it counts while it waits.
      if (!ReaderTakesOne(lock)) counted_.wait(lock);
    }
    if (failure_ != nullptr) std::rethrow_exception(failure_);
    return file.blocks_left == 0;
  }

  // A new file's state, which lives as long as the pool: blocks point at it.
  FileState& AddFile() { return files_.emplace_back(); }

  // Tells that every block of the ordered `file` was handed on.
  void EndOfFile(FileState& file) {
    bool wake = false;
    {
      std::lock_guard lock(mutex_);
      file.read_all = true;
      // Only the owner waits for the end of its file; waking every thread for each of
      // many small files would cost more than counting them.
      const int owner = file.order->owner;
      wake = owner >= 0 && idle_[static_cast<std::size_t>(owner)];
    }
    if (wake) full_ready_.notify_all();
  }

  // Bytes of input that have been read and handed on.
  void AddDone(std::uint64_t bytes) { bytes_done_ += bytes; }
  std::uint64_t bytes_done() const { return bytes_done_; }

  // Waits until every submitted block is counted and gives all counts in one counter,
  // nothing once the run is cancelled; throws what failed on a counting thread.
  std::optional<WordCounter> Finish() {
    {
      // The files that the reader began are its own to end.
      std::unique_lock lock(mutex_);
      while (ReaderTakesOne(lock)) {
      }
    }
    Stop();
    if (failure_ != nullptr) std::rethrow_exception(failure_);
    WordCounter all;
    if (work_.count_files) all.CountFiles();
    for (ThreadCounter& thread : counters_) {
      if (Cancelled()) return std::nullopt;
      all.MergeFrom(std::move(thread.counter), static_cast<unsigned>(counters_.size()));
    }
    return all;
  }

 private:
  void ReleaseLocked(Block block) noexcept {
    // Buffers grown for a very long word are not kept; a kept one keeps only its bytes.
    if (block.capacity > 2 * kBlockBytes) {
      free_.emplace_back();
    } else {
      Block kept;
      kept.bytes = std::move(block.bytes);
      kept.capacity = block.capacity;
      if (block.text.capacity() <= 8 * kBlockBytes) kept.text = std::move(block.text);
      free_.push_back(std::move(kept));
    }
  }

  // Puts an ordered file with blocks waiting, that no thread is taking, in the list.
  void MakeReady(FileState& file) {
    FileOrder& order = *file.order;
    if (order.active || order.queued || order.pending.empty()) return;
    order.queued = true;
    ready_.push_back(&file);
  }

  // Where in `ready_` the first file that thread `me` may take is, or -1. With the
  // files counted, a thread ends the file it began before it begins another, since
  // its counter tells files apart one after the other.
  std::ptrdiff_t ReadyFor(int me) const {
    const FileState* current = current_[static_cast<std::size_t>(me)];
    const bool current_open = current != nullptr && !current->read_all;
    std::ptrdiff_t unowned = -1;
    for (std::size_t i = 0; i < ready_.size(); ++i) {
      if (ready_[i] == current) return static_cast<std::ptrdiff_t>(i);
      // Beside other threads, the reader begins only files it has read whole: a file
      // of its own that it is still reading would wait for it alone.
      if (unowned < 0 && ready_[i]->order->owner < 0 &&
          (me != reader_ || !work_.count_files || ready_[i]->read_all || reader_alone_)) {
        unowned = static_cast<std::ptrdiff_t>(i);
      }
    }
    return current_open ? -1 : unowned;
  }

  void Work(int me, WordCounter& counter) {
    std::string decoded;
    std::string scratch;
    std::unique_lock lock(mutex_);
    for (;;) {
      full_ready_.wait(lock, [&] {
        const bool go = HasWorkFor(me) || closing_;
        idle_[static_cast<std::size_t>(me)] = go ? 0 : 1;
        return go;
      });
      if (!TakeOne(me, counter, decoded, scratch, lock)) return;
    }
  }

  // The reader does a piece of the counting threads' work, when there is a piece it
  // may take; with `lock` held.
  bool ReaderTakesOne(std::unique_lock<std::mutex>& lock) {
    return TakeOne(reader_, counters_.back().counter, reader_decoded_, reader_scratch_, lock);
  }

  bool HasWorkFor(int me) const { return ReadyFor(me) >= 0 || !full_.empty(); }

  // Takes the next piece of work that thread `me` may take, when there is one, and
  // does it: the next block of an ordered file first (its filtering holds up the
  // counting of its text), else any block to count. Called and returns with `lock`
  // held; false when there was nothing to take.
  bool TakeOne(int me, WordCounter& counter, std::string& decoded, std::string& scratch,
               std::unique_lock<std::mutex>& lock) {
    Block block;
    FileState* ordered = nullptr;
    const std::ptrdiff_t ready = ReadyFor(me);
    if (ready >= 0) {
      ordered = ready_[static_cast<std::size_t>(ready)];
      ready_.erase(ready_.begin() + ready);
      FileOrder& order = *ordered->order;
      order.queued = false;
      order.active = true;
      if (work_.count_files && order.owner < 0) {
        order.owner = me;
        current_[static_cast<std::size_t>(me)] = ordered;
      }
      block = std::move(order.pending.front());
      order.pending.pop_front();
    } else if (!full_.empty()) {
      block = std::move(full_.back());
      full_.pop_back();
    } else {
      return false;
    }
    const bool failed = failure_ != nullptr;
    lock.unlock();
    std::uint64_t replaced = 0;
    bool handed_on = false;
    std::exception_ptr failed_here;
    // A cancelled run's blocks are only handed back: the close must not wait on them.
    if (!failed && !Cancelled()) {
      try {
        if (ordered != nullptr) {
          const std::string_view text = Filter(block, decoded, scratch, replaced);
          if (work_.count_files) {
            counter.BeginFile(ordered->index);
            CountWords(text, work_.cutting, counter);
          } else {
            block.filtered = true;
            handed_on = true;
          }
        } else {
          replaced = CountBlock(block, counter, decoded, scratch);
        }
      } catch (...) {
        failed_here = std::current_exception();
        handed_on = false;
      }
    }
    lock.lock();
    if (failed_here != nullptr && failure_ == nullptr) failure_ = failed_here;
    FileState& file = *block.file;
    file.replaced += replaced;
    if (ordered != nullptr) {
      // Still this thread's to take next when blocks wait: no one is woken.
      ordered->order->active = false;
      MakeReady(*ordered);
    }
    if (handed_on) {
      full_.push_back(std::move(block));
    } else {
      --file.blocks_left;
      ReleaseLocked(std::move(block));
    }
    lock.unlock();
    if (handed_on) full_ready_.notify_one();
    counted_.notify_all();
    free_ready_.notify_one();
    lock.lock();
    return true;
  }

  // Counts a block that needs no order: raw input, or an ordered file's filtered
  // text; gives how many ill-formed parts were made U+FFFD.
  std::uint64_t CountBlock(Block& block, WordCounter& counter, std::string& decoded,
                           std::string& scratch) const {
    if (block.filtered) {
      CountWords(block.text, work_.cutting, counter);
      return 0;
    }
    std::uint64_t replaced = 0;
    std::string_view text(block.bytes.get(), block.size);
    if (block.file->decoding != FileDecoding::kCp1252) replaced = Decode(block, decoded, text);
    if (work_.transform != nullptr) {
      scratch.clear();
      (*work_.transform)(text, scratch);
      text = scratch;
    }
    CountWords(text, work_.cutting, counter);
    return replaced;
  }

  // Decodes and filters the next block of an ordered file and gives its text, which
  // ends after a separator or at the end of the file; HTML's text is in the block's
  // `text`, to be handed on. Adds to `replaced` the ill-formed parts made U+FFFD.
  std::string_view Filter(Block& block, std::string& decoded, std::string& scratch,
                          std::uint64_t& replaced) const {
    FileState& file = *block.file;
    FileOrder& order = *file.order;
    std::string_view input(block.bytes.get(), block.size);
    if (file.decoding != FileDecoding::kCp1252) replaced += Decode(block, decoded, input);
    if (!order.html) {
      // Blocks are cut after a separator: nothing carries over.
      if (work_.transform == nullptr) return input;
      scratch.clear();
      (*work_.transform)(input, scratch);
      return scratch;
    }
    std::string& text = block.text;
    text.clear();
    text.swap(order.carried);
    const std::size_t searched_from = text.size();
    order.html->Feed(input, text);
    if (block.file_end) {
      order.html->Finish(text);
      file.unclosed = order.html->unclosed();
      file.unclosed_line = order.html->unclosed_line();
    } else {
      // Only the new text can hold a separator: what was carried holds none.
      std::size_t cut = text.size();
      while (cut > searched_from && ClassOf(text[cut - 1]) != ByteClass::kSeparator) --cut;
      if (cut == searched_from) cut = 0;
      order.carried.assign(text, cut);
      text.resize(cut);
    }
    if (work_.transform != nullptr) {
      scratch.clear();
      (*work_.transform)(text, scratch);
      text.swap(scratch);
    }
    return text;
  }

  bool Cancelled() const {
    return work_.cancel != nullptr && work_.cancel->load(std::memory_order_relaxed);
  }

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
  std::vector<const FileState*> current_;  // with the files counted, each thread's file
  std::vector<char> idle_;                 // each thread waits for work; under the lock
  CountingWork work_;
  // The reader is one of the counting threads, the last: when it is ahead, it does
  // their work into the last counter instead of waiting for a buffer. A reader beside
  // as many counting threads as cores took the cores from them (and the counters'
  // tables out of their caches) at every block.
  int reader_ = 0;
  bool reader_alone_ = false;  // under the lock
  std::string reader_decoded_;
  std::string reader_scratch_;
  std::vector<std::thread> workers_;
  std::mutex mutex_;
  std::condition_variable free_ready_;
  std::condition_variable full_ready_;
  std::condition_variable counted_;
  std::vector<Block> free_;  // the order of blocks does not matter to the counts
  std::vector<Block> full_;
  std::vector<FileState*> ready_;  // ordered files with blocks to take, oldest first
  std::size_t allocated_ = 0;
  std::size_t max_blocks_ = 0;
  bool closing_ = false;
  std::exception_ptr failure_;
  std::uint64_t bytes_done_ = 0;  // only the reader writes and reads it
  std::deque<FileState> files_;
};

// Reads the files block by block, in order, on the calling thread: reading from the
// page cache is a copy, far faster than counting, and keeps the reader's reports,
// and what a failed or changed file gives, as they are. Each block is cut just
// after its last separator and handed on; the bytes after it start the next block.
// Decoding and counting are the counting threads' work, which the reader shares
// when it is ahead (see CountingPool).
class BlockReader {
 public:
  BlockReader(CountingPool& pool, const ExtractionOptions& options, ExtractionProgress& progress)
      : pool_(pool), options_(options), progress_(progress) {}

  // Reads one file; false when the run was cancelled.
  bool ReadFile(const std::filesystem::path& path, int& reports) {
    TextFileReading reading(path, [&](const ApplicationError& error) {
      // The notes on files read before come first, as the files do.
      TellIllFormed(true);
      ++reports;
      if (options_.report) options_.report(error);
    });
    if (reading.is_open()) ++files_opened_;
    FileState& file = pool_.AddFile();
    file.path = path;
    file.index = progress_.files_done;
    file.decoding = reading.is_open() ? DecodingOf(path, options_.encoding) : FileDecoding::kCp1252;
    if (reading.is_open() && (options_.html || options_.count_files)) {
      file.order = std::make_unique<FileOrder>();
      if (options_.html) {
        file.order->html.emplace(file.decoding == FileDecoding::kCp1252 ? WordEncoding::kCp1252
                                                                        : WordEncoding::kUtf8);
      }
    }
    bool go_on = true;
    bool file_start = true;
    Block block;
    std::size_t kept = 0;  // bytes at the front of `block` carried from the block before
    while (reading.is_open()) {
      if (Cancelled()) {
        go_on = false;
        break;
      }
      if (block.file == nullptr) {
        block = pool_.Acquire();
        block.file = &file;
        block.file_start = file_start;
      }
      if (block.capacity - kept < kBlockBytes / 2) {
        // Doubled, so that a word longer than many blocks is copied a few times only.
        Reserve(block, std::max(kBlockBytes, 2 * block.capacity), kept);
      }
      const std::size_t got =
          reading.Read(std::span<char>(block.bytes.get() + kept, block.capacity - kept));
      if (file_start && file.decoding == FileDecoding::kUtf16) {
        file.big_endian = IsBigEndianUtf16(std::string_view(block.bytes.get(), kept + got));
      }
      pool_.AddDone(got);
      if (got == 0) break;
      const std::size_t cut = CutAfterLastSeparator(block, kept, kept + got);
      if (cut == 0) {
        // No separator yet: the word goes on into the next read, in this block.
        kept += got;
        ReportProgress();
        continue;
      }
      Block next = pool_.Acquire();
      next.file = &file;
      Reserve(next, kBlockBytes, 0);
      kept = kept + got - cut;
      std::memcpy(next.bytes.get(), block.bytes.get() + cut, kept);
      block.size = cut;
      pool_.Submit(std::move(block));
      block = std::move(next);
      file_start = false;
      ReportProgress();
    }
    reading.Close();
    // The end of a file ends its last word and its last character; HTML always gets
    // its last block, which ends what the filter holds.
    if (block.file != nullptr) {
      block.size = kept;
      block.file_end = true;
      if ((kept != 0 || options_.html) && go_on) {
        pool_.Submit(std::move(block));
      } else {
        pool_.Release(std::move(block));
      }
    }
    if (file.order != nullptr) pool_.EndOfFile(file);
    if (file.decoding != FileDecoding::kCp1252 || file.order != nullptr) waiting_.push_back(&file);
    TellIllFormed(false);
    ++progress_.files_done;
    ReportProgress();
    return go_on;
  }

  // Tells of every file with ill-formed parts, once all files are read.
  void Finish() { TellIllFormed(true); }

  // How many of the files read so far could be opened.
  std::size_t files_opened() const { return files_opened_; }

  void ReportProgress() {
    if (!options_.progress) return;
    progress_.bytes_done = pool_.bytes_done();
    options_.progress(progress_);
  }

 private:
  // Where the bytes [begin, end) of `block`, after `begin` bytes of an unfinished
  // word, are cut: just after the last separator, 0 when there is none. UTF-16 is
  // cut after a separator unit, so a block always begins at a unit boundary.
  static std::size_t CutAfterLastSeparator(const Block& block, std::size_t begin, std::size_t end) {
    return lintavel::CutAfterLastSeparator(block.bytes.get(), begin, end, block.file->decoding,
                                           block.file->big_endian);
  }

  // Tells of the files read whose blocks are all counted (HTML left open, then
  // ill-formed parts), in the order of the files; with `wait`, waits for all of them.
  void TellIllFormed(bool wait) {
    while (!waiting_.empty() && pool_.FileCounted(*waiting_.front(), wait)) {
      FileState& file = *waiting_.front();
      waiting_.pop_front();
      file.order.reset();
      if (!file.unclosed.empty() && options_.on_html_unclosed) {
        options_.on_html_unclosed(file.path, file.unclosed, file.unclosed_line);
      }
      if (file.replaced != 0 && options_.on_ill_formed) {
        options_.on_ill_formed(
            file.path, file.replaced,
            file.decoding == FileDecoding::kUtf16 ? InputEncoding::kUtf16 : InputEncoding::kUtf8);
      }
    }
  }

  bool Cancelled() const {
    return options_.cancel != nullptr && options_.cancel->load(std::memory_order_relaxed);
  }

  CountingPool& pool_;
  const ExtractionOptions& options_;
  ExtractionProgress& progress_;
  std::size_t files_opened_ = 0;
  std::deque<FileState*> waiting_;  // files read whose notes are still to come
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
  const unsigned threads = CountingThreads(options.threads, progress.bytes_total);
  try {
    CountingWork work;
    work.count_files = options.count_files;
    work.transform = options.transform_text ? &options.transform_text : nullptr;
    work.cancel = options.cancel;
    work.cutting = {options.words, options.split_elisions,
                    options.encoding == InputEncoding::kCp1252};
    pool.emplace(threads, work);
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
    reader.Finish();
    counts = pool->Finish();
  } catch (const std::bad_alloc&) {
    FailOutOfMemory("counting the words");
  }
  pool.reset();
  if (result.cancelled || !counts) {
    result.cancelled = true;
    return result;
  }
  try {
    result.words =
        std::move(*counts).TakeOrdered(result.storage, result.encoding, options.cancel, threads,
                                       options.count_files ? &result.files : nullptr);
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
