#include "engine/word_counter.h"

#include <algorithm>
#include <bit>
#include <exception>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>
#include <utility>

#include "engine/code_page.h"
#include "engine/squeeze.h"

#include <emmintrin.h>

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
  return *this;
}

namespace {

// Bit i set where byte i of the 64 at `p` is a blank or a line end.
std::uint64_t SeparatorMask(const char* p) {
  std::uint64_t mask = 0;
  for (unsigned i = 0; i < 64; i += 16) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
    const __m128i separators = _mm_or_si128(_mm_cmpeq_epi8(v, _mm_set1_epi8(' ')),
                                            _mm_or_si128(_mm_cmpeq_epi8(v, _mm_set1_epi8('\n')),
                                                         _mm_cmpeq_epi8(v, _mm_set1_epi8('\r'))));
    mask |= static_cast<std::uint64_t>(static_cast<std::uint16_t>(_mm_movemask_epi8(separators)))
            << i;
  }
  return mask;
}

// `bytes` of zeros from malloc, or nullptr. Cleared by writing rather than taken as
// calloc's zero pages: a zero page that is read (a probe) and then written faults
// twice, and the second fault flushes every core's TLB, which costs tens of
// microseconds a page on a virtual machine.
void* AllocateCleared(std::size_t bytes) {
  void* memory = std::malloc(bytes);
  if (memory == nullptr) return nullptr;
  // Keeps the compiler from folding malloc and memset back into calloc.
  asm volatile("" : : "r"(memory) : "memory");
  std::memset(memory, 0, bytes);
  return memory;
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
  // Bit i of `starts` marks a word byte after a separator, bit i of `ends` a
  // separator after a word byte; a word that runs on across 64 bytes is `open`.
  // The first `open_bytes` are one word that runs on: they are not looked at again.
  const char* open = open_bytes != 0 ? text : nullptr;
  std::uint64_t last_was_word = open_bytes != 0 ? 1 : 0;
  std::size_t done = size;
  for (std::size_t base = open_bytes; base < size; base += 64) {
    const char* const p = text + base;
    const std::uint64_t separators = SeparatorMask(p);
    const std::uint64_t in_word = ~separators;
    const std::uint64_t before_word = (in_word << 1) | last_was_word;
    std::uint64_t starts = in_word & ~before_word;
    std::uint64_t ends = separators & before_word;
    last_was_word = in_word >> 63;
    if (open != nullptr) {
      if (ends == 0) continue;
      const int e = std::countr_zero(ends);
      ends &= ends - 1;
      if (!last && base + static_cast<std::size_t>(e) == size) {
        done = static_cast<std::size_t>(open - text);
        open = nullptr;
        break;
      }
      count(open, p + e);
      open = nullptr;
    }
    while (ends != 0) {
      const int s = std::countr_zero(starts);
      const int e = std::countr_zero(ends);
      starts &= starts - 1;
      ends &= ends - 1;
      if (!last && base + static_cast<std::size_t>(e) == size) {
        done = base + static_cast<std::size_t>(s);
        break;
      }
      count(p + s, p + e);
    }
    if (starts != 0) open = p + std::countr_zero(starts);
  }
  if (open != nullptr) {
    if (last) {
      count(open, text + size);
    } else {
      done = static_cast<std::size_t>(open - text);
    }
  }
  for (int i = 0; i < queued; ++i) Insert(batch[i], 1);
  return done;
}

