#include "engine/word_counter.h"

#include <algorithm>
#include <bit>
#include <exception>
#include <mutex>
#include <new>
#include <span>
#include <system_error>
#include <thread>
#include <type_traits>
#include <utility>

#include "engine/byte_scan.h"
#include "engine/cleared_memory.h"
#include "engine/code_page.h"
#include "engine/for_each_part.h"
#include "engine/squeeze.h"

namespace lintavel {

WordCounter::WordCounter(WordCounter&& other) noexcept { *this = std::move(other); }

WordCounter& WordCounter::operator=(WordCounter&& other) noexcept {
  slots_ = std::move(other.slots_);
  files_ = std::move(other.files_);
  seen_ = std::move(other.seen_);
  seen_list_ = std::move(other.seen_list_);
  seen_count_ = std::exchange(other.seen_count_, 0);
  seen_moved_ = std::exchange(other.seen_moved_, false);
  count_files_ = std::exchange(other.count_files_, false);
  current_file_ = std::exchange(other.current_file_, ~std::uint64_t{0});
  mask_ = std::exchange(other.mask_, 0);
  shift_ = std::exchange(other.shift_, 64);
  size_ = std::exchange(other.size_, 0);
  arena_ = std::exchange(other.arena_, WordArena());
  squeezed_ = std::move(other.squeezed_);
  squeezed_capacity_ = std::exchange(other.squeezed_capacity_, 0);
  spill_ = std::exchange(other.spill_, nullptr);
  spill_limit_ = std::exchange(other.spill_limit_, 0);
  continued_file_ = std::exchange(other.continued_file_, kNoFile);
  return *this;
}

namespace {

// Fewer words than this are merged, ranked or sorted on the calling thread alone.
constexpr std::size_t kWorthAThread = 1 << 15;

// The parts worth a thread each for `size` words.
std::size_t PartsFor(std::size_t size, unsigned threads) {
  return threads < 2 || size < kWorthAThread ? 1 : threads;
}

}  // namespace

void WordCounter::CountText(std::string_view text) {
  if (slots_ == nullptr) Allocate(kFirstCapacity);
  // Tabs and punctuation only ever leave a word, never end one: each piece of the
  // text is first copied without them, then cut at separators alone. A word that
  // runs on past a piece is carried to the front of the next.
  constexpr std::size_t kPiece = 16 * 1024;
  std::size_t carried = 0;
  for (std::size_t at = 0; at < text.size(); at += kPiece) {
    const std::size_t piece = std::min(kPiece, text.size() - at);
    const std::size_t room = carried + piece + kSqueezePadding;
    if (squeezed_capacity_ < room) {
      // Doubled, so that a word longer than many pieces is copied a few times only.
      const std::size_t capacity = std::max(room, 2 * squeezed_capacity_);
      auto bigger = std::make_unique_for_overwrite<char[]>(capacity);
      if (carried != 0) std::memcpy(bigger.get(), squeezed_.get(), carried);
      squeezed_ = std::move(bigger);
      squeezed_capacity_ = capacity;
    }
    char* const squeezed = squeezed_.get();
    const std::size_t size = carried + SqueezeDropped(text.data() + at, piece, squeezed + carried);
    const std::size_t done = CountSeparated(squeezed, size, carried, at + piece == text.size());
    carried = size - done;
    if (done != 0) std::memmove(squeezed, squeezed + done, carried);
  }
}

std::size_t WordCounter::CountSeparated(char* text, std::size_t size, std::size_t open_bytes,
                                        bool last) {
  // Two loops, so that the one for small tables holds no batch and no test for it.
  return mask_ >= (1u << 17) - 1 ? CountSeparatedAs<true>(text, size, open_bytes, last)
                                 : CountSeparatedAs<false>(text, size, open_bytes, last);
}

void WordCounter::AddEach(std::span<const std::string_view> words, const char* readable_end) {
  if (slots_ == nullptr) Allocate(kFirstCapacity);
  constexpr std::size_t kBatch = 64;
  Key batch[kBatch];
  std::size_t queued = 0;
  for (const std::string_view word : words) {
    if (word.size() > kShortWord) {
      Insert(KeyOf(word.data(), word.size(), nullptr), 1);
      continue;
    }
    batch[queued] = KeyOf(word.data(), word.size(), readable_end);
    Prefetch(batch[queued]);
    if (++queued == kBatch) {
      for (const Key& key : batch) Insert(key, 1);
      queued = 0;
    }
  }
  for (std::size_t i = 0; i < queued; ++i) Insert(batch[i], 1);
}

template <bool kBatched>
std::size_t WordCounter::CountSeparatedAs(char* text, std::size_t size, std::size_t open_bytes,
                                          bool last) {
  // Blanks after the end, so that the masks of the last 64 bytes end every word.
  std::memset(text + size, ' ', 64);
  const char* const readable_end = text + size + 64;
  // Words are hashed a batch at a time and their slots prefetched before any of
  // them is looked up, so that with a large vocabulary the cache misses overlap.
  constexpr int kBatch = kBatched ? 64 : 1;
  Key batch[kBatch];
  int queued = 0;
  const auto count = [&](const char* start, const char* stop) __attribute__((always_inline)) {
    const auto length = static_cast<std::size_t>(stop - start);
    if (length > kShortWord) {
      Insert(KeyOf(start, length, nullptr), 1);
      return;
    }
    if constexpr (!kBatched) {
      Insert(KeyOf(start, length, readable_end), 1);
      return;
    }
    batch[queued] = KeyOf(start, length, readable_end);
    Prefetch(batch[queued]);
    if (++queued == kBatch) {
      for (const Key& key : batch) Insert(key, 1);
      queued = 0;
    }
  };
  const std::size_t done = ForEachSeparatedWord(
      text, size, open_bytes,
      last, [&](std::size_t from, std::size_t to) __attribute__((always_inline)) {
        count(text + from, text + to);
      });
  for (int i = 0; i < queued; ++i) Insert(batch[i], 1);
  return done;
}

void WordCounter::Allocate(std::size_t capacity) {
  auto* table = static_cast<Slot*>(AllocateCleared(capacity * sizeof(Slot)));
  if (table == nullptr) throw std::bad_alloc();
  std::unique_ptr<Slot[], FreeMemory> slots(table);
  if (count_files_) {
    auto* files = static_cast<std::uint64_t*>(AllocateCleared(capacity * sizeof(std::uint64_t)));
    if (files == nullptr) throw std::bad_alloc();
    std::unique_ptr<std::uint64_t[], FreeMemory> owned(files);
    auto* seen =
        static_cast<std::uint64_t*>(AllocateCleared(capacity / 64 * sizeof(std::uint64_t)));
    if (seen == nullptr) throw std::bad_alloc();
    std::unique_ptr<std::uint64_t[], FreeMemory> owned_seen(seen);
    // No slot is in the list twice: a table is never full.
    auto* list = static_cast<std::uint32_t*>(std::malloc(capacity * sizeof(std::uint32_t)));
    if (list == nullptr) throw std::bad_alloc();
    seen_list_.reset(list);
    seen_ = std::move(owned_seen);
    files_ = std::move(owned);
  }
  slots_ = std::move(slots);
  mask_ = capacity - 1;
  shift_ = 64 - std::countr_zero(capacity);
  size_ = 0;
}

WordCounter::Key WordCounter::KeyOfSlot(const Slot& slot) {
  const auto length = static_cast<std::size_t>(slot.meta & 0xFF);
  if (length == kLongLength) {
    const char* bytes = reinterpret_cast<const char*>(slot.head);
    Key key = KeyOf(bytes, slot.tail, nullptr);
    return key;
  }
  const std::uint64_t hash =
      WordHash::Mix(slot.head ^ WordHash::kSeed1, slot.tail ^ WordHash::kSeed0 ^ length);
  return {slot.head, slot.tail, slot.meta & 0xFFFF, hash, nullptr};
}

void WordCounter::Grow() {
  const std::size_t old_capacity = mask_ + 1;
  // Large tables grow one at a time: the counters of a run that grew together would
  // each hold their old and their new table at once, which sets the peak of memory.
  static std::mutex large_growth;
  std::unique_lock lock(large_growth, std::defer_lock);
  if (old_capacity >= kLargeTable) lock.lock();
  std::unique_ptr<Slot[], FreeMemory> old = std::move(slots_);
  // The words seen so far in the current file are counted now, and stay marked.
  if (files_ != nullptr) {
    for (std::size_t i = 0; i < seen_count_; ++i) ++files_[seen_list_[i]];
    seen_count_ = 0;
  }
  std::unique_ptr<std::uint64_t[], FreeMemory> old_files = std::move(files_);
  std::unique_ptr<std::uint64_t[], FreeMemory> old_seen = std::move(seen_);
  const std::size_t size = size_;
  try {
    Allocate(old_capacity * 2);
  } catch (...) {
    slots_ = std::move(old);
    files_ = std::move(old_files);
    seen_ = std::move(old_seen);
    mask_ = old_capacity - 1;
    shift_ = 64 - std::countr_zero(old_capacity);
    throw;
  }
  size_ = size;
  for (std::size_t i = 0; i < old_capacity; ++i) {
    const Slot& slot = old[i];
    if (slot.meta == 0) continue;
    std::size_t j = IndexOf(KeyOfSlot(slot).hash);
    while (slots_[j].meta != 0) j = (j + 1) & mask_;
    slots_[j] = slot;
    if (files_ != nullptr) {
      files_[j] = old_files[i];
      if ((old_seen[i / 64] >> (i % 64) & 1) != 0) {
        seen_[j / 64] |= std::uint64_t{1} << (j % 64);
        seen_moved_ = true;
      }
    }
  }
}

std::size_t WordCounter::Place(std::size_t index, const Key& key, std::uint64_t count) {
  if ((size_ + 1) * 2 > mask_ + 1) {
    // Growing holds the old table and the new one, twice its size, at once.
    if (spill_ != nullptr && OverLimit(3 * (mask_ + 1))) {
      SpillNow();
    } else {
      Grow();
    }
    index = IndexOf(key.hash);
    while (slots_[index].meta != 0) index = (index + 1) & mask_;
  } else if (spill_ != nullptr && key.bytes != nullptr && OverLimit(mask_ + 1)) [[unlikely]] {
    SpillNow();
    index = IndexOf(key.hash);
  }
  Slot& slot = slots_[index];
  if (key.bytes != nullptr) {
    const std::string_view stored = arena_.Store(std::string_view(key.bytes, key.tail));
    slot.head = reinterpret_cast<std::uintptr_t>(stored.data());
  } else {
    slot.head = key.head;
  }
  slot.tail = key.tail;
  slot.meta = count * kOne | key.id;
  ++size_;
  return index;
}

void WordCounter::EndFile() {
  if (seen_ == nullptr) return;
  if (continued_file_ != kNoFile && current_file_ == continued_file_) MarkContinued();
  for (std::size_t i = 0; i < seen_count_; ++i) {
    ++files_[seen_list_[i]];
    seen_[seen_list_[i] / 64] = 0;
  }
  seen_count_ = 0;
  if (seen_moved_) {
    std::memset(seen_.get(), 0, (mask_ + 1) / 64 * sizeof(std::uint64_t));
    seen_moved_ = false;
  }
}

void WordCounter::MarkContinued() {
  for (std::size_t w = 0; w < (mask_ + 1) / 64; ++w) {
    for (std::uint64_t bits = seen_[w]; bits != 0; bits &= bits - 1) {
      files_[w * 64 + static_cast<std::size_t>(std::countr_zero(bits))] |= kContinued;
    }
  }
}

namespace {

// The bytes of a word held in a slot.
std::string_view SlotWord(const std::uint64_t& head, std::uint64_t tail, std::uint64_t meta) {
  const auto length = static_cast<std::size_t>(meta & 0xFF);
  if (length == 0xFF) return {reinterpret_cast<const char*>(head), tail};
  return {reinterpret_cast<const char*>(&head), length};
}

// The first 8 bytes of `word`, zero-padded, as a number that orders as the bytes do.
std::uint64_t BytePrefix(std::string_view word) {
  unsigned char bytes[8] = {};
  std::memcpy(bytes, word.data(), std::min<std::size_t>(8, word.size()));
  std::uint64_t value = 0;
  for (const unsigned char byte : bytes) value = value << 8 | byte;
  return value;
}

}  // namespace

void WordCounter::SpillNow() {
  const bool with_files = files_ != nullptr;
  const auto seen = [this](std::size_t i) { return (seen_[i / 64] >> (i % 64) & 1) != 0; };
  // The file being counted is counted now in the figures of the words seen in it,
  // and carries on into the next run.
  const bool start_still_open =
      with_files && continued_file_ != kNoFile && current_file_ == continued_file_;
  if (with_files) {
    for (std::size_t i = 0; i < seen_count_; ++i) ++files_[seen_list_[i]];
    seen_count_ = 0;
  }
  const std::size_t capacity = mask_ + 1;
  std::vector<std::pair<std::uint64_t, std::uint32_t>> order;
  order.reserve(size_);
  for (std::size_t i = 0; i < capacity; ++i) {
    const Slot& slot = slots_[i];
    if (slot.meta == 0) continue;
    order.emplace_back(BytePrefix(SlotWord(slot.head, slot.tail, slot.meta)),
                       static_cast<std::uint32_t>(i));
  }
  std::sort(order.begin(), order.end(), [this](const auto& a, const auto& b) {
    if (a.first != b.first) return a.first < b.first;
    const Slot& x = slots_[a.second];
    const Slot& y = slots_[b.second];
    return SlotWord(x.head, x.tail, x.meta) < SlotWord(y.head, y.tail, y.meta);
  });
  const std::unique_ptr<SpillWriter> run =
      spill_->NewRun(with_files ? continued_file_ : kNoFile, with_files ? current_file_ : kNoFile);
  for (const auto& [prefix, i] : order) {
    const Slot& slot = slots_[i];
    SpilledEntry entry;
    entry.word = SlotWord(slot.head, slot.tail, slot.meta);
    entry.count = slot.meta / kOne;
    if (with_files) {
      entry.files = files_[i] & ~kContinued;
      entry.open_at_start = (files_[i] & kContinued) != 0 || (start_still_open && seen(i));
      entry.open_at_end = seen(i);
    }
    run->Add(entry);
  }
  run->Finish();
  order = {};
  std::memset(slots_.get(), 0, capacity * sizeof(Slot));
  if (with_files) {
    std::memset(files_.get(), 0, capacity * sizeof(std::uint64_t));
    std::memset(seen_.get(), 0, capacity / 64 * sizeof(std::uint64_t));
    seen_moved_ = false;
  }
  size_ = 0;
  arena_ = WordArena();
  continued_file_ = with_files ? current_file_ : kNoFile;
}

void WordCounter::SpillAll() {
  EndFile();
  if (size_ != 0) SpillNow();
}

std::size_t WordCounter::FindShared(const Key& key) {
  for (std::size_t i = IndexOf(key.hash);; i = (i + 1) & mask_) {
    const std::uint64_t meta = std::atomic_ref(slots_[i].meta).load(std::memory_order_relaxed);
    if (meta == 0) return kNowhere;
    if ((meta & 0xFFFF) == key.id && HoldsWord(slots_[i], key)) return i;
  }
}

void WordCounter::AddAll(const WordCounter& other) {
  if (other.size_ == 0) return;
  if (slots_ == nullptr) Allocate(kFirstCapacity);
  constexpr std::size_t kBatch = 16;
  Key batch[kBatch];
  std::uint64_t counts[kBatch];
  std::size_t queued = 0;
  const auto flush = [&] {
    for (std::size_t i = 0; i < queued; ++i) Insert(batch[i], counts[i]);
    queued = 0;
  };
  for (std::size_t i = 0; i <= other.mask_; ++i) {
    const Slot& slot = other.slots_[i];
    if (slot.meta == 0) continue;
    batch[queued] = KeyOfSlot(slot);
    counts[queued] = slot.meta / kOne;
    Prefetch(batch[queued]);
    if (++queued == kBatch) flush();
  }
  flush();
}

void WordCounter::MergeFrom(WordCounter&& other, unsigned threads) {
  EndFile();
  other.EndFile();
  if (other.size_ > size_) std::swap(*this, other);
  if (other.size_ == 0) return;
  // The figures of the words that both hold are added on up to `threads` threads,
  // each taking a stretch of `other`: a word is in one slot here, which only the
  // thread with that word writes. The words missing here are placed after, on this
  // thread alone, as placing one may grow the table.
  const std::size_t parts = PartsFor(other.size_, threads);
  const std::size_t capacity = other.mask_ + 1;
  std::vector<std::vector<std::size_t>> missing(parts);
  ForEachPart(parts, [&](std::size_t part) {
    constexpr std::size_t kBatch = 16;
    Key batch[kBatch];
    std::size_t from[kBatch];
    std::size_t queued = 0;
    const auto flush = [&] {
      for (std::size_t i = 0; i < queued; ++i) {
        const std::size_t at = FindShared(batch[i]);
        if (at == kNowhere) {
          missing[part].push_back(from[i]);
          continue;
        }
        std::atomic_ref meta(slots_[at].meta);
        meta.store(meta.load(std::memory_order_relaxed) + other.slots_[from[i]].meta / kOne * kOne,
                   std::memory_order_relaxed);
        if (files_ != nullptr) files_[at] += other.files_[from[i]];
      }
      queued = 0;
    };
    for (std::size_t i = capacity * part / parts; i < capacity * (part + 1) / parts; ++i) {
      if (other.slots_[i].meta == 0) continue;
      batch[queued] = KeyOfSlot(other.slots_[i]);
      from[queued] = i;
      Prefetch(batch[queued]);
      if (++queued == kBatch) flush();
    }
    flush();
  });
  for (const std::vector<std::size_t>& indexes : missing) {
    for (const std::size_t i : indexes) {
      const Slot& slot = other.slots_[i];
      const std::size_t at = Upsert(KeyOfSlot(slot), slot.meta / kOne);
      if (files_ != nullptr) files_[at] += other.files_[i];
    }
  }
  other = WordCounter();
}

namespace {

// A word with the key it is ordered by: its count, then the first 8 of its
// characters' places in ordinal UTF-16 order, big-endian, so that most ties in
// count are settled without reading the word.
struct RankedWord {
  std::uint64_t count;
  std::uint64_t prefix;
  std::string_view word;
};

// The same with a figure that travels with the word.
struct RankedWordWithFiles : RankedWord {
  std::uint64_t files;
};

// Merges the sorted runs `a` and `b` into `words`, and their figures into `files`
// when the words carry them; cut into `pieces` that are merged each on a thread of
// its own. The words are distinct, so where a piece starts in each run is found by
// a binary search.
template <typename Ranked, typename Less>
void MergeInto(std::span<const Ranked> a, std::span<const Ranked> b, std::size_t pieces,
               const Less& less, std::vector<CountedWord>& words,
               std::vector<std::uint64_t>* files) {
  const std::size_t total = a.size() + b.size();
  words.resize(total);
  if constexpr (std::is_same_v<Ranked, RankedWordWithFiles>) files->resize(total);
  // How many of the first `done` merged words come from `a`.
  const auto from_a = [&](std::size_t done) {
    std::size_t low = done > b.size() ? done - b.size() : 0;
    std::size_t high = std::min(done, a.size());
    while (low < high) {
      const std::size_t taken = low + (high - low) / 2;
      if (less(b[done - taken - 1], a[taken])) {
        high = taken;
      } else {
        low = taken + 1;
      }
    }
    return low;
  };
  ForEachPart(pieces, [&](std::size_t piece) {
    const std::size_t first = total * piece / pieces;
    std::size_t i = from_a(first);
    std::size_t j = first - i;
    for (std::size_t at = first; at < total * (piece + 1) / pieces; ++at) {
      const bool take_a = j == b.size() || (i < a.size() && !less(b[j], a[i]));
      const Ranked& word = take_a ? a[i++] : b[j++];
      words[at] = {word.word, word.count};
      if constexpr (std::is_same_v<Ranked, RankedWordWithFiles>) (*files)[at] = word.files;
    }
  });
}

// Sorts each stretch [offsets[part], offsets[part + 1]) of `ranked` on a thread of
// its own, merges pairs of sorted runs until two are left, and merges those two on
// every thread into `words` (and `files`).
template <typename Ranked, typename Less>
void SortAndMerge(Ranked* ranked, const std::vector<std::size_t>& offsets, const Less& less,
                  std::vector<CountedWord>& words, std::vector<std::uint64_t>* files) {
  const std::size_t parts = offsets.size() - 1;
  ForEachPart(parts, [&](std::size_t part) {
    std::sort(ranked + offsets[part], ranked + offsets[part + 1], less);
  });
  std::size_t width = 1;
  for (; (parts + width - 1) / width > 2; width *= 2) {
    ForEachPart((parts + 2 * width - 1) / (2 * width), [&](std::size_t pair) {
      const std::size_t first = pair * 2 * width;
      const std::size_t middle = std::min(first + width, parts);
      const std::size_t last = std::min(first + 2 * width, parts);
      std::inplace_merge(ranked + offsets[first], ranked + offsets[middle], ranked + offsets[last],
                         less);
    });
  }
  const std::size_t middle = offsets[std::min(width, parts)];
  MergeInto<Ranked>(std::span<const Ranked>(ranked, middle),
                    std::span<const Ranked>(ranked + middle, offsets.back() - middle), parts, less,
                    words, files);
}

// Ranks the words, `fill(part, out)` putting a part's ranked words at `out`, from
// offsets[part] on, each part on a thread of its own; calls `filled()`; orders them
// least frequent first, ties in ordinal UTF-16 order, into `words` and their figures
// into `files` when the words carry them. Checks `cancel` every few thousand
// comparisons and throws OrderingCancelled once it is set.
template <typename Ranked, typename Fill, typename Filled>
void RankAndOrder(const std::vector<std::size_t>& offsets, const Fill& fill, const Filled& filled,
                  WordEncoding encoding, const std::atomic<bool>* cancel,
                  std::vector<CountedWord>& words, std::vector<std::uint64_t>* files) {
  // Mapped in one call: cleared by writing on one thread, it took a tenth of the
  // ordering of millions of words.
  const std::unique_ptr<Ranked[], FreeMemory> ranked(static_cast<Ranked*>(
      AllocateCleared(std::max<std::size_t>(offsets.back(), 1) * sizeof(Ranked))));
  if (ranked == nullptr) throw std::bad_alloc();
  ForEachPart(offsets.size() - 1,
              [&](std::size_t part) { fill(part, ranked.get() + offsets[part]); });
  filled();
  const auto full_less = encoding == WordEncoding::kUtf8 ? Utf8Utf16Less : Utf16OrdinalLess;
  const auto by_count_then_word = [full_less](const RankedWord& a, const RankedWord& b) {
    if (a.count != b.count) return a.count < b.count;
    if (a.prefix != b.prefix) return a.prefix < b.prefix;
    return full_less(a.word, b.word);
  };
  if (cancel == nullptr) {
    SortAndMerge(ranked.get(), offsets, by_count_then_word, words, files);
  } else {
    // Millions of words take a good part of a second to order: look at the flag
    // every few thousand comparisons, so that a cancel is seen at once.
    const auto checked = [&by_count_then_word, cancel](const RankedWord& a, const RankedWord& b) {
      thread_local std::uint32_t comparisons = 0;
      if (++comparisons % 4096 == 0 && cancel->load(std::memory_order_relaxed)) {
        throw OrderingCancelled{};
      }
      return by_count_then_word(a, b);
    };
    SortAndMerge(ranked.get(), offsets, checked, words, files);
  }
}

}  // namespace

std::vector<CountedWord> WordCounter::TakeOrdered(WordArena& storage, WordEncoding encoding,
                                                  const std::atomic<bool>* cancel, unsigned threads,
                                                  std::vector<std::uint64_t>* files) && {
  EndFile();
  const bool with_files = files != nullptr && files_ != nullptr;
  // The table is cut into stretches of slots, one a thread, which each rank their
  // words, copy the short ones into an arena of their own and sort them.
  const std::size_t capacity = size_ == 0 ? 0 : mask_ + 1;
  const std::size_t parts = PartsFor(size_, threads);
  const auto first_slot = [&](std::size_t part) { return capacity * part / parts; };
  std::vector<std::size_t> offsets(parts + 1, 0);
  ForEachPart(parts, [&](std::size_t part) {
    std::size_t used = 0;
    for (std::size_t i = first_slot(part); i < first_slot(part + 1); ++i) {
      used += slots_[i].meta != 0 ? 1 : 0;
    }
    offsets[part + 1] = used;
  });
  for (std::size_t part = 0; part < parts; ++part) offsets[part + 1] += offsets[part];
  std::vector<WordArena> arenas(parts);
  const auto fill = [&](std::size_t part, auto* out) {
    WordArena& arena = arenas[part];
    for (std::size_t i = first_slot(part); i < first_slot(part + 1); ++i) {
      const Slot& slot = slots_[i];
      if (slot.meta == 0) continue;
      const auto length = static_cast<std::size_t>(slot.meta & 0xFF);
      std::string_view word;
      if (length == kLongLength) {
        word = std::string_view(reinterpret_cast<const char*>(slot.head), slot.tail);
      } else {
        char bytes[16];
        std::memcpy(bytes, &slot.head, 8);
        std::memcpy(bytes + 8, &slot.tail, 8);
        word = arena.StoreShort(bytes, length);
      }
      out->count = slot.meta / kOne;
      out->prefix = OrdinalPrefix(word, encoding);
      out->word = word;
      if constexpr (std::is_same_v<std::remove_pointer_t<decltype(out)>, RankedWordWithFiles>) {
        out->files = files_[i];
      }
      ++out;
    }
  };
  // The table goes once its words are ranked, which keeps the peak of memory down.
  const auto filled = [&] {
    for (WordArena& arena : arenas) storage.Absorb(std::move(arena));
    storage.Absorb(std::move(arena_));
    *this = WordCounter();
  };
  std::vector<CountedWord> words;
  if (with_files) {
    RankAndOrder<RankedWordWithFiles>(offsets, fill, filled, encoding, cancel, words, files);
  } else {
    RankAndOrder<RankedWord>(offsets, fill, filled, encoding, cancel, words, nullptr);
  }
  return words;
}

void OrderByCountThenWord(std::vector<CountedWord>& words, WordEncoding encoding,
                          const std::atomic<bool>* cancel, unsigned threads,
                          std::vector<std::uint64_t>* files) {
  const std::size_t parts = PartsFor(words.size(), threads);
  std::vector<std::size_t> offsets(parts + 1);
  for (std::size_t part = 0; part <= parts; ++part) offsets[part] = words.size() * part / parts;
  const auto fill = [&](std::size_t part, auto* out) {
    for (std::size_t i = offsets[part]; i < offsets[part + 1]; ++i, ++out) {
      out->count = words[i].count;
      out->prefix = OrdinalPrefix(words[i].word, encoding);
      out->word = words[i].word;
      if constexpr (std::is_same_v<std::remove_pointer_t<decltype(out)>, RankedWordWithFiles>) {
        out->files = (*files)[i];
      }
    }
  };
  // The ranked words are copies: the merge may write over `words` and `files`.
  const auto filled = [] {};
  if (files != nullptr) {
    RankAndOrder<RankedWordWithFiles>(offsets, fill, filled, encoding, cancel, words, files);
  } else {
    RankAndOrder<RankedWord>(offsets, fill, filled, encoding, cancel, words, nullptr);
  }
}

}  // namespace lintavel
