#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <span>
#include <string_view>
#include <type_traits>
#include <unordered_map>
#include <vector>

#include "engine/cleared_memory.h"
#include "engine/radix_sort.h"
#include "engine/word_counter.h"
#include "engine/word_hash.h"

namespace lintavel {

// Gives each distinct word a number, from 1 up in the order first seen, so that a
// sequence of words can be counted as a tuple of numbers. Open addressing with
// linear probing, at most half full; words of up to 16 bytes live in the slot.
class WordNumbers {
 public:
  // A word ready to be looked up: its bytes (inline when short) and hash.
  struct Key {
    std::uint64_t head;
    std::uint64_t tail;
    std::uint64_t id;  // the hash's bits 8-15 and the length byte (0xFF: long)
    std::uint64_t hash;
    const char* bytes;  // a long word's bytes, else nullptr
  };

  // The key of the non-empty `word`, 16 bytes from whose start may be read.
  static Key KeyOf(std::string_view word) {
    const char* p = word.data();
    const std::size_t n = word.size();
    if (n > kShortWord) {
      const std::uint64_t hash = WordHash()(word);
      return {0, n, (hash & 0xFF00) | kLongLength, hash, p};
    }
    std::uint64_t head = Load64(p);
    std::uint64_t tail = 0;
    if (n <= 8) {
      head &= ~std::uint64_t{0} >> (64 - 8 * n);
    } else {
      tail = Load64(p + 8) & (~std::uint64_t{0} >> (128 - 8 * n));
    }
    const std::uint64_t hash = WordHash::Mix(head ^ WordHash::kSeed1, tail ^ WordHash::kSeed0 ^ n);
    return {head, tail, (hash & 0xFF00) | n, hash, nullptr};
  }

  // Asks the processor for the slot where `key` is looked up first.
  void Prefetch(const Key& key) const {
    if (slots_ != nullptr) __builtin_prefetch(&slots_[key.hash >> shift_].meta, 1);
  }

  // The number of the word of `key`, a new one when the word is first seen.
  std::uint64_t NumberOf(const Key& key) {
    if (slots_ == nullptr) Allocate(kFirstCapacity);
    const std::size_t i = SlotOf(key);
    return slots_[i].meta != 0 ? slots_[i].meta >> 16 : Place(i, key);
  }

  // How many words were numbered: the largest number.
  std::size_t size() const { return size_; }

  // The word numbered `number` (1 to size()); the view lasts until the table
  // changes.
  std::string_view WordOf(std::uint64_t number) const { return WordIn(slots_[slot_of_[number]]); }

  // The words by number (index 0 unused); the views last as long as this table
  // is neither changed nor destroyed.
  std::vector<std::string_view> Words() const;

  // The number of the word of `key`, 0 when it was not numbered.
  std::uint64_t Find(const Key& key) const {
    return slots_ == nullptr ? 0 : slots_[SlotOf(key)].meta >> 16;  // a free slot's is 0
  }

  // Calls on_word(slot, number, word) for every word, in the order of the table's
  // slots: read straight through, where looking each number up misses the cache.
  template <class F>
  void ForEachWord(F&& on_word) const {
    for (std::size_t i = 0; slots_ != nullptr && i <= mask_; ++i) {
      if (slots_[i].meta != 0) on_word(i, slots_[i].meta >> 16, WordIn(slots_[i]));
    }
  }

  // The word and the number in slot `slot`, as ForEachWord gave it.
  std::string_view WordAt(std::size_t slot) const { return WordIn(slots_[slot]); }
  std::uint64_t NumberAt(std::size_t slot) const { return slots_[slot].meta >> 16; }
  void PrefetchSlot(std::size_t slot) const { __builtin_prefetch(&slots_[slot]); }

  // The bytes that the table and the long words hold.
  std::size_t footprint() const {
    return (slots_ ? (mask_ + 1) * sizeof(Slot) : 0) + long_bytes_.capacity() +
           slot_of_.capacity() * sizeof(std::uint32_t);
  }

 private:
  // A short word is `head` and `tail`, zero-padded; a long one is the offset of
  // its bytes in `long_bytes_` and its length. `meta` is the number (high 48
  // bits), 8 bits of the hash and the length byte; a free slot is all zero.
  struct Slot {
    std::uint64_t head;
    std::uint64_t tail;
    std::uint64_t meta;
  };

  static constexpr std::size_t kShortWord = 16;
  static constexpr std::uint64_t kLongLength = 0xFF;
  static constexpr std::size_t kFirstCapacity = 1024;

  static std::uint64_t Load64(const char* p) {
    std::uint64_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
  }