void WordCounter::Allocate(std::size_t capacity) {
  auto* table = static_cast<Slot*>(AllocateCleared(capacity * sizeof(Slot)));
  if (table == nullptr) throw std::bad_alloc();
  std::unique_ptr<Slot[], FreeSlots> slots(table);
  if (count_files_) {
    auto* files = static_cast<std::uint64_t*>(AllocateCleared(capacity * sizeof(std::uint64_t)));
    if (files == nullptr) throw std::bad_alloc();
    std::unique_ptr<std::uint64_t[], FreeSlots> owned(files);
    auto* seen =
        static_cast<std::uint64_t*>(AllocateCleared(capacity / 64 * sizeof(std::uint64_t)));
    if (seen == nullptr) throw std::bad_alloc();
    std::unique_ptr<std::uint64_t[], FreeSlots> owned_seen(seen);
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
  std::unique_ptr<Slot[], FreeSlots> old = std::move(slots_);
  // The words seen so far in the current file are counted now, and stay marked.
  if (files_ != nullptr) {
    for (std::size_t i = 0; i < seen_count_; ++i) ++files_[seen_list_[i]];
    seen_count_ = 0;
  }
  std::unique_ptr<std::uint64_t[], FreeSlots> old_files = std::move(files_);
  std::unique_ptr<std::uint64_t[], FreeSlots> old_seen = std::move(seen_);
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
    Grow();
    index = IndexOf(key.hash);
    while (slots_[index].meta != 0) index = (index + 1) & mask_;
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

void WordCounter::MergeFrom(WordCounter&& other) {
  EndFile();
  other.EndFile();
  if (other.size_ > size_) std::swap(*this, other);
  if (other.size_ == 0) return;
  constexpr std::size_t kBatch = 16;
  Key batch[kBatch];
  std::uint64_t counts[kBatch];
  std::uint64_t files[kBatch];
  std::size_t queued = 0;
  const auto flush = [&] {
    for (std::size_t i = 0; i < queued; ++i) {
      const std::size_t at = Upsert(batch[i], counts[i]);
      if (files_ != nullptr) files_[at] += files[i];
    }
    queued = 0;
  };
  for (std::size_t i = 0; i <= other.mask_; ++i) {
    const Slot& slot = other.slots_[i];
    if (slot.meta == 0) continue;
    batch[queued] = KeyOfSlot(slot);
    counts[queued] = slot.meta / kOne;
    files[queued] = other.files_ != nullptr ? other.files_[i] : 0;
    Prefetch(batch[queued]);
    if (++queued == kBatch) flush();
  }
  flush();
  other = WordCounter();
}

std::vector<CountedWord> WordCounter::TakeOrdered(WordArena& storage, WordEncoding encoding,
                                                  const std::atomic<bool>* cancel, unsigned threads,
                                                  std::vector<std::uint64_t>* files) && {
  std::vector<CountedWord> words;
  words.reserve(size_);
  EndFile();
  const bool with_files = files != nullptr && files_ != nullptr;
  if (with_files) {
    files->clear();
    files->reserve(size_);
  }
  for (std::size_t i = 0; i < mask_ + 1 && size_ != 0; ++i) {
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
      word = storage.Store(std::string_view(bytes, length));
    }
    words.push_back({word, slot.meta / kOne});
    if (with_files) files->push_back(files_[i]);
  }
  storage.Absorb(std::move(arena_));
  *this = WordCounter();
  OrderByCountThenWord(words, encoding, cancel, threads, with_files ? files : nullptr);
  return words;
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

// Windows-1252: each byte's place in UTF-16 order. UTF-8: the bytes themselves,
// which order as code points, except that the leads of U+E000 to U+FFFF (0xEE,
// 0xEF) move above those of the characters beyond U+FFFF (0xF0 to 0xF4), whose
// surrogates sort before them; a prefix that differs then decides as UTF-16 does.
std::uint64_t PrefixOf(std::string_view word, WordEncoding encoding) {
  std::uint64_t prefix = 0;
  const std::size_t n = std::min<std::size_t>(word.size(), 8);
  for (std::size_t i = 0; i < 8; ++i) {
    std::uint64_t place = 0;
    if (i < n) {
      const auto byte = static_cast<unsigned char>(word[i]);
      if (encoding == WordEncoding::kCp1252) {
        place = kUtf16OrderRank[byte];
      } else {
        place = byte == 0xEE ? 0xF5 : byte == 0xEF ? 0xF6 : byte;
      }
    }
    prefix = prefix << 8 | place;
  }
  return prefix;
}

template <typename Ranked, typename Less>
void SortInParallel(Ranked* begin, Ranked* end, unsigned threads, const Less& less) {
  constexpr std::ptrdiff_t kWorthAThread = 1 << 15;
  if (threads < 2 || end - begin < kWorthAThread) {
    std::sort(begin, end, less);
    return;
  }
  Ranked* middle = begin + (end - begin) / 2;
  std::exception_ptr failure;
  std::thread left;
  try {
    left = std::thread([&] {
      try {
        SortInParallel(begin, middle, threads / 2, less);
      } catch (...) {
        failure = std::current_exception();
      }
    });
  } catch (const std::system_error&) {
    std::sort(begin, end, less);
    return;
  }
  try {
    SortInParallel(middle, end, threads - threads / 2, less);
  } catch (...) {
    left.join();
    throw;
  }
  left.join();
  if (failure != nullptr) std::rethrow_exception(failure);
  std::inplace_merge(begin, middle, end, less);
}

// Sorts `ranked` least frequent first, ties in ordinal UTF-16 order.
template <typename Ranked>
void SortRanked(std::vector<Ranked>& ranked, WordEncoding encoding, const std::atomic<bool>* cancel,
                unsigned threads) {
  const auto full_less = encoding == WordEncoding::kUtf8 ? Utf8Utf16Less : Utf16OrdinalLess;
  const auto by_count_then_word = [full_less](const RankedWord& a, const RankedWord& b) {
    if (a.count != b.count) return a.count < b.count;
    if (a.prefix != b.prefix) return a.prefix < b.prefix;
    return full_less(a.word, b.word);
  };
  if (cancel == nullptr) {
    SortInParallel(ranked.data(), ranked.data() + ranked.size(), threads, by_count_then_word);
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
    SortInParallel(ranked.data(), ranked.data() + ranked.size(), threads, checked);
  }
}

}  // namespace

void OrderByCountThenWord(std::vector<CountedWord>& words, WordEncoding encoding,
                          const std::atomic<bool>* cancel, unsigned threads,
                          std::vector<std::uint64_t>* files) {
  if (files != nullptr) {
    std::vector<RankedWordWithFiles> ranked;
    ranked.reserve(words.size());
    for (std::size_t i = 0; i < words.size(); ++i) {
      ranked.push_back(
          {{words[i].count, PrefixOf(words[i].word, encoding), words[i].word}, (*files)[i]});
    }
    SortRanked(ranked, encoding, cancel, threads);
    for (std::size_t i = 0; i < ranked.size(); ++i) {
      words[i] = {ranked[i].word, ranked[i].count};
      (*files)[i] = ranked[i].files;
    }
    return;
  }
  std::vector<RankedWord> ranked;
  ranked.reserve(words.size());
  for (const CountedWord& word : words) {
    ranked.push_back({word.count, PrefixOf(word.word, encoding), word.word});
  }
  SortRanked(ranked, encoding, cancel, threads);
  for (std::size_t i = 0; i < ranked.size(); ++i) words[i] = {ranked[i].word, ranked[i].count};
}

}  // namespace lintavel
