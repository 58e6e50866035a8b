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
#include <variant>

#include "engine/block_text.h"
#include "engine/file_decoding.h"
#include "engine/html_text.h"
#include "engine/packed_sequences.h"
#include "engine/spilled_words.h"
#include "engine/text_file_reader.h"
#include "engine/text_rules.h"
#include "engine/utf16.h"
#include "engine/utf8.h"

namespace lintavel {

namespace {

// Less room than this left in a block, and the block grows before the next read.
constexpr std::size_t kLeastReadBytes = kBlockBytes / 2;
// What each thread writes stays on lines of its own, so that no other thread's
// reads pull them away.
constexpr std::size_t kCacheLineBytes = 64;

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
  bool file_start = false;     // the block begins the file: a byte-order mark may lead
  bool file_end = false;       // the block ends the file: an unfinished character ends there
  std::uint64_t sequence = 0;  // the block's place in its file, from 0
  std::uint64_t offset = 0;    // of its first byte in the file
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
  NgramCarry carry;           // with the files counted, the sequences' last words so far
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

// What the counting threads are asked to do besides counting.
struct CountingWork {
  bool count_files = false;  // ordered files, each counted by one thread
  const std::function<void(std::string_view, std::string&)>* transform = nullptr;
  const std::atomic<bool>* cancel = nullptr;
  WordCutting cutting;
  Spill* spill = nullptr;                 // where the tables go past their bound
  std::size_t table_limit = 0;            // each counting thread's bound
  const NgramSettings* ngrams = nullptr;  // set when sequences are counted
  const std::function<void(const CountedBlock&)>* on_block = nullptr;  // each block's words
  bool blocks_only = false;  // the blocks' words go only to on_block
  bool whole_files = false;  // a thread's blocks of one file go to on_block together

