#pragma once

#include <algorithm>
#include <atomic>
#include <bit>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "engine/cleared_memory.h"
#include "engine/spill.h"
#include "engine/utf8.h"
#include "engine/word_arena.h"
#include "engine/word_hash.h"

namespace lintavel {

// A distinct word and how often it occurred.
struct CountedWord {
  std::string_view word;  // bytes in the encoding of the text counted (Windows-1252 or UTF-8)
  std::uint64_t count = 0;
};

// Counts the words of Windows-1252 or UTF-8 text: the rules look at ASCII bytes
// only, which mean the same in both. Words end at blanks and line ends; tabs and
// the 32 ASCII punctuation characters are removed from them; what is left empty is
// no word. Memory grows with the distinct words, not with the text.
//
// The table is our own rather than a general hash map: most words are at most 16
// bytes, so they are kept inside the slot, zero-padded, and found with one hash
// and one or two cache lines, where a map of views into separate storage needs
// three dependent loads (metadata, slot, word bytes). Open addressing with linear
// probing, at most half full; a slot is 24 bytes.
class WordCounter {
 public:
  WordCounter() = default;
  WordCounter(WordCounter&& other) noexcept;
  WordCounter& operator=(WordCounter&& other) noexcept;
  WordCounter(const WordCounter&) = delete;
  WordCounter& operator=(const WordCounter&) = delete;
  ~WordCounter() = default;

  // Counts every word of `text`, which must not end inside a word.
  void CountText(std::string_view text);

  // Adds `count` occurrences of the already cleaned, non-empty `word`.
  void Add(std::string_view word, std::uint64_t count = 1) {
    if (slots_ == nullptr) Allocate(kFirstCapacity);
    Insert(KeyOf(word.data(), word.size(), nullptr), count);
  }

  // Adds one occurrence of each of the cleaned, non-empty `words`, a batch at a time
  // (their slots prefetched before any is looked up, as CountText does); a short
  // word's bytes are read 16 at a time where that stays before `readable_end`.
  void AddEach(std::span<const std::string_view> words, const char* readable_end);

  // From now on also counts, for each word, the files it occurs in; must come
  // before anything is counted.
  void CountFiles() { count_files_ = true; }

  // The words counted from now on belong to the file numbered `file`: a word's files
  // figure grows by one when it is first counted in it. All of a file's words must
  // be counted by one counter, and its words not mixed with another file's.
  void BeginFile(std::uint64_t file) {
    if (file == current_file_) return;
    EndFile();
    current_file_ = file;
  }

  // Adds every count of `other` to this counter (to the current file's, when the
  // files are counted), its words' slots looked up a batch at a time.
  void AddAll(const WordCounter& other);

  // Adds every count (and files figure) of `other` to this counter, on up to
  // `threads` threads, and takes over its storage; the files counted by the two
  // must be distinct.
  void MergeFrom(WordCounter&& other, unsigned threads = 1);

  std::size_t distinct() const { return size_; }

  // Makes room for `words` distinct words before the first is counted, so that a
  // table that will hold as many as the last one did does not grow there step by step.
  void Reserve(std::size_t words) {
    if (slots_ == nullptr) Allocate(std::bit_ceil(std::max(kFirstCapacity, 2 * words + 2)));
  }

  // Calls on_word(word, count) for every word counted, in no particular order; a
  // word's view lasts only as long as the call.
  template <class F>
  void ForEachWord(F&& on_word) const {
    for (std::size_t i = 0; slots_ != nullptr && i <= mask_; ++i) {
      const Slot& slot = slots_[i];
      if (slot.meta == 0) continue;
      const auto length = static_cast<std::size_t>(slot.meta & 0xFF);
      if (length == kLongLength) {
        on_word(std::string_view(reinterpret_cast<const char*>(slot.head), slot.tail),
                slot.meta / kOne);
        continue;
      }
      char bytes[kShortWord];
      std::memcpy(bytes, &slot.head, 8);
      std::memcpy(bytes + 8, &slot.tail, 8);
      on_word(std::string_view(bytes, length), slot.meta / kOne);
    }
  }

  // From now on, rather than let its table and long words outgrow `limit_bytes`,
  // hands every entry to a new run of `spill`, in byte order, and starts again
  // empty; a file's files figure stays exact across runs. Throws SpillFailure.
  // A null `spill` lets the table grow again.
  void SpillOver(Spill* spill, std::size_t limit_bytes) {
    spill_ = spill;
    spill_limit_ = limit_bytes;
  }

