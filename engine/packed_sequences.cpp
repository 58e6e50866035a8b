#include "engine/packed_sequences.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <string>
#include <utility>

#include "engine/cleared_memory.h"
#include "engine/code_page.h"
#include "engine/for_each_part.h"

namespace lintavel {

namespace {

// A sequence as the places of its words, packed first word highest, and its count.
struct Item {
  std::uint64_t key;
  std::uint64_t count;
};

void CheckCancel(const std::atomic<bool>* cancel) {
  if (cancel != nullptr && cancel->load(std::memory_order_relaxed)) throw OrderingCancelled{};
}

constexpr int kDigit = 11;
constexpr std::size_t kDigits = std::size_t{1} << kDigit;

// Sorts `items` stably by the low `bits` bits of field(item), 11 bits a pass, least
// significant first, through `scratch` (as long), every pass's digits counted in
// one read; returns the one of the two where the sorted items end.
template <class Field>
Item* SortByDigits(Item* items, Item* scratch, std::size_t size, int bits, const Field& field,
                   const std::atomic<bool>* cancel) {
  const int passes = (bits + kDigit - 1) / kDigit;
  std::vector<std::array<std::size_t, kDigits>> at(static_cast<std::size_t>(passes));
  for (auto& counts : at) counts.fill(0);
  for (std::size_t i = 0; i < size; ++i) {
    for (int pass = 0; pass < passes; ++pass) {
      ++at[static_cast<std::size_t>(pass)][(field(items[i]) >> (pass * kDigit)) & (kDigits - 1)];
    }
  }
  Item* from = items;
  Item* to = scratch;
  for (int pass = 0; pass < passes; ++pass) {
    CheckCancel(cancel);
    auto& counts = at[static_cast<std::size_t>(pass)];
    // A digit that all items share leaves their order as it is.
    if (std::find(counts.begin(), counts.end(), size) != counts.end()) continue;
    std::size_t sum = 0;
    for (std::size_t& slot : counts) sum += std::exchange(slot, sum);
    for (std::size_t i = 0; i < size; ++i) {
      to[counts[(field(from[i]) >> (pass * kDigit)) & (kDigits - 1)]++] = from[i];
    }
    std::swap(from, to);
  }
  return from;
}

// Sorts `items` (`size` of them) by the low `bits` bits of their keys, the bits above
// being equal, through `scratch` (as long); not stably: equal keys are summed after.
// The top digit spreads the items into ranges of keys small enough for the cache,
// each of which is then sorted there by its lower digits: sorting 25 million items
// digit by digit over the whole array read and wrote them from memory four times.
// The ranges are sorted on `threads` threads, cut where they hold equal shares of
// the items.
void SortByKey(Item* items, Item* scratch, std::size_t size, int bits,
               const std::atomic<bool>* cancel, unsigned threads = 1) {
  constexpr std::size_t kCachedItems = std::size_t{1} << 15;
  const auto by_key = [](const Item& a, const Item& b) { return a.key < b.key; };
  if (size < 2 || bits <= 0) return;
  if (size <= 256) {
    std::sort(items, items + size, by_key);
    return;
  }
  if (size <= kCachedItems || bits <= kDigit) {
    // Within the cache.
    const Item* sorted = SortByDigits(
        items, scratch, size, bits, [](const Item& item) { return item.key; }, cancel);
    if (sorted != items) std::copy(sorted, sorted + size, items);
    return;
  }
  CheckCancel(cancel);
  threads = std::max(threads, 1U);
  const int shift = bits - kDigit;
  const auto top = [shift](const Item& item) { return (item.key >> shift) & (kDigits - 1); };
  // Counted and spread by the top digit on every thread, each a stretch of the items.
  const auto stretch = [&](std::size_t part) { return size * part / threads; };
  std::vector<std::array<std::size_t, kDigits>> next(threads);
  ForEachPart(threads, [&](std::size_t part) {
    next[part].fill(0);
    for (std::size_t i = stretch(part); i < stretch(part + 1); ++i) ++next[part][top(items[i])];
  });
  std::array<std::size_t, kDigits + 1> at{};
  for (std::size_t digit = 0; digit < kDigits; ++digit) {
    for (std::size_t part = 0; part < threads; ++part) at[digit + 1] += next[part][digit];
  }
  if (std::find(at.begin(), at.end(), size) != at.end()) {
    SortByKey(items, scratch, size, shift, cancel, threads);
    return;
  }
  std::size_t sum = 0;
  for (std::size_t digit = 0; digit < kDigits; ++digit) {
    at[digit] = sum;
    for (std::size_t part = 0; part < threads; ++part) sum += std::exchange(next[part][digit], sum);
  }
  at[kDigits] = sum;
  ForEachPart(threads, [&](std::size_t part) {
    for (std::size_t i = stretch(part); i < stretch(part + 1); ++i) {
      scratch[next[part][top(items[i])]++] = items[i];
    }
  });
  std::vector<std::size_t> cuts(threads + 1, kDigits);
  cuts[0] = 0;
  for (std::size_t part = 1, digit = 0; part < threads; ++part) {
    while (digit < kDigits && at[digit] < size * part / threads) ++digit;
    cuts[part] = digit;
  }
  ForEachPart(threads, [&](std::size_t part) {
    for (std::size_t digit = cuts[part]; digit < cuts[part + 1]; ++digit) {
      const std::size_t first = at[digit];
      const std::size_t count = at[digit + 1] - first;
      if (count == 0) continue;
      SortByKey(scratch + first, items + first, count, shift, cancel);
      std::copy(scratch + first, scratch + first + count, items + first);
    }
  });
}

// Cuts `size` items sorted by key into `parts` near-equal ranges, none splitting
// the items of one key: the parts + 1 bounds.
std::vector<std::size_t> CutBetweenKeys(const Item* items, std::size_t size, std::size_t parts) {
  std::vector<std::size_t> cuts(parts + 1, size);
  cuts[0] = 0;
  for (std::size_t part = 1; part < parts; ++part) {
    std::size_t at = std::max(cuts[part - 1], size * part / parts);
    while (at > cuts[part - 1] && at < size && items[at].key == items[at - 1].key) ++at;
    cuts[part] = at;
  }
  return cuts;
}

// Sums the counts of equal keys in `items`, sorted by key, and orders what is left
// stably by count into `out`; returns how many are left. Each thread takes a range
// of keys: sums them in place, then spreads them by count in one pass, the counts
// below 2^16 each to its own place, the few above after them, sorted there.
std::size_t SumAndOrderByCount(Item* items, std::size_t size, Item* out, unsigned threads,
                               const std::atomic<bool>* cancel) {
  constexpr std::size_t kExact = std::size_t{1} << 16;
  const std::size_t parts = size < kExact ? 1 : std::max(threads, 1U);
  const std::vector<std::size_t> cuts = CutBetweenKeys(items, size, parts);
  std::vector<std::size_t> kept(parts);
  std::vector<std::vector<std::size_t>> at(parts, std::vector<std::size_t>(kExact + 1, 0));
  const auto digit = [](const Item& item) { return item.count < kExact ? item.count : kExact; };
  ForEachPart(parts, [&](std::size_t part) {
    Item* const first = items + cuts[part];
    std::size_t distinct = 0;
    for (std::size_t i = 0; i < cuts[part + 1] - cuts[part]; ++i) {
      if (distinct != 0 && first[distinct - 1].key == first[i].key) {
        first[distinct - 1].count += first[i].count;
      } else {
        first[distinct++] = first[i];
      }
    }
    kept[part] = distinct;
    for (std::size_t i = 0; i < distinct; ++i) ++at[part][digit(first[i])];
  });
  CheckCancel(cancel);
  std::size_t sum = 0;
  for (std::size_t d = 0; d <= kExact; ++d) {
    for (std::size_t part = 0; part < parts; ++part) sum += std::exchange(at[part][d], sum);
  }
  ForEachPart(parts, [&](std::size_t part) {
    const Item* const first = items + cuts[part];
    for (std::size_t i = 0; i < kept[part]; ++i) out[at[part][digit(first[i])]++] = first[i];
  });
  const std::size_t tail = at[parts - 1][kExact - 1];
  std::stable_sort(out + tail, out + sum,
                   [](const Item& a, const Item& b) { return a.count < b.count; });
  return sum;
}

}  // namespace

bool PackedSequences::Less(std::uint64_t prefix_a, std::string_view a, std::uint64_t prefix_b,
                           std::string_view b) const {
  if (prefix_a != prefix_b) return prefix_a < prefix_b;
  return encoding_ == WordEncoding::kUtf8 ? Utf8Utf16Less(a, b) : Utf16OrdinalLess(a, b);
}

bool PackedSequences::Rank(std::span<const WordNumbers* const> numbers, WordEncoding encoding,
                           unsigned longest) {
  encoding_ = encoding;
  longest_ = longest;
  const std::size_t parts = numbers.size();
  // Every thread's words in one index: a thread's word numbered n at its first
  // index + n (its first index unused).
  first_index_.assign(parts + 1, 0);
  for (std::size_t part = 0; part < parts; ++part) {
    first_index_[part + 1] = first_index_[part] + numbers[part]->size() + 1;
  }
  const std::size_t indexes = first_index_.back();
  const std::size_t total = indexes - parts;
  if (indexes >= (std::uint64_t{1} << 32)) return false;
  // Looked up at random (the places and short words, for every sequence), or large:
  // in huge pages, a lookup is seldom also a miss of the address translation's cache.
  const auto reserve_huge = [](auto& vector, std::size_t size) {
    vector.reserve(size);
    AdviseHugePages(vector.data(), size * sizeof vector[0]);
  };
  std::vector<std::string_view> by_index;
  reserve_huge(by_index, indexes);
  by_index.resize(indexes);
  // The words are radix-sorted by their prefixes, each an item holding its index
  // and length (up to 255); only the words longer than a prefix are compared.
  auto sorted = std::make_unique_for_overwrite<Item[]>(std::max<std::size_t>(total, 1));
  std::atomic<bool> unsortable = false;
  const bool utf8 = encoding == WordEncoding::kUtf8;
  ForEachPart(parts, [&](std::size_t part) {
    Item* out = sorted.get() + first_index_[part] - part;
    numbers[part]->ForEachWord([&](std::uint64_t number, std::string_view word) {
      const std::size_t index = first_index_[part] + number;
      for (const char c : word) {
        const auto byte = static_cast<unsigned char>(c);
        // A character below '!' could sort below the blank that joins the words; a
        // byte no UTF-8 text holds could share its prefix's place with another.
        if (byte < 0x21 || (utf8 && (byte == 0xF5 || byte == 0xF6))) {
          unsortable.store(true, std::memory_order_relaxed);
        }
      }
      by_index[index] = word;
      *out++ = {OrdinalPrefix(word, encoding), index | std::min<std::uint64_t>(word.size(), 255)
                                                           << 32};
    });
  });
  if (unsortable) return false;
  {
    auto scratch = std::make_unique_for_overwrite<Item[]>(std::max<std::size_t>(total, 1));
    SortByKey(sorted.get(), scratch.get(), total, 64, nullptr, static_cast<unsigned>(parts));
  }
  constexpr std::uint64_t kIndex = 0xFFFFFFFF;
  const auto length = [](const Item& item) { return item.count >> 32; };
  const auto word_of = [&](const Item& item) { return by_index[item.count & kIndex]; };
  // Of two words with one prefix, one of at most 8 bytes is the prefix itself.
  const auto tie_less = [&](const Item& a, const Item& b) {
    if (length(a) <= 8 || length(b) <= 8) return length(a) < length(b);
    return Less(a.key, word_of(a), b.key, word_of(b));
  };
  const auto same = [&](const Item& a, const Item& b) {
    if (a.key != b.key) return false;
    if (length(a) <= 8 || length(b) <= 8) return length(a) == length(b);
    return word_of(a) == word_of(b);
  };
  // Cut where the prefix changes, each part ranked on a thread of its own: the ties
  // sorted, the distinct words counted, then placed after those of the parts before.
  const std::vector<std::size_t> cuts = CutBetweenKeys(sorted.get(), total, parts);
  std::vector<std::size_t> first_place(parts + 1, 1);
  ForEachPart(parts, [&](std::size_t part) {
    std::size_t distinct = 0;
    for (std::size_t i = cuts[part]; i < cuts[part + 1];) {
      std::size_t j = i + 1;
      while (j < cuts[part + 1] && sorted[j].key == sorted[i].key) ++j;
      if (j - i > 1) std::sort(sorted.get() + i, sorted.get() + j, tie_less);
      for (std::size_t k = i; k < j; ++k) distinct += k == i || !same(sorted[k - 1], sorted[k]);
      i = j;
    }
    first_place[part + 1] = distinct;
  });
  for (std::size_t part = 0; part < parts; ++part) first_place[part + 1] += first_place[part];
  const std::size_t places = first_place.back();
  reserve_huge(places_, indexes);
  places_.resize(indexes);
  words_.resize(places);
  prefixes_.resize(places);
  reserve_huge(short_words_, places);
  short_words_.resize(places);
  constexpr std::size_t kAhead = 16;
  ForEachPart(parts, [&](std::size_t part) {
    std::size_t place = first_place[part] - 1;
    for (std::size_t i = cuts[part]; i < cuts[part + 1]; ++i) {
      // The word views and places lie anywhere: asked for some items ahead.
      if (i + kAhead < cuts[part + 1]) {
        __builtin_prefetch(&by_index[sorted[i + kAhead].count & kIndex]);
        __builtin_prefetch(&places_[sorted[i + kAhead].count & kIndex], 1);
      }
      if (i + kAhead / 2 < cuts[part + 1])
        __builtin_prefetch(word_of(sorted[i + kAhead / 2]).data());
      if (i == cuts[part] || !same(sorted[i - 1], sorted[i])) {
        ++place;
        const std::string_view word = word_of(sorted[i]);
        words_[place] = word;
        prefixes_[place] = sorted[i].key;
        ShortWord& copy = short_words_[place];
        const bool fits = word.size() < sizeof copy.bytes;
        if (fits) std::memcpy(copy.bytes, word.data(), word.size());
        copy.bytes[sizeof copy.bytes - 1] =
            static_cast<char>(fits ? static_cast<unsigned char>(word.size()) : kLongWord);
      }
      places_[sorted[i].count & kIndex] = static_cast<std::uint32_t>(place);
    }
  });
  bits_ = std::max(1, static_cast<int>(std::bit_width(places - 1)));
  return static_cast<unsigned>(bits_) * longest <= 64;
}

void PackedSequences::AddTables(WordNumbers&& numbers, PairCounts&& pairs, TripleCounts&& triples) {
  tables_.push_back({std::move(numbers), std::move(pairs), std::move(triples)});
}

std::uint64_t PackedSequences::PlaceOf(std::string_view word) const {
  const std::uint64_t prefix = OrdinalPrefix(word, encoding_);
  std::size_t low = 1;
  std::size_t high = words_.size();
  while (low < high) {
    const std::size_t middle = low + (high - low) / 2;
    if (Less(prefixes_[middle], words_[middle], prefix, word)) {
      low = middle + 1;
    } else {
      high = middle;
    }
  }
  if (low == words_.size() || words_[low] != word) {
    throw std::logic_error("a sequence holds a word that no thread numbered");
  }
  return low;
}

std::vector<CountedWord> PackedSequences::TakeOrdered(const WordCounter& others, WordArena& storage,
                                                      const std::atomic<bool>* cancel,
                                                      unsigned threads) {
  std::size_t upper = others.distinct();
  for (const Tables& tables : tables_) upper += tables.pairs.size() + tables.triples.size();
  auto items = std::make_unique_for_overwrite<Item[]>(std::max<std::size_t>(upper, 1));
  AdviseHugePages(items.get(), upper * sizeof(Item));
  const auto shift = [this](unsigned i) { return bits_ * static_cast<int>(longest_ - 1 - i); };
  constexpr std::uint64_t kPairMask = (std::uint64_t{1} << kPairBits) - 1;
  constexpr std::uint64_t kTripleMask = (std::uint64_t{1} << kTripleBits) - 1;
  // The keys are copied first and placed after, the places of a key some way ahead
  // asked for meanwhile: they lie anywhere in the thread's numbering.
  constexpr std::size_t kAhead = 16;
  const auto place_all = [&](std::size_t from, std::size_t to, const std::uint32_t* place,
                             auto&& fields) {
    for (std::size_t i = from; i < to; ++i) {
      if (i + kAhead < to) {
        fields(items[i + kAhead].key,
               [&](unsigned, std::uint64_t number) { __builtin_prefetch(&place[number]); });
      }
      std::uint64_t key = 0;
      fields(items[i].key, [&](unsigned k, std::uint64_t number) {
        key |= std::uint64_t{place[number]} << shift(k);
      });
      items[i].key = key;
    }
  };
  // Each thread's tables on a thread of their own, into their own stretch.
  std::vector<std::size_t> starts(tables_.size() + 1, 0);
  for (std::size_t part = 0; part < tables_.size(); ++part) {
    starts[part + 1] = starts[part] + tables_[part].pairs.size() + tables_[part].triples.size();
  }
  ForEachPart(tables_.size(), [&](std::size_t part) {
    // Indexed by the thread's word numbers, from 1.
    const std::uint32_t* const place = places_.data() + first_index_[part];
    std::size_t size = starts[part];
    tables_[part].pairs.Drain([&](std::uint64_t key, std::uint64_t count) {
      items[size++] = {key, count};
    });
    place_all(starts[part], size, place, [](std::uint64_t key, auto&& on_number) {
      on_number(0, key >> kPairBits);
      on_number(1, key & kPairMask);
    });
    const std::size_t from = size;
    tables_[part].triples.Drain([&](std::uint64_t key, std::uint64_t count) {
      items[size++] = {key, count};
    });
    place_all(from, size, place, [](std::uint64_t key, auto&& on_number) {
      on_number(0, key >> (2 * kTripleBits));
      on_number(1, (key >> kTripleBits) & kTripleMask);
      on_number(2, key & kTripleMask);
    });
  });
  std::size_t size = starts.back();
  others.ForEachWord([&](std::string_view joined, std::uint64_t count) {
    std::uint64_t key = 0;
    unsigned i = 0;
    for (std::size_t from = 0; from <= joined.size(); ++i) {
      const std::size_t blank = std::min(joined.find(' ', from), joined.size());
      if (i >= longest_) throw std::logic_error("a sequence longer than those counted");
      key |= PlaceOf(joined.substr(from, blank - from)) << shift(i);
      from = blank + 1;
    }
    items[size++] = {key, count};
  });
  places_.clear();
  auto scratch = std::make_unique_for_overwrite<Item[]>(std::max<std::size_t>(size, 1));
  AdviseHugePages(scratch.get(), size * sizeof(Item));
  SortByKey(items.get(), scratch.get(), size, bits_ * static_cast<int>(longest_), cancel, threads);
  // A sequence that several threads counted, or that crossed blocks, is one.
  const std::size_t distinct =
      SumAndOrderByCount(items.get(), size, scratch.get(), threads, cancel);
  std::swap(items, scratch);
  scratch.reset();

  // Joined on every thread, each into its own stretch of the list and its own arena.
  std::vector<CountedWord> words;
  words.reserve(distinct);
  AdviseHugePages(words.data(), distinct * sizeof(CountedWord));
  words.resize(distinct);
  const std::size_t parts = distinct < (std::size_t{1} << 16) ? 1 : std::max(threads, 1U);
  std::vector<WordArena> arenas(parts);
  const std::uint64_t mask = (std::uint64_t{1} << bits_) - 1;
  ForEachPart(parts, [&](std::size_t part) {
    const std::size_t end = distinct * (part + 1) / parts;
    WordArena& arena = arenas[part];
    std::string joined;
    const std::size_t first = distinct * part / parts;
    for (std::size_t i = first; i < end; ++i) {
      if (i % (std::size_t{1} << 20) == 0) {
        CheckCancel(cancel);
        // The list and its arena take the pages of the sequences already joined.
        ReleasePages(items.get() + first, items.get() + i);
      }
      if (i + kAhead < end) {
        for (unsigned k = 0; k < longest_; ++k) {
          __builtin_prefetch(&short_words_[(items[i + kAhead].key >> shift(k)) & mask]);
        }
      }
      // Short words are copied 16 bytes at once straight into the arena; a sequence
      // holding a long one is joined apart and then stored.
      char* const room = arena.Room(longest_ * (sizeof(ShortWord) + 1));
      char* out = room;
      bool short_words = true;
      for (unsigned k = 0; k < longest_ && short_words; ++k) {
        const std::uint64_t place = (items[i].key >> shift(k)) & mask;
        if (place == 0) break;
        if (k != 0) *out++ = ' ';
        const ShortWord& word = short_words_[place];
        const auto length = static_cast<unsigned char>(word.bytes[sizeof word.bytes - 1]);
        short_words = length != kLongWord;
        std::memcpy(out, word.bytes, sizeof word.bytes);
        out += length;
      }
      if (short_words) {
        words[i] = {arena.Keep(static_cast<std::size_t>(out - room)), items[i].count};
        continue;
      }
      joined.clear();
      for (unsigned k = 0; k < longest_; ++k) {
        const std::uint64_t place = (items[i].key >> shift(k)) & mask;
        if (place == 0) break;
        if (k != 0) joined.push_back(' ');
        joined.append(words_[place]);
      }
      words[i] = {arena.Store(joined), items[i].count};
    }
  });
  for (WordArena& arena : arenas) storage.Absorb(std::move(arena));
  return words;
}

}  // namespace lintavel