  bool Cancelled() const { return cancel != nullptr && cancel->load(std::memory_order_relaxed); }
};

// One piece of the counting threads' work, taken from the schedule: a block to
// count, or the next block of an ordered file to filter.
struct Piece {
  Block block;
  FileState* ordered = nullptr;  // the ordered file whose next block `block` is
  bool skip = false;             // the run failed already: the block goes back uncounted
};

// What doing a piece gave, for the schedule to record.
struct PieceOutcome {
  std::uint64_t replaced = 0;  // ill-formed parts made U+FFFD
  bool handed_on = false;      // the block's filtered text waits for any thread to count it
  std::exception_ptr failure;  // what failed while the piece was done
};

// Decodes the next block of an ordered file and filters it (HTML), and gives its
// text, which ends after a separator or at the end of the file; HTML's text is in
// the block's `text`, to be handed on. Adds to `replaced` the ill-formed parts made
// U+FFFD. Only the thread that took the block touches the file's order meanwhile.
std::string_view Filter(Block& block, const CountingWork& work, std::string& decoded,
                        std::string& scratch, std::uint64_t& replaced) {
  FileState& file = *block.file;
  FileOrder& order = *file.order;
  std::string_view input(block.bytes.get(), block.size);
  if (file.decoding != FileDecoding::kCp1252) replaced += Decode(block, decoded, input);
  if (!order.html) {
    // Blocks are cut after a separator: nothing carries over.
    if (work.transform == nullptr) return input;
    scratch.clear();
    (*work.transform)(input, scratch);
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
  if (work.transform != nullptr) {
    scratch.clear();
    (*work.transform)(text, scratch);
    text.swap(scratch);
  }
  return text;
}

// The edges of a block whose sequences were counted, to be joined to its
// neighbours' once every block is counted.
struct BlockEdges {
  std::size_t file = 0;
  std::uint64_t sequence = 0;
  NgramEdges edges;
};

// One counting thread's own things: its counter and the buffers it decodes into.
struct alignas(kCacheLineBytes) CountingThread {
  WordCounter counter;
  std::string decoded;
  std::string scratch;
  NgramCounter ngrams;
  std::vector<BlockEdges> edges;
  WordCounter block_words;  // a block's words, counted apart for on_block
  // With whole_files: the file whose blocks `block_words` holds, how many, and the
  // file's number of blocks once its last is among them.
  const FileState* held_file = nullptr;
  std::uint64_t held_blocks = 0;
  std::uint64_t held_file_blocks = 0;
};

// Gives `thread` an empty table for the next block or file, sized for as many words
// as the last one held: files and blocks of one corpus share most of their words.
void FreshBlockTable(CountingThread& thread, std::size_t last_distinct) {
  thread.block_words = WordCounter();
  thread.block_words.Reserve(last_distinct);
}

// Hands the blocks of one file that `thread` holds to on_block (whole_files).
void HandOutFile(const CountingWork& work, CountingThread& thread) {
  if (thread.held_file == nullptr) return;
  const std::size_t distinct = thread.block_words.distinct();
  (*work.on_block)({.file = thread.held_file->index,
                    .sequence = 0,
                    .offset = 0,
                    .size = 0,
                    .file_start = false,
                    .file_end = thread.held_file_blocks != 0,
                    .blocks = thread.held_blocks,
                    .file_blocks = thread.held_file_blocks,
                    .decoding = thread.held_file->decoding,
                    .big_endian = thread.held_file->big_endian,
                    .words = &thread.block_words});
  if (!work.blocks_only) thread.counter.AddAll(thread.block_words);
  FreshBlockTable(thread, distinct);
  thread.held_file = nullptr;
  thread.held_blocks = 0;
  thread.held_file_blocks = 0;
}

// Counts the words of `text`, the text of `block`, into a table of their own, hands
// them to on_block and then, unless only the blocks are asked for, to the thread's.
void CountBlockApart(std::string_view text, const Block& block, const CountingWork& work,
                     CountingThread& thread) {
  if (work.whole_files) {
    // One table a file and thread: no table grows afresh, nor is merged, each block.
    if (thread.held_file != block.file) HandOutFile(work, thread);
    CountWords(text, work.cutting, thread.block_words);
    thread.held_file = block.file;
    ++thread.held_blocks;
    if (block.file_end) thread.held_file_blocks = block.sequence + 1;
    return;
  }
  CountWords(text, work.cutting, thread.block_words);
  const FileState& file = *block.file;
  const std::size_t distinct = thread.block_words.distinct();
  (*work.on_block)({.file = file.index,
                    .sequence = block.sequence,
                    .offset = block.offset,
                    .size = block.size,
                    .file_start = block.file_start,
                    .file_end = block.file_end,
                    .blocks = 1,
                    .file_blocks = block.file_end ? block.sequence + 1 : 0,
                    .decoding = file.decoding,
                    .big_endian = file.big_endian,
                    .words = &thread.block_words});
  if (!work.blocks_only) thread.counter.AddAll(thread.block_words);
  FreshBlockTable(thread, distinct);
}

// Counts the words, or the sequences, of `text`, the text of `block`. The sequences
// that cross into a neighbour are joined at once by the file's owner when the
// files are counted (it takes the blocks in order), else once all are counted.
void CountText(std::string_view text, const Block& block, const CountingWork& work,
               CountingThread& thread) {
  if (work.ngrams == nullptr) {
    if (work.on_block != nullptr) {
      CountBlockApart(text, block, work, thread);
    } else {
      CountWords(text, work.cutting, thread.counter);
    }
    return;
  }
  NgramEdges edges;
  thread.ngrams.CountBlock(text, work.cutting, *work.ngrams, thread.counter, edges);
  if (work.count_files) {
    block.file->order->carry.Join(edges, *work.ngrams, thread.counter);
  } else {
    thread.edges.push_back({block.file->index, block.sequence, std::move(edges)});
  }
}

// Counts a block that needs no order: raw input, or an ordered file's filtered
// text; gives how many ill-formed parts were made U+FFFD.
std::uint64_t CountBlock(const Block& block, const CountingWork& work, CountingThread& thread) {
  if (block.filtered) {
    CountText(block.text, block, work, thread);
    return 0;
  }
  std::uint64_t replaced = 0;
  std::string_view text(block.bytes.get(), block.size);
  if (block.file->decoding != FileDecoding::kCp1252) replaced = Decode(block, thread.decoded, text);
  if (work.transform != nullptr) {
    thread.scratch.clear();
    (*work.transform)(text, thread.scratch);
    text = thread.scratch;
  }
  CountText(text, block, work, thread);
  return replaced;
}

// Does `piece` on `thread`, holding no lock: filters the next block of an ordered
// file (and counts its text when the files are counted, since the thread owns the
// file), or counts a block. A cancelled run's pieces are only handed back, so that
// closing never waits on them.
PieceOutcome DoPiece(Piece& piece, const CountingWork& work, CountingThread& thread) {
  PieceOutcome outcome;
  if (piece.skip || work.Cancelled()) return outcome;
  try {
    if (piece.ordered != nullptr) {
      const std::string_view text =
          Filter(piece.block, work, thread.decoded, thread.scratch, outcome.replaced);
      if (work.count_files) {
        thread.counter.BeginFile(piece.ordered->index);
        CountText(text, piece.block, work, thread);
      } else {
        piece.block.filtered = true;
        outcome.handed_on = true;
      }
    } else {
      outcome.replaced = CountBlock(piece.block, work, thread);
    }
  } catch (...) {
    outcome.failure = std::current_exception();
    outcome.handed_on = false;
  }
  return outcome;
}

// The lists of the counting threads and the one lock that guards them: the free
// buffers, the blocks to count, the ordered files with blocks waiting, and what
// each thread is doing. A bounded number of buffers is recycled, allocated as they
// are first needed, so that memory stays bounded however large the input is and
// small for a small input. Every call takes the lock and gives it back before it
// returns; the work itself is done outside (DoPiece), and its outcome recorded
// with Done. The reader is one of the threads, the last: when it is ahead, it is
// given a piece of the others' work instead of waiting.
class CountingSchedule {
 public:
  // Schedules for `threads` threads, the reader included.
  CountingSchedule(unsigned threads, bool count_files)
      : current_(threads, nullptr),
        idle_(threads, 0),
        count_files_(count_files),
        reader_(static_cast<int>(std::max(threads, 1u)) - 1) {
    // Reserved up front, so that handing a block over never allocates, and before
    // any thread starts: a counting thread looks at these lists as soon as it runs.
    const std::size_t most_blocks = std::size_t{threads} * kBlocksPerThread + 1;
    free_.reserve(most_blocks);
    full_.reserve(most_blocks);
    ready_.reserve(most_blocks);
  }

  // The reader's index among the threads.
  int reader() const { return reader_; }

  // Tells how many counting threads started besides the reader.
  void Started(std::size_t workers) {
    std::lock_guard lock(mutex_);
    // Alone, the reader counts each block as soon as the next is read, while its
    // bytes are still in the cache.
    reader_alone_ = workers == 0;
    max_blocks_ = reader_alone_ ? kBlocksAlone : (workers + 1) * kBlocksPerThread + 1;
  }

  // A buffer for the reader to fill: a free one, or a new one while fewer than the
  // most exist. When every buffer is taken, a piece of the counting threads' work
  // for the reader to do first, or a wait. Throws what failed on a counting thread.
  std::variant<Block, Piece> AcquireOrTake() {
    std::unique_lock lock(mutex_);
    for (;;) {
      ThrowFailureLocked();
      if (!free_.empty()) {
        Block block = std::move(free_.back());
        free_.pop_back();
        return block;
      }
      if (allocated_ < max_blocks_) {
        ++allocated_;
        return Block{};
      }
      if (std::optional<Piece> piece = TakeLocked(reader_)) return std::move(*piece);
      free_ready_.wait(lock);
    }
  }

  // Gives a buffer back unused.
  void Release(Block block) noexcept {
    {
      std::lock_guard lock(mutex_);
      ReleaseLocked(std::move(block));
    }
    free_ready_.notify_one();
  }

  // Hands a block of input on to be counted; throws what failed on a counting thread.
  void Submit(Block block) {
    bool wake_all = false;
    {
      std::lock_guard lock(mutex_);
      ThrowFailureLocked();
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

  // Whether every block of `file` is counted. With `wait`, waits until it is, and
  // meanwhile gives the reader a piece to do when there is one (it may hold the
  // file's blocks itself). Throws what failed on a counting thread.
  std::variant<bool, Piece> CountedOrTake(const FileState& file, bool wait) {
    std::unique_lock lock(mutex_);
    while (wait && file.blocks_left != 0 && failure_ == nullptr) {
      if (std::optional<Piece> piece = TakeLocked(reader_)) return std::move(*piece);
      counted_.wait(lock);
    }
    ThrowFailureLocked();
    return file.blocks_left == 0;
  }

  // A piece that the reader may take now, when there is one.
  std::optional<Piece> TryTakeForReader() {
    std::lock_guard lock(mutex_);
    return TakeLocked(reader_);
  }

  // Waits for a piece that counting thread `me` may take; nothing once the schedule
  // is closed and nothing is left for it.
  std::optional<Piece> WaitForPiece(int me) {
    std::unique_lock lock(mutex_);
    full_ready_.wait(lock, [&] {
      const bool go = HasWorkFor(me) || closing_;
      idle_[static_cast<std::size_t>(me)] = go ? 0 : 1;
      return go;
    });
    return TakeLocked(me);
  }

  // Records what was done with `piece`: its ill-formed parts, a failure, its text
  // handed on to be counted, or its buffer back in the free list.
  void Done(Piece piece, const PieceOutcome& outcome) noexcept {
    {
      std::lock_guard lock(mutex_);
      if (outcome.failure != nullptr && failure_ == nullptr) failure_ = outcome.failure;
      FileState& file = *piece.block.file;
      file.replaced += outcome.replaced;
      if (piece.ordered != nullptr) {
        // Still this thread's to take next when blocks wait: no one is woken.
        piece.ordered->order->active = false;
        MakeReady(*piece.ordered);
      }
      if (outcome.handed_on) {
        full_.push_back(std::move(piece.block));
      } else {
        --file.blocks_left;
        ReleaseLocked(std::move(piece.block));
      }
    }
    if (outcome.handed_on) full_ready_.notify_one();
    counted_.notify_all();
    free_ready_.notify_one();
  }

  // Lets the counting threads end once nothing is left for them.
  void Close() noexcept {
    {
      std::lock_guard lock(mutex_);
      closing_ = true;
    }
    full_ready_.notify_all();
  }

  // Throws what failed on a counting thread, if anything did. Called once the
  // counting threads have ended.
  void ThrowFailure() {
    std::lock_guard lock(mutex_);
    ThrowFailureLocked();
  }

 private:
  // Buffers per thread: one being counted and one waiting, so no thread waits for
  // the reader; and, for the reader alone, the one it fills and the one it counts.
  static constexpr std::size_t kBlocksPerThread = 2;
  static constexpr std::size_t kBlocksAlone = 2;

  void ThrowFailureLocked() const {
    if (failure_ != nullptr) std::rethrow_exception(failure_);
  }

  void ReleaseLocked(Block block) noexcept {
    // Buffers grown for a very long word are not kept; a kept one keeps only its bytes.
    if (block.capacity > kLargestKeptBlock) {
      free_.emplace_back();
    } else {
      Block kept;
      kept.bytes = std::move(block.bytes);
      kept.capacity = block.capacity;
      if (block.text.capacity() <= kLargestKeptText) kept.text = std::move(block.text);
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
          (me != reader_ || !count_files_ || ready_[i]->read_all || reader_alone_)) {
        unowned = static_cast<std::ptrdiff_t>(i);
      }
    }
    return current_open ? -1 : unowned;
  }

  bool HasWorkFor(int me) const { return ReadyFor(me) >= 0 || !full_.empty(); }

  // Takes the next piece that thread `me` may take, when there is one: the next
  // block of an ordered file first (its filtering holds up the counting of its
  // text), else any block to count.
  std::optional<Piece> TakeLocked(int me) {
    Piece piece;
    const std::ptrdiff_t ready = ReadyFor(me);
    if (ready >= 0) {
      FileState* file = ready_[static_cast<std::size_t>(ready)];
      ready_.erase(ready_.begin() + ready);
      FileOrder& order = *file->order;
      order.queued = false;
      order.active = true;
      if (count_files_ && order.owner < 0) {
        order.owner = me;
        current_[static_cast<std::size_t>(me)] = file;
      }
      piece.ordered = file;
      piece.block = std::move(order.pending.front());
      order.pending.pop_front();
    } else if (!full_.empty()) {
      piece.block = std::move(full_.back());
      full_.pop_back();
    } else {
      return std::nullopt;
    }
    piece.skip = failure_ != nullptr;
    return piece;
  }

  // A buffer grown past this for a very long word is dropped when it comes back,
  // and so is decoded text past its own bound.
  static constexpr std::size_t kLargestKeptBlock = 2 * kBlockBytes;
  static constexpr std::size_t kLargestKeptText = 8 * kBlockBytes;

  std::mutex mutex_;
  std::condition_variable free_ready_;
  std::condition_variable full_ready_;
  std::condition_variable counted_;
  std::vector<Block> free_;  // the order of blocks does not matter to the counts
  std::vector<Block> full_;
  std::vector<FileState*> ready_;          // ordered files with blocks to take, oldest first
  std::vector<const FileState*> current_;  // with the files counted, each thread's file
  std::vector<char> idle_;                 // each thread waits for work
  bool count_files_ = false;
  // The reader is one of the counting threads, the last: when it is ahead, it does
  // their work into the last counter instead of waiting for a buffer. A reader beside
  // as many counting threads as cores took the cores from them (and the counters'
  // tables out of their caches) at every block.
  int reader_ = 0;
  bool reader_alone_ = false;
  std::size_t allocated_ = 0;
  std::size_t max_blocks_ = 0;
  bool closing_ = false;
  std::exception_ptr failure_;
};

// Hands blocks of raw input to counting threads, each of which decodes and counts
// them into a counter of its own. The blocks of an ordered file are taken one at a
// time, in order; its filtered text is counted by the thread that filtered it when
// the files are counted, else handed to any thread, so that one large HTML file is
// filtered on one thread while another counts. A failure on a counting thread (out
// of memory) is kept and thrown to the reader at its next hand-over, so no thread
// ever ends the program. The lists and the lock are the schedule's; the pool runs
// the threads and does the work.
class CountingPool {
 public:
  // Counts on `threads` threads: the reader is one of them and up to `threads` - 1
  // are started, so that one thread counts on the reader alone. When some cannot
  // start, the pool goes on with those that did; when none can, it throws what the
  // system said.
  CountingPool(unsigned threads, const CountingWork& work)
      : threads_(std::max(threads, 1u)), work_(work), schedule_(threads, work.count_files) {
    for (CountingThread& thread : threads_) {
      if (work_.count_files) thread.counter.CountFiles();
      if (work_.spill != nullptr) thread.counter.SpillOver(work_.spill, work_.table_limit);
      // Packed sequences are counted apart from the counter (not with files figures,
      // which the counter keeps), in half of the thread's bound when there is one.
      if (work_.ngrams != nullptr && !work_.count_files) {
        const std::size_t packed_limit = work_.table_limit / 2;
        if (work_.spill != nullptr) {
          thread.counter.SpillOver(work_.spill, work_.table_limit - packed_limit);
        }
        thread.ngrams.CountPacked(packed_limit);
        if (work_.ngrams->longest <= 3) thread.ngrams.KeepPacked();
      }
    }
    const auto workers = static_cast<unsigned>(schedule_.reader());
    workers_.reserve(workers);
    try {
      for (unsigned i = 0; i < workers; ++i) {
        workers_.emplace_back([this, i] { Work(static_cast<int>(i)); });
      }
    } catch (...) {
      if (workers_.empty()) throw;
    }
    schedule_.Started(workers_.size());
  }

  ~CountingPool() { Stop(); }
  CountingPool(const CountingPool&) = delete;
  CountingPool& operator=(const CountingPool&) = delete;

  // A buffer to fill with input; the reader does the counting threads' work while
  // every buffer is taken.
  Block Acquire() {
    for (;;) {
      std::variant<Block, Piece> next = schedule_.AcquireOrTake();
      if (Block* block = std::get_if<Block>(&next)) return std::move(*block);
      ReaderDoes(std::get<Piece>(next));
    }
  }

  void Release(Block block) noexcept { schedule_.Release(std::move(block)); }

  void Submit(Block block) { schedule_.Submit(std::move(block)); }

  // Waits until every block of `file` is counted (or, with `wait` false, only looks)
  // and tells whether it is; throws what failed on a counting thread.
  bool FileCounted(const FileState& file, bool wait) {
    for (;;) {
      std::variant<bool, Piece> next = schedule_.CountedOrTake(file, wait);
      if (const bool* counted = std::get_if<bool>(&next)) return *counted;
      ReaderDoes(std::get<Piece>(next));
    }
  }

  // A new file's state, which lives as long as the pool: blocks point at it. Only
  // the reader calls it.
  FileState& AddFile() { return files_.emplace_back(); }

  // Tells that every block of the ordered `file` was handed on.
  void EndOfFile(FileState& file) { schedule_.EndOfFile(file); }

  // Bytes of input that have been read and handed on.
  void AddDone(std::uint64_t bytes) { bytes_done_ += bytes; }
  std::uint64_t bytes_done() const { return bytes_done_; }

  // Waits until every submitted block is counted and gives all counts in one counter,
  // nothing once the run is cancelled; throws what failed on a counting thread.
  std::optional<WordCounter> Finish() {
    // The files that the reader began are its own to end.
    while (std::optional<Piece> piece = schedule_.TryTakeForReader()) ReaderDoes(*piece);
    Stop();
    schedule_.ThrowFailure();
    if (work_.whole_files) {
      for (CountingThread& thread : threads_) HandOutFile(work_, thread);
    }
    // The sequences across blocks join a counter before the tables are spilled or merged.
    if (work_.ngrams != nullptr && !work_.count_files) {
      if (!KeepPacked()) {
        for (CountingThread& thread : threads_) thread.ngrams.FlushInto(thread.counter);
      }
      JoinEdges(threads_.back().counter);
    }
    if (work_.spill != nullptr) {
      // Merged into one, the tables could outgrow the bound: once they come near it
      // they all go to the spill, the packed sequences with them.
      std::size_t held = 0;
      for (const CountingThread& thread : threads_) held += thread.counter.footprint();
      const bool spill_all =
          !work_.spill->empty() || 2 * held > work_.table_limit * threads_.size();
      if (spill_all && packed_) {
        for (CountingThread& thread : threads_) thread.ngrams.FlushInto(thread.counter);
        packed_.reset();
      }
      for (CountingThread& thread : threads_) {
        if (work_.Cancelled()) return std::nullopt;
        if (spill_all) {
          thread.counter.SpillAll();
          thread.counter = WordCounter();
        } else {
          thread.counter.SpillOver(nullptr, 0);
        }
      }
      if (spill_all) return WordCounter();
    }
    WordCounter all;
    if (work_.count_files) all.CountFiles();
    for (CountingThread& thread : threads_) {
      if (work_.Cancelled()) return std::nullopt;
      all.MergeFrom(std::move(thread.counter), static_cast<unsigned>(threads_.size()));
    }
    if (packed_) {
      for (CountingThread& thread : threads_) thread.ngrams.HandPackedTo(*packed_);
    }
    return all;
  }

  // After Finish: the sequences that the threads kept as numbers, to be ordered
  // with the counts that Finish gave; null when they are among those counts.
  std::unique_ptr<PackedSequences> TakePacked() { return std::move(packed_); }

 private:
  void Work(int me) {
    CountingThread& thread = threads_[static_cast<std::size_t>(me)];
    while (std::optional<Piece> piece = schedule_.WaitForPiece(me)) {
      const PieceOutcome outcome = DoPiece(*piece, work_, thread);
      schedule_.Done(std::move(*piece), outcome);
    }
  }

  // Whether every thread still keeps its sequences as numbers and they can be
  // ordered so (PackedSequences::Rank); if so, they stay packed until the end.
  bool KeepPacked() {
    if (work_.ngrams->longest > 3 || (work_.spill != nullptr && !work_.spill->empty())) {
      return false;
    }
    std::vector<const WordNumbers*> numbers;
    for (const CountingThread& thread : threads_) {
      if (!thread.ngrams.packed()) return false;
      numbers.push_back(&thread.ngrams.numbers());
    }
    auto packed = std::make_unique<PackedSequences>();
    const WordEncoding encoding =
        work_.cutting.cp1252 ? WordEncoding::kCp1252 : WordEncoding::kUtf8;
    if (!packed->Rank(numbers, encoding, work_.ngrams->longest)) return false;
    packed_ = std::move(packed);
    return true;
  }

  // Counts the sequences that cross from block to block, each file's blocks in order.
  void JoinEdges(WordCounter& all) {
    std::vector<BlockEdges> edges;
    for (CountingThread& thread : threads_) {
      for (BlockEdges& block : thread.edges) edges.push_back(std::move(block));
      thread.edges = {};
    }
    std::sort(edges.begin(), edges.end(), [](const BlockEdges& a, const BlockEdges& b) {
      return a.file != b.file ? a.file < b.file : a.sequence < b.sequence;
    });
    for (std::size_t i = 0; i < edges.size();) {
      NgramCarry carry;
      const std::size_t file = edges[i].file;
      for (; i < edges.size() && edges[i].file == file; ++i) {
        carry.Join(edges[i].edges, *work_.ngrams, all);
      }
    }
  }

  // The reader does a piece of the counting threads' work, into the last counter.
  void ReaderDoes(Piece& piece) {
    const PieceOutcome outcome = DoPiece(piece, work_, threads_.back());
    schedule_.Done(std::move(piece), outcome);
  }

  void Stop() noexcept {
    schedule_.Close();
    for (std::thread& worker : workers_) {
      if (worker.joinable()) worker.join();
    }
  }

  std::vector<CountingThread> threads_;      // the counting threads' own, the reader's last
  std::unique_ptr<PackedSequences> packed_;  // kept by Finish, when the sequences stay packed
  CountingWork work_;
  CountingSchedule schedule_;
  std::vector<std::thread> workers_;
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
    TextFileReading reading(path, [&](const FileFailure& failure) {
      // The notes on files read before come first, as the files do.
      TellIllFormed(true);
      ++reports;
      if (options_.on_failure) options_.on_failure(failure);
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
        if (options_.ngrams.active()) file.order->html->set_block_text(kNgramBlockText);
      }
    }
    bool go_on = true;
    bool file_start = true;
    std::uint64_t sequence = 0;  // of the next block handed on
    std::uint64_t offset = 0;    // in the file, of the next block handed on
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
      if (block.capacity - kept < kLeastReadBytes) {
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
      block.sequence = sequence++;
      block.offset = offset;
      offset += cut;
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
      // With on_block, the last block tells that the file is counted whole.
      if ((kept != 0 || options_.html || options_.on_block) && go_on) {
        block.sequence = sequence;
        block.offset = offset;
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

// The words of every run of `spill`, least frequent first, into `result`.
void TakeSpilled(Spill& spill, std::size_t buffer_bytes, const ExtractionOptions& options,
                 unsigned threads, ExtractionResult& result) {
  const bool with_files = options.count_files;
  // At most one word an entry: reserved, the lists never move, and the pages that
  // are never written are never taken.
  result.words.reserve(result.spill.entries);
  if (with_files) result.files.reserve(result.spill.entries);
  spill.Merge(buffer_bytes, [&](std::string_view word, std::uint64_t count, std::uint64_t files) {
    result.words.push_back({result.storage.Store(word), count});
    if (with_files) result.files.push_back(files);
  });
  OrderByCountThenWord(result.words, result.encoding, options.cancel, threads,
                       with_files ? &result.files : nullptr);
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

  // Made before the pool, so that it outlives the counting threads that spill into it
  // even when a failure unwinds the run.
  std::unique_ptr<Spill> spill;
  if (options.memory_limit != 0) {
    spill = std::make_unique<Spill>(options.temp_dir, options.count_files);
  }
  std::optional<CountingPool> pool;
  const unsigned threads = CountingThreads(options.threads, progress.bytes_total);
  try {
    CountingWork work;
    work.count_files = options.count_files;
    work.transform = options.transform_text ? &options.transform_text : nullptr;
    work.cancel = options.cancel;
    work.cutting = {options.words, options.split_elisions,
                    options.encoding == InputEncoding::kCp1252};
    if (spill) {
      work.spill = &*spill;
      // A floor, so that a tiny bound still spills tables of some thousand words, not
      // one at every long word.
      constexpr std::size_t kLeastTableLimit = 256 * 1024;
      work.table_limit =
          std::max(static_cast<std::size_t>(options.memory_limit / threads), kLeastTableLimit);
    }
    if (options.ngrams.active()) work.ngrams = &options.ngrams;
    if (options.on_block) {
      work.on_block = &options.on_block;
      work.blocks_only = options.blocks_only;
      work.whole_files = options.whole_files;
    }
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
    } catch (const SpillFailure& failure) {
      throw ExtractionFailure(ExtractionFailure::Stage::kCounting, failure.what());
    }
  }
  result.files_read = reader.files_opened();
  std::optional<WordCounter> counts;
  std::unique_ptr<PackedSequences> packed;
  try {
    reader.Finish();
    counts = pool->Finish();
    packed = pool->TakePacked();
  } catch (const std::bad_alloc&) {
    FailOutOfMemory("counting the words");
  } catch (const SpillFailure& failure) {
    throw ExtractionFailure(ExtractionFailure::Stage::kCounting, failure.what());
  }
  pool.reset();
  if (result.cancelled || !counts) {
    result.cancelled = true;
    return result;
  }
  try {
    if (spill && !spill->empty()) {
      result.spill = spill->stats();
      counts.reset();
      if (options.stream_words) {
        result.streamed = std::make_shared<SpilledWords>(
            std::move(spill), result.encoding, options.count_files, options.temp_dir,
            options.memory_limit, threads, options.cancel);
        return result;
      }
      TakeSpilled(*spill, static_cast<std::size_t>(options.memory_limit / 4), options, threads,
                  result);
    } else if (packed && options.stream_words) {
      result.streamed = StreamSequences(std::move(packed), std::move(*counts), result.encoding,
                                        options.cancel, threads);
      return result;
    } else if (packed) {
      result.words = packed->TakeOrdered(*counts, result.storage, options.cancel, threads);
    } else {
      result.words =
          std::move(*counts).TakeOrdered(result.storage, result.encoding, options.cancel, threads,
                                         options.count_files ? &result.files : nullptr);
    }
  } catch (const std::bad_alloc&) {
    FailOutOfMemory("ordering the distinct words", ExtractionFailure::Stage::kOrdering);
  } catch (const SpillFailure& failure) {
    throw ExtractionFailure(ExtractionFailure::Stage::kOrdering, failure.what());
  } catch (const OrderingCancelled&) {
    result.words.clear();
    result.cancelled = true;
    return result;
  }
  for (const CountedWord& word : result.words) result.total += word.count;
  return result;
}

}  // namespace lintavel