  // The spill given to SpillOver and its bound in bytes; nullptr and 0 for none.
  Spill* spill() const { return spill_; }
  std::size_t spill_limit() const { return spill_limit_; }

  // Ends the current file and hands every entry to a new run of the spill given
  // to SpillOver; nothing when the counter is empty. Throws SpillFailure.
  void SpillAll();

  // The bytes that the table, its files figures and the long words hold.
  std::size_t footprint() const { return SlotBytes() * (slots_ ? mask_ + 1 : 0) + arena_.used(); }

  // The distinct words, least frequent first and, within one count, in ordinal
  // UTF-16 order of the decoded words (whose bytes are in `encoding`); the views
  // point into `storage`, to which this counter hands its bytes. The ordering uses
  // up to `threads` threads. Throws OrderingCancelled once `cancel` is set. When
  // the files were counted and `files` is given, it receives each word's files
  // figure, in the order of the words.
  std::vector<CountedWord> TakeOrdered(WordArena& storage,
                                       WordEncoding encoding = WordEncoding::kCp1252,
                                       const std::atomic<bool>* cancel = nullptr,
                                       unsigned threads = 1,
                                       std::vector<std::uint64_t>* files = nullptr) &&;

 private:
  // A word of up to 16 bytes is `head` and `tail`, zero-padded, and its length; a
  // longer one is the address of its bytes in `arena_` and its length. `meta` holds
  // the count (high 48 bits), 8 bits of the hash and the length byte (0xFF for a
  // long word); a free slot is all zero.
  struct Slot {
    std::uint64_t head;
    std::uint64_t tail;
    std::uint64_t meta;
  };
  struct Key {
    std::uint64_t head;
    std::uint64_t tail;
    std::uint64_t id;  // the low 16 bits of `meta`, never 0
    std::uint64_t hash;
    const char* bytes;  // a long word's bytes, else nullptr
  };

  static constexpr std::size_t kShortWord = 16;
  static constexpr std::uint64_t kLongLength = 0xFF;
  static constexpr std::uint64_t kOne = 1 << 16;
  static constexpr std::size_t kFirstCapacity = 1024;
  static constexpr std::size_t kLargeTable = 1 << 20;

  static std::uint64_t Load64(const char* p) {
    std::uint64_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
  }

  // The key of the `n` bytes at `p`. Short words are read with two 8-byte loads
  // when `readable_end` says that 16 bytes from `p` may be read, else byte-wise.
  static Key KeyOf(const char* p, std::size_t n, const char* readable_end) {
    if (n > kShortWord) {
      const std::uint64_t hash = WordHash()(std::string_view(p, n));
      return {0, n, (hash & 0xFF00) | kLongLength, hash, p};
    }
    std::uint64_t head;
    std::uint64_t tail = 0;
    if (readable_end != nullptr && readable_end - p >= 16) {
      head = Load64(p);
      const std::uint64_t rest = Load64(p + 8);
      if (n <= 8) {
        head &= ~std::uint64_t{0} >> (64 - 8 * n);
      } else {
        tail = rest & (~std::uint64_t{0} >> (128 - 8 * n));
      }
    } else {
      char padded[16] = {};
      std::memcpy(padded, p, n);
      head = Load64(padded);
      tail = Load64(padded + 8);
    }
    const std::uint64_t hash = WordHash::Mix(head ^ WordHash::kSeed1, tail ^ WordHash::kSeed0 ^ n);
    return {head, tail, (hash & 0xFF00) | n, hash, nullptr};
  }

  std::size_t IndexOf(std::uint64_t hash) const { return static_cast<std::size_t>(hash >> shift_); }

  void Prefetch(const Key& key) const { __builtin_prefetch(&slots_[IndexOf(key.hash)], 1); }

  void Insert(const Key& key, std::uint64_t count) {
    const std::size_t at = Upsert(key, count);
    if (seen_ != nullptr) [[unlikely]] {
      // A bit per slot, which stays in the nearest cache, says whether the word was
      // seen in the current file; the files figures are counted when it ends.
      // Without a branch: one that follows a cache miss and goes either way would
      // hold up the lookups of the words after it.
      std::uint64_t& bits = seen_[at / 64];
      const std::uint64_t bit = std::uint64_t{1} << (at % 64);
      seen_list_[seen_count_] = static_cast<std::uint32_t>(at);
      seen_count_ += (bits & bit) == 0 ? 1 : 0;
      bits |= bit;
    }
  }