  std::string_view WordIn(const Slot& slot) const {
    const std::size_t length = slot.meta & 0xFF;
    return length == kLongLength
               ? std::string_view(long_bytes_.data() + slot.head, slot.tail)
               : std::string_view(reinterpret_cast<const char*>(&slot.head), length);
  }

  // The slot that holds the word of `key`, or the free slot where it would go.
  std::size_t SlotOf(const Key& key) const {
    for (std::size_t i = key.hash >> shift_;; i = (i + 1) & mask_) {
      const Slot& slot = slots_[i];
      if ((slot.meta & 0xFFFF) == key.id) {
        if (Holds(slot, key)) return i;
      } else if (slot.meta == 0) {
        return i;
      }
    }
  }

  bool Holds(const Slot& slot, const Key& key) const {
    return key.bytes == nullptr
               ? slot.head == key.head && slot.tail == key.tail
               : slot.tail == key.tail &&
                     std::memcmp(long_bytes_.data() + slot.head, key.bytes, key.tail) == 0;
  }

  std::uint64_t Place(std::size_t index, const Key& key);
  void Allocate(std::size_t capacity);

  std::unique_ptr<Slot[], FreeMemory> slots_;
  std::size_t mask_ = 0;
  int shift_ = 64;
  std::size_t size_ = 0;
  std::vector<char> long_bytes_;  // the bytes of the words longer than 16
  // Each number's slot (index 0 unused): four bytes, as a table of 2^32 slots would
  // take 96 GiB.
  std::vector<std::uint32_t> slot_of_{0};
};

// The bits of a word's number in a sequence of two and of three words packed into
// one key; a sequence holding a larger number is counted as its joined bytes.
// Two words take 22 bits each, so that a pair's key and its count share 8 bytes.
inline constexpr int kPairBits = 22;
inline constexpr int kTripleBits = 21;

// Counts keys of `kKeyBits` bits (never 0): sequences of words packed from their
// numbers. Open addressing with linear probing, at most half full. A key of up to
// 44 bits shares a slot of 8 bytes with its count (the tables are the run's memory,
// and fresh memory is what the system is slowest to give); a longer one takes 16.
// The table grows up to `most_slots`; past that, a key it does not hold is logged,
// 8 bytes an occurrence, to be counted by sorting: where nearly every sequence is
// new (a text of millions of distinct words), a growing table misses the cache at
// each one and takes 16 to 32 bytes a key. Once the log holds `compact_at` keys it
// is sorted and kept as counts, where that takes less room.
template <int kKeyBits>
class KeyCounts {
 public:
  static constexpr std::size_t kMostSlots = std::size_t{1} << 21;
  static constexpr std::size_t kFirstCompaction = std::size_t{1} << 25;

  explicit KeyCounts(std::size_t most_slots = kMostSlots, std::size_t compact_at = kFirstCompaction)
      : most_slots_(std::max<std::size_t>(most_slots, kFirstCapacity)),
        first_compaction_(std::max<std::size_t>(compact_at, 1)),
        compact_at_(first_compaction_) {}

  // Adds one occurrence of each of `keys`, their slots prefetched first.
  void AddEach(std::span<const std::uint64_t> keys);

  // Calls on_key(key, count) for every key counted, in no particular order; a key
  // that was logged may come more than once, its counts to be summed.
  template <class F>
  void ForEach(F&& on_key) const {
    if (slots_ != nullptr) Visit(0, mask_ + 1, on_key);
    VisitRuns(on_key);
    for (const LogBlock& block : log_) {
      for (std::size_t i = 0; i < block.size; ++i) on_key(block.keys[i], std::uint64_t{1});
    }
  }

  // Empties the table, giving its memory back to the system as it goes: calls
  // on_key(key, count) for every key of the table and of the sorted runs, then
  // on_logged(block) with each block of keys still logged (a KeyBlock, each key an
  // occurrence), handing it over. A key may come more than once, its counts to be
  // summed.
  template <class F, class G>
  void Drain(F&& on_key, G&& on_logged) {
    constexpr std::size_t kStretch = (std::size_t{4} << 20) / sizeof(Slot);
    for (std::size_t from = 0; slots_ != nullptr && from <= mask_; from += kStretch) {
      const std::size_t to = std::min(from + kStretch, mask_ + 1);
      Visit(from, to, on_key);
      ReleasePages(slots_.get(), slots_.get() + to);
    }
    slots_.reset();
    VisitRuns(on_key);
    runs_.clear();
    for (LogBlock& block : log_) on_logged(std::move(block));
    *this = KeyCounts(most_slots_, first_compaction_);
  }

