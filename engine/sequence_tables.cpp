#include "engine/sequence_tables.h"

#include <algorithm>
#include <bit>
#include <iterator>
#include <new>
#include <utility>

#include "engine/cleared_memory.h"

namespace lintavel {

namespace {

// Zeroed memory for `count` slots of type T; throws std::bad_alloc when refused.
template <class T>
std::unique_ptr<T[], FreeMemory> ClearedSlots(std::size_t count) {
  void* memory = AllocateCleared(count * sizeof(T));
  if (memory == nullptr) throw std::bad_alloc();
  return std::unique_ptr<T[], FreeMemory>(static_cast<T*>(memory));
}

}  // namespace

std::vector<std::string_view> WordNumbers::Words() const {
  std::vector<std::string_view> words(size_ + 1);
  for (std::size_t number = 1; number <= size_; ++number) words[number] = WordOf(number);
  return words;
}

std::uint64_t WordNumbers::Place(std::size_t index, const Key& key) {
  const std::uint64_t number = ++size_;
  Slot slot{key.head, key.tail, (number << 16) | key.id};
  if (key.bytes != nullptr) {
    slot.head = long_bytes_.size();
    long_bytes_.insert(long_bytes_.end(), key.bytes, key.bytes + key.tail);
  }
  slots_[index] = slot;
  slot_of_.push_back(static_cast<std::uint32_t>(index));
  if (2 * size_ > mask_ + 1) Allocate(2 * (mask_ + 1));
  return number;
}

void WordNumbers::Allocate(std::size_t capacity) {
  if (capacity > (std::size_t{1} << 32)) throw std::bad_alloc();
  auto old = std::exchange(slots_, ClearedSlots<Slot>(capacity));
  const std::size_t old_slots = old ? mask_ + 1 : 0;
  mask_ = capacity - 1;
  shift_ = 64 - std::countr_zero(capacity);
  for (std::size_t i = 0; i < old_slots; ++i) {
    const Slot& slot = old[i];
    if (slot.meta == 0) continue;
    const std::uint64_t hash =
        (slot.meta & 0xFF) == kLongLength
            ? WordHash()(std::string_view(long_bytes_.data() + slot.head, slot.tail))
            : WordHash::Mix(slot.head ^ WordHash::kSeed1,
                            slot.tail ^ WordHash::kSeed0 ^ (slot.meta & 0xFF));
    std::size_t at = hash >> shift_;
    while (slots_[at].meta != 0) at = (at + 1) & mask_;
    slots_[at] = slot;
    slot_of_[slot.meta >> 16] = static_cast<std::uint32_t>(at);
  }
}

template <int kKeyBits>
void KeyCounts<kKeyBits>::AddEach(std::span<const std::uint64_t> keys) {
  if (slots_ == nullptr) Allocate(kFirstCapacity);
  if (bypassed_) {
    for (const std::uint64_t key : keys) Log(key);
    return;
  }
  // A slot is asked for some keys before it is looked up: far enough for its cache
  // miss to overlap those of the keys between, near enough that the processor does
  // not drop the request for want of room to track it.
  constexpr std::size_t kAhead = 16;
  std::uint64_t hashes[256];
  for (std::size_t from = 0; from < keys.size(); from += std::size(hashes)) {
    const std::size_t batch = std::min(keys.size() - from, std::size(hashes));
    for (std::size_t i = 0; i < batch; ++i) hashes[i] = HashOf(keys[from + i]);
    for (std::size_t i = 0; i < std::min(batch, kAhead); ++i) {
      __builtin_prefetch(&slots_[hashes[i] >> shift_], 1);
    }
    for (std::size_t i = 0; i < batch; ++i) {
      if (i + kAhead < batch) __builtin_prefetch(&slots_[hashes[i + kAhead] >> shift_], 1);
      Add(keys[from + i], hashes[i]);
    }
  }
}

template <int kKeyBits>
void KeyCounts<kKeyBits>::Add(std::uint64_t key, std::uint64_t hash) {
  for (std::size_t i = hash >> shift_;; i = (i + 1) & mask_) {
    Slot& slot = slots_[i];
    if (slot.key() == key) {
      hits_ += full_ ? 1 : 0;
      if constexpr (kCompact) {
        if (slot.count() == Slot::kCountMask) {
          carried_[key] += slot.count() + 1;
          slot.bits = (slot.bits & ~Slot::kCountMask) | Slot::kCarried;
        } else {
          ++slot.bits;
        }
      } else {
        ++slot.count_bits;
      }
      return;
    }
    if (slot.empty()) {
      if (full_) {
        Log(key);
        // A full table that most keys miss only costs each of them a cache miss:
        // from then on every key is logged.
        if (++misses_ == kTrialKeys) bypassed_ = 2 * hits_ < misses_;
        return;
      }
      if constexpr (kCompact) {
        slot.bits = key << Slot::kCountBits | 1;
      } else {
        slot = {key, 1};
      }
      if (2 * ++size_ > mask_ + 1) {
        if (mask_ + 1 < most_slots_) {
          Allocate(2 * (mask_ + 1));
        } else {
          full_ = true;
        }
      }
      return;
    }
  }
}

template <int kKeyBits>
void KeyCounts<kKeyBits>::Log(std::uint64_t key) {
  if (log_.empty() || log_.back().size == log_.back().capacity) {
    // Written once, in order: fresh pages, in huge ones where the kernel has them.
    log_.push_back({HugeArray<std::uint64_t>(kLogBlock), 0, kLogBlock});
  }
  LogBlock& block = log_.back();
  block.keys[block.size++] = key;
  if (++logged_ >= compact_at_) Compact();
}

template <int kKeyBits>
void KeyCounts<kKeyBits>::Compact() {
  if (logged_ == 0) return;
  const std::size_t size = logged_;
  auto keys = HugeArray<std::uint64_t>(size);
  std::size_t at = 0;
  for (LogBlock& block : log_) {
    std::copy(block.keys.get(), block.keys.get() + block.size, keys.get() + at);
    at += block.size;
    block.keys.reset();
  }
  log_.clear();
  logged_ = 0;
  {
    auto scratch = HugeArray<std::uint64_t>(size);
    SortByKey(keys.get(), scratch.get(), size, kKeyBits, nullptr);
  }
  std::size_t distinct = 0;
  for (std::size_t i = 0; i < size; ++i) distinct += i == 0 || keys[i] != keys[i - 1];
  if (2 * distinct * sizeof(KeyCount) <= size * sizeof(std::uint64_t)) {
    Run run;
    run.counts = HugeArray<KeyCount>(distinct);
    for (std::size_t i = 0; i < size; ++i) {
      if (i != 0 && keys[i] == keys[i - 1]) {
        ++run.counts[run.size - 1].count;
      } else {
        run.counts[run.size++] = {keys[i], 1};
      }
    }
    run_keys_ += run.size;
    runs_.push_back(std::move(run));
    compact_at_ = first_compaction_;
    return;
  }
  // Mostly distinct keys: kept as they are, and sorted again only once the log has
  // doubled, so that no key is sorted more than a few times.
  log_.push_back({std::move(keys), size, size});
  logged_ = size;
  compact_at_ = std::max(first_compaction_, 2 * size);
}

template <int kKeyBits>
void KeyCounts<kKeyBits>::Allocate(std::size_t capacity) {
  auto old = std::exchange(slots_, ClearedSlots<Slot>(capacity));
  const std::size_t old_slots = old ? mask_ + 1 : 0;
  mask_ = capacity - 1;
  shift_ = 64 - std::countr_zero(capacity);
  for (std::size_t i = 0; i < old_slots; ++i) {
    if (old[i].empty()) continue;
    std::size_t at = HashOf(old[i].key()) >> shift_;
    while (!slots_[at].empty()) at = (at + 1) & mask_;
    slots_[at] = old[i];
  }
}

template class KeyCounts<2 * kPairBits>;
template class KeyCounts<3 * kTripleBits>;

}  // namespace lintavel