  // Whether `slot`, whose length and hash bits are those of `key`, holds its word.
  static bool HoldsWord(const Slot& slot, const Key& key) {
    return key.bytes == nullptr
               ? slot.head == key.head && slot.tail == key.tail
               : slot.tail == key.tail && std::memcmp(reinterpret_cast<const char*>(slot.head),
                                                      key.bytes, key.tail) == 0;
  }

  // Adds `count` to the slot of `key`, placing it when new; gives the slot's index.
  std::size_t Upsert(const Key& key, std::uint64_t count) {
    for (std::size_t i = IndexOf(key.hash);; i = (i + 1) & mask_) {
      Slot& slot = slots_[i];
      if ((slot.meta & 0xFFFF) == key.id) {
        if (HoldsWord(slot, key)) {
          slot.meta += count * kOne;
          return i;
        }
      } else if (slot.meta == 0) {
        return Place(i, key, count);
      }
    }
  }

  std::size_t Place(std::size_t index, const Key& key, std::uint64_t count);
  // Whether a table of `slots` slots, with the long words, would hold more than the
  // spill allows while anything is counted.
  bool OverLimit(std::size_t slots) const {
    return size_ != 0 && SlotBytes() * slots + arena_.used() > spill_limit_;
  }
  std::size_t SlotBytes() const {
    return sizeof(Slot) + (count_files_ ? sizeof(std::uint64_t) + sizeof(std::uint32_t) + 1 : 0);
  }
  // Writes every entry as a run of the spill and empties the table.
  void SpillNow();
  // Marks the words seen in the file that was open at the last spill.
  void MarkContinued();
  // In a files figure: the word was seen in the file open when the last spill was made.
  static constexpr std::uint64_t kContinued = std::uint64_t{1} << 63;
  // The slot of `key`, or kNowhere; its counts may be added to meanwhile by threads
  // that each add to other slots.
  std::size_t FindShared(const Key& key);
  static constexpr std::size_t kNowhere = ~std::size_t{0};
  // Counts the current file in the files figure of each word seen in it.
  void EndFile();
  void Allocate(std::size_t capacity);
  void Grow();
  static Key KeyOfSlot(const Slot& slot);
  // Counts the words of the `size` squeezed bytes at `text` (which has room for 64
  // more), whose first `open_bytes` are the start of a word, and gives how many
  // bytes were done with: all when `last`, else up to the word that may run on.
  std::size_t CountSeparated(char* text, std::size_t size, std::size_t open_bytes, bool last);
  template <bool kBatched>
  std::size_t CountSeparatedAs(char* text, std::size_t size, std::size_t open_bytes, bool last);

  // Room after a squeezed piece: the squeeze's slack, and 64 blanks after the end.
  static constexpr std::size_t kSqueezePadding = 64 + 32;

  std::unique_ptr<Slot[], FreeMemory> slots_;
  // When the files are counted: each slot's files figure, a bit per slot set when the
  // word was seen in the current file, and the slots whose bit was set by a word
  // (the others, set when the table grew, are cleared when the file ends).
  std::unique_ptr<std::uint64_t[], FreeMemory> files_;
  std::unique_ptr<std::uint64_t[], FreeMemory> seen_;
  std::unique_ptr<std::uint32_t[], FreeMemory> seen_list_;  // room for every slot
  std::size_t seen_count_ = 0;
  bool seen_moved_ = false;
  bool count_files_ = false;
  std::uint64_t current_file_ = ~std::uint64_t{0};
  std::size_t mask_ = 0;
  int shift_ = 64;
  std::size_t size_ = 0;
  WordArena arena_;                   // the bytes of the long words
  std::unique_ptr<char[]> squeezed_;  // a piece of text without its dropped bytes
  std::size_t squeezed_capacity_ = 0;
  Spill* spill_ = nullptr;
  std::size_t spill_limit_ = 0;
  std::uint64_t continued_file_ = kNoFile;  // open when the last spill was made
};

// Thrown by an ordering that was told to stop.
struct OrderingCancelled {};

// Sorts `words` least frequent first, ties in ordinal UTF-16 order of the words,
// with up to `threads` threads. Checks `cancel` now and then, and throws
// OrderingCancelled once it is set; `words` and `files` are then to be dropped,
// as the last merge may have written over part of them.
// `files`, when given, holds a figure per word and is put in the same order.
void OrderByCountThenWord(std::vector<CountedWord>& words,
                          WordEncoding encoding = WordEncoding::kCp1252,
                          const std::atomic<bool>* cancel = nullptr, unsigned threads = 1,
                          std::vector<std::uint64_t>* files = nullptr);

}  // namespace lintavel