  // Sorts the keys logged since the last time and keeps them as counts, unless
  // those would take more than half the room of the keys.
  void Compact();

  // The keys held once each, by the table and the sorted runs; the occurrences
  // logged.
  std::size_t counted() const { return size_ + run_keys_; }
  std::size_t logged() const { return logged_; }
  bool empty() const { return counted() == 0 && logged_ == 0; }

  // The bytes that the table, the runs and the log hold.
  std::size_t footprint() const {
    std::size_t bytes = (slots_ ? (mask_ + 1) * sizeof(Slot) : 0) + run_keys_ * sizeof(KeyCount);
    for (const LogBlock& block : log_) bytes += block.capacity * sizeof(std::uint64_t);
    return bytes;
  }

 private:
  static constexpr bool kCompact = kKeyBits <= 44;

  // A key above a count of 19 bits and a flag: the count passed 19 bits, and all
  // but what the slot holds is carried in `carried_`.
  struct CompactSlot {
    static constexpr int kCountBits = 20;
    static constexpr std::uint64_t kCarried = std::uint64_t{1} << (kCountBits - 1);
    static constexpr std::uint64_t kCountMask = kCarried - 1;
    std::uint64_t bits = 0;

    bool empty() const { return bits == 0; }
    std::uint64_t key() const { return bits >> kCountBits; }
    std::uint64_t count() const { return bits & kCountMask; }
    bool carried() const { return (bits & kCarried) != 0; }
  };
  struct WideSlot {
    std::uint64_t key_bits = 0;
    std::uint64_t count_bits = 0;

    bool empty() const { return key_bits == 0; }
    std::uint64_t key() const { return key_bits; }
    std::uint64_t count() const { return count_bits; }
    bool carried() const { return false; }
  };
  using Slot = std::conditional_t<kCompact, CompactSlot, WideSlot>;

  // Keys as they were logged (or sorted by a compaction that did not pay).
  using LogBlock = KeyBlock;
  // Keys sorted and counted by a compaction.
  struct Run {
    std::unique_ptr<KeyCount[], FreeMemory> counts;
    std::size_t size = 0;
  };

  static constexpr std::size_t kFirstCapacity = 1024;
  static constexpr std::size_t kLogBlock = std::size_t{1} << 20;
  static constexpr std::size_t kTrialKeys = std::size_t{1} << 20;

  static std::uint64_t HashOf(std::uint64_t key) {
    return WordHash::Mix(key ^ WordHash::kSeed0, WordHash::kSeed1);
  }

  std::uint64_t Carried(const Slot& slot) const {
    return slot.carried() ? carried_.at(slot.key()) : 0;
  }

  // Calls on_key(key, count) for the keys in slots [from, to).
  template <class F>
  void Visit(std::size_t from, std::size_t to, F& on_key) const {
    for (std::size_t i = from; i < to; ++i) {
      if (!slots_[i].empty()) on_key(slots_[i].key(), slots_[i].count() + Carried(slots_[i]));
    }
  }

  // Calls on_key(key, count) for the keys of the sorted runs.
  template <class F>
  void VisitRuns(F& on_key) const {
    for (const Run& run : runs_) {
      for (std::size_t i = 0; i < run.size; ++i) on_key(run.counts[i].key, run.counts[i].count);
    }
  }

  void Add(std::uint64_t key, std::uint64_t hash);
  void Log(std::uint64_t key);
  void Allocate(std::size_t capacity);

  std::unique_ptr<Slot[], FreeMemory> slots_;
  std::size_t mask_ = 0;
  int shift_ = 64;
  std::size_t size_ = 0;
  // The counts of the few keys seen more often than a compact slot counts.
  std::unordered_map<std::uint64_t, std::uint64_t> carried_;
  std::size_t most_slots_;
  bool full_ = false;  // the table has its most slots: keys it lacks are logged
  // Once full, the keys that the table held and those it lacked, up to kTrialKeys of
  // the latter; past them, when few were held, every key goes to the log.
  std::size_t hits_ = 0;
  std::size_t misses_ = 0;
  bool bypassed_ = false;
  std::size_t first_compaction_;
  std::size_t compact_at_;  // the logged keys that start the next compaction
  std::vector<LogBlock> log_;
  std::size_t logged_ = 0;
  std::vector<Run> runs_;
  std::size_t run_keys_ = 0;
};

using PairCounts = KeyCounts<2 * kPairBits>;
using TripleCounts = KeyCounts<3 * kTripleBits>;

}  // namespace lintavel
