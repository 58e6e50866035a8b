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
  const int shift = bits - kDigit;
  std::array<std::size_t, kDigits + 1> at{};
  for (std::size_t i = 0; i < size; ++i) ++at[((items[i].key >> shift) & (kDigits - 1)) + 1];
  if (std::find(at.begin(), at.end(), size) != at.end()) {
    SortByKey(items, scratch, size, shift, cancel, threads);
    return;
  }
  for (std::size_t digit = 1; digit <= kDigits; ++digit) at[digit] += at[digit - 1];
  std::array<std::size_t, kDigits> next;
  std::copy(at.begin(), at.end() - 1, next.begin());
  for (std::size_t i = 0; i < size; ++i) {
    scratch[next[(items[i].key >> shift) & (kDigits - 1)]++] = items[i];
  }
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
  struct Entry {
    std::uint64_t prefix;
    std::string_view word;
    std::uint32_t part;
    std::uint32_t number;
  };
  const std::size_t parts = numbers.size();
  std::vector<std::size_t> offsets(parts + 1, 0);
  for (std::size_t part = 0; part < parts; ++part) {
    offsets[part + 1] = offsets[part] + numbers[part]->size();
  }
  const std::size_t total = offsets.back();
  if (total >= (std::uint64_t{1} << 32)) return false;
  // Looked up at random (the places and short words, for every sequence), or large:
  // in huge pages, a lookup is seldom also a miss of the address translation's cache.
  const auto reserve_huge = [](auto& vector, std::size_t size) {
    vector.reserve(size);
    AdviseHugePages(vector.data(), size * sizeof vector[0]);
  };
  std::vector<Entry> entries;
  reserve_huge(entries, total);
  entries.resize(total);
  const auto less = [this](const Entry& a, const Entry& b) {
    return Less(a.prefix, a.word, b.prefix, b.word);
  };
  // Each thread's numbering is ranked and sorted on a thread of its own, and the
  // sorted runs are merged in pairs.
  std::atomic<bool> below_blank = false;
  ForEachPart(parts, [&](std::size_t part) {
    Entry* out = entries.data() + offsets[part];
    for (std::size_t number = 1; number <= numbers[part]->size(); ++number) {
      const std::string_view word = numbers[part]->WordOf(number);
      // A character below '!' in a word could sort below the blank that joins it.
      for (const char c : word) {
        if (static_cast<unsigned char>(c) < 0x21) {
          below_blank = true;
          return;
        }
      }
      *out++ = {OrdinalPrefix(word, encoding), word, static_cast<std::uint32_t>(part),
                static_cast<std::uint32_t>(number)};
    }
    std::sort(entries.begin() + offsets[part], entries.begin() + offsets[part + 1], less);
  });
  if (below_blank) return false;
  for (std::size_t width = 1; width < parts; width *= 2) {
    ForEachPart((parts + 2 * width - 1) / (2 * width), [&](std::size_t pair) {
      const std::size_t first = pair * 2 * width;
      const std::size_t middle = std::min(first + width, parts);
      const std::size_t last = std::min(first + 2 * width, parts);
      std::inplace_merge(entries.begin() + offsets[first], entries.begin() + offsets[middle],
                         entries.begin() + offsets[last], less);
    });
  }
  places_.assign(numbers.size(), {});
  for (std::size_t part = 0; part < numbers.size(); ++part) {
    reserve_huge(places_[part], numbers[part]->size() + 1);
    places_[part].assign(numbers[part]->size() + 1, 0);
  }
  words_.assign(1, std::string_view());
  prefixes_.assign(1, 0);
  for (const Entry& entry : entries) {
    if (words_.size() == 1 || entry.word != words_.back()) {
      words_.push_back(entry.word);
      prefixes_.push_back(entry.prefix);
    }
    places_[entry.part][entry.number] = static_cast<std::uint32_t>(words_.size() - 1);
  }
  reserve_huge(short_words_, words_.size());
  short_words_.resize(words_.size());
  for (std::size_t place = 1; place < words_.size(); ++place) {
    ShortWord& copy = short_words_[place];
    const std::string_view word = words_[place];
    const bool fits = word.size() < sizeof copy.bytes;
    if (fits) std::memcpy(copy.bytes, word.data(), word.size());
    copy.bytes[sizeof copy.bytes - 1] =
        static_cast<char>(fits ? static_cast<unsigned char>(word.size()) : kLongWord);
  }
  bits_ = std::max(1, static_cast<int>(std::bit_width(words_.size() - 1)));
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
    const std::uint32_t* const place = places_[part].data();
    std::size_t size = starts[part];
    tables_[part].pairs.ForEach([&](std::uint64_t key, std::uint64_t count) {
      items[size++] = {key, count};
    });
    place_all(starts[part], size, place, [](std::uint64_t key, auto&& on_number) {
      on_number(0, key >> kPairBits);
      on_number(1, key & kPairMask);
    });
    const std::size_t from = size;
    tables_[part].triples.ForEach([&](std::uint64_t key, std::uint64_t count) {
      items[size++] = {key, count};
    });
    place_all(from, size, place, [](std::uint64_t key, auto&& on_number) {
      on_number(0, key >> (2 * kTripleBits));
      on_number(1, (key >> kTripleBits) & kTripleMask);
      on_number(2, key & kTripleMask);
    });
    tables_[part].pairs = PairCounts();
    tables_[part].triples = TripleCounts();
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
  std::size_t distinct = 0;
  std::uint64_t most = 0;
  for (std::size_t i = 0; i < size; ++i) {
    if (distinct != 0 && items[distinct - 1].key == items[i].key) {
      items[distinct - 1].count += items[i].count;
    } else {
      items[distinct++] = items[i];
    }
  }
  for (std::size_t i = 0; i < distinct; ++i) most = std::max(most, items[i].count);
  const Item* by_count = SortByDigits(
      items.get(), scratch.get(), distinct, static_cast<int>(std::bit_width(most)),
      [](const Item& item) { return item.count; }, cancel);
  if (by_count != items.get()) std::swap(items, scratch);
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
    std::string joined;
    for (std::size_t i = distinct * part / parts; i < end; ++i) {
      if (i % (std::size_t{1} << 20) == 0) CheckCancel(cancel);
      if (i + kAhead < end) {
        for (unsigned k = 0; k < longest_; ++k) {
          __builtin_prefetch(&short_words_[(items[i + kAhead].key >> shift(k)) & mask]);
        }
      }
      joined.clear();
      for (unsigned k = 0; k < longest_; ++k) {
        const std::uint64_t place = (items[i].key >> shift(k)) & mask;
        if (place == 0) break;
        if (k != 0) joined.push_back(' ');
        const ShortWord& word = short_words_[place];
        const auto length = static_cast<unsigned char>(word.bytes[sizeof word.bytes - 1]);
        if (length != kLongWord) {
          joined.append(word.bytes, length);
        } else {
          joined.append(words_[place]);
        }
      }
      words[i] = {arenas[part].Store(joined), items[i].count};
    }
  });
  for (WordArena& arena : arenas) storage.Absorb(std::move(arena));
  return words;
}

}  // namespace lintavel
