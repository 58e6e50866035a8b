#include "engine/packed_sequences.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <future>
#include <memory>
#include <stdexcept>
#include <string>
#include <system_error>
#include <utility>

#include "engine/cleared_memory.h"
#include "engine/code_page.h"
#include "engine/extraction.h"
#include "engine/for_each_part.h"
#include "engine/radix_sort.h"

namespace lintavel {

namespace {

// A sequence as the places of its words, packed first word highest, and its count.
using Item = KeyCount;

using radix_detail::CheckCancel;

// Where `parts` threads cut the sequences of `items` and `keys` (each sorted by
// key) to sum them: before the keys found at equal shares of the larger of the two.
struct SumCuts {
  std::vector<std::size_t> items;
  std::vector<std::size_t> keys;
};

SumCuts CutSums(std::span<const Item> items, std::span<const std::uint64_t> keys,
                std::size_t parts) {
  SumCuts cuts{std::vector<std::size_t>(parts + 1, items.size()),
               std::vector<std::size_t>(parts + 1, keys.size())};
  cuts.items[0] = cuts.keys[0] = 0;
  const bool by_keys = keys.size() >= items.size();
  for (std::size_t part = 1; part < parts; ++part) {
    const std::uint64_t cut =
        by_keys ? keys[keys.size() * part / parts] : items[items.size() * part / parts].key;
    cuts.items[part] = static_cast<std::size_t>(
        std::lower_bound(items.begin(), items.end(), cut,
                         [](const Item& item, std::uint64_t key) { return item.key < key; }) -
        items.begin());
    cuts.keys[part] =
        static_cast<std::size_t>(std::lower_bound(keys.begin(), keys.end(), cut) - keys.begin());
  }
  return cuts;
}

// Calls on_sum(key, count) for each key of part `part` of `items` and `keys`, in key
// order, with the sum of its counts (a bare key is one occurrence); asks
// prefetch(key) of the keys some way ahead, and calls passed(items_done, keys_done)
// every million keys or so with how far it has read.
template <class OnSum, class Prefetch, class Passed>
void ForEachSum(std::span<const Item> items, std::span<const std::uint64_t> keys,
                const SumCuts& cuts, std::size_t part, const OnSum& on_sum,
                const Prefetch& prefetch, const Passed& passed) {
  constexpr std::size_t kAhead = 16;
  constexpr std::size_t kStretch = std::size_t{1} << 20;
  std::size_t i = cuts.items[part];
  std::size_t j = cuts.keys[part];
  const std::size_t items_end = cuts.items[part + 1];
  const std::size_t keys_end = cuts.keys[part + 1];
  for (std::size_t sums = 1; i < items_end || j < keys_end; ++sums) {
    if (sums % kStretch == 0) passed(i, j);
    if (i + kAhead < items_end) prefetch(items[i + kAhead].key);
    if (j + kAhead < keys_end) prefetch(keys[j + kAhead]);
    const std::uint64_t key =
        j == keys_end || (i < items_end && items[i].key <= keys[j]) ? items[i].key : keys[j];
    std::uint64_t count = 0;
    for (; i < items_end && items[i].key == key; ++i) count += items[i].count;
    for (; j < keys_end && keys[j] == key; ++j) ++count;
    on_sum(key, count);
  }
}

}  // namespace

bool PackedSequences::Less(std::uint64_t prefix_a, std::string_view a, std::uint64_t prefix_b,
                           std::string_view b) const {
  if (prefix_a != prefix_b) return prefix_a < prefix_b;
  return encoding_ == WordEncoding::kUtf8 ? Utf8Utf16Less(a, b) : Utf16OrdinalLess(a, b);
}

bool PackedSequences::Rank(std::span<const WordNumbers* const> numbers, WordEncoding encoding,
                           unsigned longest) {
  if (longest > kLongest) return false;
  encoding_ = encoding;
  longest_ = longest;
  const std::size_t parts = numbers.size();
  // A ranked word is an item naming its thread, its slot and its length.
  constexpr int kPartShift = 40;
  constexpr int kLengthShift = 48;
  constexpr std::uint64_t kSlot = (std::uint64_t{1} << kPartShift) - 1;
  if (parts == 0 || parts > 256) return false;
  // Every thread's words in one index: a thread's word numbered n at its first
  // index + n (its first index unused).
  first_index_.assign(parts + 1, 0);
  for (std::size_t part = 0; part < parts; ++part) {
    first_index_[part + 1] = first_index_[part] + numbers[part]->size() + 1;
  }
  const std::size_t indexes = first_index_.back();
  const std::size_t total = indexes - parts;
  // Until they are placed, the words that the first thread also numbered hold its
  // index for a place, this bit set.
  constexpr std::uint32_t kAliased = std::uint32_t{1} << 31;
  if (indexes >= kAliased) return false;
  // The arrays looked up at random (the places and short words, for every sequence)
  // are in huge pages, where a lookup is seldom also a miss of the address
  // translation's cache; and not cleared first, on one thread, but written in full
  // on every thread.
  places_ = HugeArray<std::uint32_t>(indexes);
  // The words are radix-sorted by their prefixes; only the words longer than a
  // prefix are compared. Threads that read parts of one text number mostly the same
  // words: those the first thread numbered too are looked up in its table rather
  // than sorted again, and take their places from its words.
  auto sorted = HugeArray<Item>(total);
  std::vector<std::size_t> ranked(parts);
  std::atomic<bool> unsortable = false;
  const bool utf8 = encoding == WordEncoding::kUtf8;
  ForEachPart(parts, [&](std::size_t part) {
    Item* const begin = sorted.get() + first_index_[part] - part;
    Item* out = begin;
    std::uint32_t* const place = places_.get() + first_index_[part];
    place[0] = 0;  // a thread's number 0 is no word
    const auto rank = [&](std::size_t slot, std::string_view word) {
      for (const char c : word) {
        const auto byte = static_cast<unsigned char>(c);
        // A character below '!' could sort below the blank that joins the words; a
        // byte no UTF-8 text holds could share its prefix's place with another.
        if (byte < 0x21 || (utf8 && (byte == 0xF5 || byte == 0xF6))) {
          unsortable.store(true, std::memory_order_relaxed);
        }
      }
      *out++ = {OrdinalPrefix(word, encoding), slot | std::uint64_t{part} << kPartShift |
                                                   std::min<std::uint64_t>(word.size(), 255)
                                                       << kLengthShift};
    };
    if (part == 0) {
      numbers[0]->ForEachWord(
          [&](std::size_t slot, std::uint64_t, std::string_view word) { rank(slot, word); });
    } else {
      // Looked up some at a time, their slots in the first table asked for first.
      struct Pending {
        std::size_t slot;
        std::uint64_t number;
        std::string_view word;
        WordNumbers::Key key;
      };
      constexpr std::size_t kBatch = 16;
      std::array<Pending, kBatch> pending;
      std::size_t waiting = 0;
      const WordNumbers& first = *numbers[0];
      const auto look_up = [&] {
        for (std::size_t k = 0; k < waiting; ++k) {
          const std::uint64_t found = first.Find(pending[k].key);
          if (found != 0) {
            place[pending[k].number] =
                kAliased | static_cast<std::uint32_t>(found + first_index_[0]);
          } else {
            rank(pending[k].slot, pending[k].word);
          }
        }
        waiting = 0;
      };
      numbers[part]->ForEachWord(
          [&](std::size_t slot, std::uint64_t number, std::string_view word) {
            pending[waiting] = {slot, number, word, WordNumbers::KeyOf(word)};
            first.Prefetch(pending[waiting].key);
            if (++waiting == kBatch) look_up();
          });
      look_up();
    }
    ranked[part] = static_cast<std::size_t>(out - begin);
  });
  if (unsortable) return false;
  std::size_t size = ranked[0];
  for (std::size_t part = 1; part < parts; ++part) {
    std::memmove(sorted.get() + size, sorted.get() + first_index_[part] - part,
                 ranked[part] * sizeof(Item));
    size += ranked[part];
  }
  {
    auto scratch = HugeArray<Item>(size);
    SortByKey(sorted.get(), scratch.get(), size, 64, nullptr, static_cast<unsigned>(parts));
  }
  const auto length = [](const Item& item) { return item.count >> kLengthShift; };
  const auto part_of = [](const Item& item) { return (item.count >> kPartShift) & 0xFF; };
  const auto numbering = [&](const Item& item) -> const WordNumbers& {
    return *numbers[part_of(item)];
  };
  const auto word_of = [&](const Item& item) { return numbering(item).WordAt(item.count & kSlot); };
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
  const std::vector<std::size_t> cuts = CutBetweenKeys(sorted.get(), size, parts);
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
  prefixes_ = HugeArray<std::uint64_t>(places);
  short_words_ = HugeArray<ShortWord>(places);
  places_count_ = places;
  prefixes_[0] = 0;
  short_words_[0] = {};
  constexpr std::size_t kAhead = 16;
  // The words are copied, so that the threads' numberings can go before the
  // sequences are ordered: a short one is its copy in `short_words_`, a long one
  // goes to an arena of the part's own.
  std::vector<WordArena> long_words(parts);
  const auto index_of = [&](const Item& item) {
    return first_index_[part_of(item)] + numbering(item).NumberAt(item.count & kSlot);
  };
  ForEachPart(parts, [&](std::size_t part) {
    std::size_t place = first_place[part] - 1;
    for (std::size_t i = cuts[part]; i < cuts[part + 1]; ++i) {
      // The slots and places lie anywhere: asked for some items ahead.
      if (i + kAhead < cuts[part + 1]) {
        numbering(sorted[i + kAhead]).PrefetchSlot(sorted[i + kAhead].count & kSlot);
      }
      if (i + kAhead / 2 < cuts[part + 1]) {
        __builtin_prefetch(word_of(sorted[i + kAhead / 2]).data());
        __builtin_prefetch(&places_[index_of(sorted[i + kAhead / 2])], 1);
      }
      if (i == cuts[part] || !same(sorted[i - 1], sorted[i])) {
        ++place;
        const std::string_view word = word_of(sorted[i]);
        prefixes_[place] = sorted[i].key;
        short_words_[place].Hold(word, long_words[part]);
      }
      places_[index_of(sorted[i])] = static_cast<std::uint32_t>(place);
    }
  });
  // The words looked up take the places of the first thread's.
  ForEachPart(parts, [&](std::size_t part) {
    const std::size_t from = first_index_[1];
    const std::size_t width = indexes - from;
    for (std::size_t i = from + width * part / parts; i < from + width * (part + 1) / parts; ++i) {
      if ((places_[i] & kAliased) != 0) places_[i] = places_[places_[i] & ~kAliased];
    }
  });
  for (WordArena& arena : long_words) long_words_.Absorb(std::move(arena));
  bits_ = std::max(1, static_cast<int>(std::bit_width(places - 1)));
  return static_cast<unsigned>(bits_) * longest <= 64;
}

void PackedSequences::AddTables(PairCounts&& pairs, TripleCounts&& triples) {
  tables_.push_back({std::move(pairs), std::move(triples)});
}

void PackedSequences::ShortWord::Hold(std::string_view word, WordArena& long_words) {
  constexpr std::size_t kLast = sizeof bytes - 1;
  if (word.size() < sizeof bytes) {
    std::memcpy(bytes, word.data(), word.size());
    bytes[kLast] = static_cast<char>(word.size());
    return;
  }
  // The address, then the length in the bytes up to the last, lowest byte first.
  const char* const stored = long_words.Store(word).data();
  std::memcpy(bytes, &stored, sizeof stored);
  for (std::size_t k = sizeof stored; k < kLast; ++k) {
    bytes[k] = static_cast<char>(word.size() >> (8 * (k - sizeof stored)));
  }
  bytes[kLast] = static_cast<char>(kLongWord);
}

std::string_view PackedSequences::ShortWord::word() const {
  constexpr std::size_t kLast = sizeof bytes - 1;
  const auto length = static_cast<unsigned char>(bytes[kLast]);
  if (length != kLongWord) return {bytes, length};
  const char* stored = nullptr;
  std::memcpy(&stored, bytes, sizeof stored);
  std::size_t size = 0;
  for (std::size_t k = kLast; k-- > sizeof stored;) {
    size = size << 8 | static_cast<unsigned char>(bytes[k]);
  }
  return {stored, size};
}

std::uint64_t PackedSequences::PlaceOf(std::string_view word) const {
  const std::uint64_t prefix = OrdinalPrefix(word, encoding_);
  std::size_t low = 1;
  std::size_t high = places_count_;
  while (low < high) {
    const std::size_t middle = low + (high - low) / 2;
    if (Less(prefixes_[middle], WordAt(middle), prefix, word)) {
      low = middle + 1;
    } else {
      high = middle;
    }
  }
  if (low == places_count_ || WordAt(low) != word) {
    throw std::logic_error("a sequence holds a word that no thread numbered");
  }
  return low;
}

std::string_view PackedSequences::Join(std::uint64_t key, char* room, std::string& joined) const {
  // Short words are copied 16 bytes at once; a sequence holding a long one is
  // joined apart.
  const std::uint64_t mask = (std::uint64_t{1} << bits_) - 1;
  char* out = room;
  for (unsigned k = 0; k < longest_; ++k) {
    const std::uint64_t place = (key >> Shift(k)) & mask;
    if (place == 0) break;
    if (k != 0) *out++ = ' ';
    const ShortWord& short_word = short_words_[place];
    const auto length = static_cast<unsigned char>(short_word.bytes[sizeof short_word.bytes - 1]);
    if (length == kLongWord) {
      joined.clear();
      for (unsigned j = 0; j < longest_; ++j) {
        const std::uint64_t word = (key >> Shift(j)) & mask;
        if (word == 0) break;
        if (j != 0) joined.push_back(' ');
        joined.append(WordAt(word));
      }
      return joined;
    }
    std::memcpy(out, short_word.bytes, sizeof short_word.bytes);
    out += length;
  }
  return {room, static_cast<std::size_t>(out - room)};
}

void PackedSequences::PrefetchWords(std::uint64_t key) const {
  const std::uint64_t mask = (std::uint64_t{1} << bits_) - 1;
  for (unsigned k = 0; k < longest_; ++k)
    __builtin_prefetch(&short_words_[(key >> Shift(k)) & mask]);
}

void PackedSequences::Gather(const WordCounter& others, const std::atomic<bool>* cancel,
                             unsigned threads) {
  // The sequences counted once each (the tables' and runs' keys, those counted
  // joined) go to `items_`; those logged an occurrence at a time stay in their
  // blocks, placed there, and are sorted from them into `keys_`.
  std::vector<std::size_t> item_starts(tables_.size() + 1, 0);
  std::size_t logged = 0;
  for (std::size_t part = 0; part < tables_.size(); ++part) {
    const Tables& tables = tables_[part];
    item_starts[part + 1] = item_starts[part] + tables.pairs.counted() + tables.triples.counted();
    logged += tables.pairs.logged() + tables.triples.logged();
  }
  const std::size_t upper = item_starts.back() + others.distinct();
  items_ = HugeArray<Item>(upper);
  std::vector<std::vector<KeyBlock>> blocks(tables_.size());
  constexpr std::uint64_t kPairMask = (std::uint64_t{1} << kPairBits) - 1;
  constexpr std::uint64_t kTripleMask = (std::uint64_t{1} << kTripleBits) - 1;
  const auto pair_numbers = [](std::uint64_t key, auto&& on_number) {
    on_number(0, key >> kPairBits);
    on_number(1, key & kPairMask);
  };
  const auto triple_numbers = [](std::uint64_t key, auto&& on_number) {
    on_number(0, key >> (2 * kTripleBits));
    on_number(1, (key >> kTripleBits) & kTripleMask);
    on_number(2, key & kTripleMask);
  };
  // Each key of `from` (`size` of them) as the places of its words, into `to`; the
  // places of a key some way ahead asked for meanwhile: they lie anywhere in the
  // thread's numbering.
  constexpr std::size_t kAhead = 16;
  const auto place_all = [&](auto key_at, std::size_t size, auto&& store,
                             const std::uint32_t* place, const auto& numbers) {
    for (std::size_t i = 0; i < size; ++i) {
      if (i + kAhead < size) {
        numbers(key_at(i + kAhead),
                [&](unsigned, std::uint64_t number) { __builtin_prefetch(&place[number]); });
      }
      std::uint64_t key = 0;
      numbers(key_at(i), [&](unsigned k, std::uint64_t number) {
        key |= std::uint64_t{place[number]} << Shift(k);
      });
      store(i, key);
    }
  };
  // Each thread's tables on a thread of their own, into their own stretches.
  ForEachPart(tables_.size(), [&](std::size_t part) {
    // Indexed by the thread's word numbers, from 1.
    const std::uint32_t* const place = places_.get() + first_index_[part];
    std::size_t size = item_starts[part];
    const auto drain = [&](auto& table, const auto& numbers) {
      const std::size_t from = size;
      table.Drain(
          [&](std::uint64_t key, std::uint64_t count) {
            items_[size++] = {key, count};
          },
          [&](KeyBlock&& block) {
            std::uint64_t* const keys = block.keys.get();
            place_all([&](std::size_t i) { return keys[i]; }, block.size,
                      [&](std::size_t i, std::uint64_t key) { keys[i] = key; }, place, numbers);
            blocks[part].push_back(std::move(block));
          });
      Item* const counted = items_.get() + from;
      place_all([&](std::size_t i) { return counted[i].key; }, size - from,
                [&](std::size_t i, std::uint64_t key) { counted[i].key = key; }, place, numbers);
    };
    drain(tables_[part].pairs, pair_numbers);
    drain(tables_[part].triples, triple_numbers);
  });
  tables_.clear();
  std::size_t size = item_starts.back();
  others.ForEachWord([&](std::string_view joined, std::uint64_t count) {
    std::uint64_t key = 0;
    unsigned i = 0;
    for (std::size_t from = 0; from <= joined.size(); ++i) {
      const std::size_t blank = std::min(joined.find(' ', from), joined.size());
      if (i >= longest_) throw std::logic_error("a sequence longer than those counted");
      key |= PlaceOf(joined.substr(from, blank - from)) << Shift(i);
      from = blank + 1;
    }
    items_[size++] = {key, count};
  });
  places_.reset();
  const int bits = bits_ * static_cast<int>(longest_);
  std::vector<KeyBlock> all_blocks;
  for (std::vector<KeyBlock>& part : blocks) {
    for (KeyBlock& block : part) all_blocks.push_back(std::move(block));
  }
  keys_ = HugeArray<std::uint64_t>(logged);
  SortBlocksByKey(all_blocks, keys_.get(), logged, bits, cancel, threads);
  {
    auto scratch = HugeArray<Item>(size);
    SortByKey(items_.get(), scratch.get(), size, bits, cancel, threads);
  }
  items_size_ = size;
  keys_size_ = logged;
}

template <class OnSize, class OnPlace>
PackedSequences::Placed PackedSequences::Place(const WordChoice& choice, StreamOrder order,
                                               CountTallier* tallies,
                                               const std::atomic<bool>* cancel, unsigned threads,
                                               const OnSize& on_size, bool joins,
                                               const OnPlace& on_place) {
  // A sequence that several threads counted, or that crossed blocks, is one: the
  // sums are taken in key order, each thread a range of keys, and put in their
  // places by count. Counted first, then placed: the counts below 2^16 each have
  // their own place, the few above come after them (before, counted down), to be
  // sorted there.
  const std::span<const Item> counted(items_.get(), items_size_);
  const std::span<const std::uint64_t> occurrences(keys_.get(), keys_size_);
  constexpr std::size_t kExact = std::size_t{1} << 16;
  const std::size_t parts =
      items_size_ + keys_size_ < kExact ? 1 : std::max<std::size_t>(threads, 1);
  const SumCuts cuts = CutSums(counted, occurrences, parts);
  const bool by_count = order != StreamOrder::kWord;
  const auto digit = [by_count](std::uint64_t count) {
    return !by_count ? 0 : count < kExact ? count : kExact;
  };
  const bool reads_words = choice.ReadsWords();
  // Whether a sum is listed, and (when `tally`) added to the part's tallies.
  const auto listed = [&](std::uint64_t key, std::uint64_t count, char* room, std::string& joined,
                          CountTallier* tally) {
    if (!reads_words) {
      const bool lists = count >= choice.min_count;
      if (tally != nullptr) tally->Add(count, lists);
      return lists;
    }
    const std::string_view word = Join(key, room, joined);
    if (!choice.Counts(word)) return false;
    const bool lists = choice.Lists(word, count);
    if (tally != nullptr) tally->Add(count, lists);
    return lists;
  };
  std::vector<CountTallier> part_tallies(tallies != nullptr ? parts : 0);
  std::vector<std::vector<std::size_t>> at(parts,
                                           std::vector<std::size_t>(by_count ? kExact + 1 : 1, 0));
  ForEachPart(parts, [&](std::size_t part) {
    char room[kJoinRoom];
    std::string joined;
    CountTallier* const tally = tallies != nullptr ? &part_tallies[part] : nullptr;
    ForEachSum(
        counted, occurrences, cuts, part,
        [&](std::uint64_t key, std::uint64_t count) {
          if (listed(key, count, room, joined, tally)) ++at[part][digit(count)];
        },
        [&](std::uint64_t key) {
          if (reads_words) PrefetchWords(key);
        },
        [&](std::size_t, std::size_t) { CheckCancel(cancel); });
  });
  CheckCancel(cancel);
  if (tallies != nullptr) {
    for (const CountTallier& tally : part_tallies) tallies->Absorb(tally);
  }
  // Each digit's places, the parts' in turn; the digits counted down for the
  // descending order.
  Placed placed;
  const std::size_t digits = at[0].size();
  for (std::size_t step = 0; step < digits; ++step) {
    const std::size_t d = order == StreamOrder::kCountDescThenWord ? digits - 1 - step : step;
    const std::size_t first = placed.size;
    if (d == kExact) placed.tail_begin = first;
    for (std::size_t part = 0; part < parts; ++part)
      placed.size += std::exchange(at[part][d], placed.size);
    if (d == kExact) placed.tail_end = placed.size;
    if (by_count && d != kExact && placed.size != first) placed.runs.push_back({first, d});
  }
  on_size(placed);
  ForEachPart(parts, [&](std::size_t part) {
    char room[kJoinRoom];
    std::string joined;
    ForEachSum(
        counted, occurrences, cuts, part,
        [&](std::uint64_t key, std::uint64_t count) {
          if (listed(key, count, room, joined, nullptr)) {
            on_place(part, at[part][digit(count)]++, key, count);
          }
        },
        [&](std::uint64_t key) {
          if (reads_words || joins) PrefetchWords(key);
        },
        [&](std::size_t items_done, std::size_t keys_done) {
          CheckCancel(cancel);
          // What is placed takes the pages of the sequences already summed.
          ReleasePages(counted.data() + cuts.items[part], counted.data() + items_done);
          ReleasePages(occurrences.data() + cuts.keys[part], occurrences.data() + keys_done);
        });
  });
  items_.reset();
  keys_.reset();
  return placed;
}

std::vector<CountedWord> PackedSequences::TakeOrdered(const WordCounter& others, WordArena& storage,
                                                      const std::atomic<bool>* cancel,
                                                      unsigned threads) {
  Gather(others, cancel, threads);
  const std::size_t parts = std::max(threads, 1U);
  std::vector<CountedWord> words;
  std::vector<WordArena> arenas(parts);
  std::vector<std::string> joined(parts);
  const auto reserve = [&](const Placed& placed) {
    const std::size_t distinct = placed.size;
    words.reserve(distinct);
    AdviseHugePages(words.data(), distinct * sizeof(CountedWord));
    // Faulted in on every thread: the list takes hundreds of megabytes.
    ForEachPart(parts, [&](std::size_t part) {
      const std::size_t bytes = distinct * sizeof(CountedWord);
      auto* const begin = reinterpret_cast<char*>(words.data());
      PopulatePages(begin + bytes * part / parts, begin + bytes * (part + 1) / parts);
    });
    words.resize(distinct);
  };
  const Placed placed = Place(
      WordChoice{}, StreamOrder::kCountThenWord, nullptr, cancel, threads, reserve, true,
      [&](std::size_t part, std::size_t index, std::uint64_t key, std::uint64_t count) {
        WordArena& arena = arenas[part];
        char* const room = arena.Room(kJoinRoom);
        const std::string_view word = Join(key, room, joined[part]);
        words[index] = {word.data() == room ? arena.Keep(word.size()) : arena.Store(word), count};
      });
  std::stable_sort(words.begin() + static_cast<std::ptrdiff_t>(placed.tail_begin),
                   words.begin() + static_cast<std::ptrdiff_t>(placed.tail_end),
                   [](const CountedWord& a, const CountedWord& b) { return a.count < b.count; });
  for (WordArena& arena : arenas) storage.Absorb(std::move(arena));
  return words;
}

CountTallies PackedSequences::Order(const WordCounter& others, const WordChoice& choice,
                                    StreamOrder order, const std::atomic<bool>* cancel,
                                    unsigned threads) {
  Gather(others, cancel, threads);
  CountTallier tallies;
  // Ordered by count, the sequences are kept as bare keys, their counts as runs;
  // only the few counted 2^16 times or more are sorted apart, with their counts.
  std::vector<Item> tail;
  std::size_t tail_begin = 0;
  const Placed placed = Place(
      choice, order, &tallies, cancel, threads,
      [&](const Placed& places) {
        ordered_ = HugeArray<std::uint64_t>(places.size);
        if (order == StreamOrder::kWord) ordered_counts_ = HugeArray<std::uint64_t>(places.size);
        tail.resize(places.tail_end - places.tail_begin);
        tail_begin = places.tail_begin;
      },
      false,
      [&](std::size_t, std::size_t index, std::uint64_t key, std::uint64_t count) {
        ordered_[index] = key;
        if (ordered_counts_) ordered_counts_[index] = count;
        if (index - tail_begin < tail.size()) tail[index - tail_begin] = {key, count};
      });
  ordered_size_ = placed.size;
  runs_ = placed.runs;
  if (order == StreamOrder::kCountDescThenWord) {
    std::stable_sort(tail.begin(), tail.end(),
                     [](const Item& a, const Item& b) { return a.count > b.count; });
  } else {
    std::stable_sort(tail.begin(), tail.end(),
                     [](const Item& a, const Item& b) { return a.count < b.count; });
  }
  for (std::size_t k = 0; k < tail.size(); ++k) {
    ordered_[tail_begin + k] = tail[k].key;
    if (k == 0 || tail[k].count != tail[k - 1].count)
      runs_.push_back({tail_begin + k, tail[k].count});
  }
  std::sort(runs_.begin(), runs_.end());
  return tallies.Take();
}

void PackedSequences::JoinBatch(std::size_t begin, std::size_t end, JoinedBatch& batch) const {
  constexpr std::size_t kAhead = 16;
  std::string joined;
  std::vector<std::size_t>& ends = batch.ends;
  ends.clear();
  std::size_t used = 0;
  for (std::size_t i = begin; i < end; ++i) {
    if (i + kAhead < end) PrefetchWords(ordered_[i + kAhead]);
    if (batch.bytes.size() < used + kJoinRoom) batch.bytes.resize(2 * (used + kJoinRoom));
    const std::string_view word = Join(ordered_[i], batch.bytes.data() + used, joined);
    if (word.data() != batch.bytes.data() + used) {
      if (batch.bytes.size() < used + word.size()) batch.bytes.resize(2 * (used + word.size()));
      std::memcpy(batch.bytes.data() + used, word.data(), word.size());
    }
    used += word.size();
    ends.push_back(used);
  }
  // Viewed once joined: the bytes may move as they grow.
  batch.words.resize(end - begin);
  // The run of counts that holds `begin`, and those after it in turn.
  auto run = std::upper_bound(runs_.begin(), runs_.end(), std::pair{begin, ~std::uint64_t{0}});
  for (std::size_t k = 0, from = 0; k < ends.size(); from = ends[k++]) {
    std::uint64_t count = 0;
    if (ordered_counts_) {
      count = ordered_counts_[begin + k];
    } else {
      while (run != runs_.end() && run->first <= begin + k) ++run;
      count = std::prev(run)->second;
    }
    batch.words[k] = {{batch.bytes.data() + from, ends[k] - from}, count, 0};
  }
}

void PackedSequences::ForEachOrdered(const std::function<void(std::span<const CorpusWord>)>& take) {
  // Each round of batches is joined on threads of their own while `take` has the
  // round before: joining reads the words at random, taking writes the list out.
  constexpr std::size_t kBatch = std::size_t{1} << 15;
  constexpr std::size_t kJoiners = 2;
  constexpr std::size_t kRound = kJoiners * kBatch;
  using Round = std::array<JoinedBatch, kJoiners>;
  std::array<Round, 2> rounds;
  // Starts joining the round from `begin`; waiting on what it gives ends it.
  const auto start_round = [&](std::size_t begin, Round& round) {
    std::array<std::future<void>, kJoiners> joining;
    for (std::size_t k = 0; k < kJoiners; ++k) {
      const std::size_t from = std::min(begin + k * kBatch, ordered_size_);
      const auto join = [&, from, k] {
        JoinBatch(from, std::min(from + kBatch, ordered_size_), round[k]);
      };
      try {
        joining[k] = std::async(std::launch::async, join);
      } catch (const std::system_error&) {
        join();  // no thread to spare: joined here, in turn
      }
    }
    return joining;
  };
  const auto wait = [](std::array<std::future<void>, kJoiners>& joining) {
    for (std::future<void>& join : joining) {
      if (join.valid()) join.get();
    }
  };
  auto first = start_round(0, rounds[0]);
  wait(first);
  for (std::size_t begin = 0, turn = 0; begin < ordered_size_; begin += kRound, turn ^= 1) {
    std::array<std::future<void>, kJoiners> next;
    if (begin + kRound < ordered_size_) next = start_round(begin + kRound, rounds[turn ^ 1]);
    for (const JoinedBatch& batch : rounds[turn]) {
      if (!batch.words.empty()) take(batch.words);
    }
    wait(next);
  }
  ordered_.reset();
  ordered_counts_.reset();
}

namespace {

class SequenceStream final : public StreamedWords {
 public:
  SequenceStream(std::unique_ptr<PackedSequences> packed, WordCounter&& others,
                 WordEncoding encoding, const std::atomic<bool>* cancel, unsigned threads)
      : packed_(std::move(packed)),
        others_(std::move(others)),
        encoding_(encoding),
        cancel_(cancel),
        threads_(threads) {}

  CountTallies Order(const WordChoice& choice, StreamOrder order) override {
    try {
      CountTallies tallies = packed_->Order(others_, choice, order, cancel_, threads_);
      others_ = WordCounter();
      return tallies;
    } catch (const std::bad_alloc&) {
      throw ExtractionFailure(ExtractionFailure::Stage::kOrdering,
                              "out of memory while ordering the distinct words");
    }
  }

  void ForEach(const std::function<void(std::span<const CorpusWord>)>& take) override {
    packed_->ForEachOrdered(take);
    packed_.reset();
  }

  WordEncoding encoding() const override { return encoding_; }
  bool with_files() const override { return false; }

 private:
  std::unique_ptr<PackedSequences> packed_;
  WordCounter others_;
  WordEncoding encoding_;
  const std::atomic<bool>* cancel_;
  unsigned threads_;
};

}  // namespace

std::shared_ptr<StreamedWords> StreamSequences(std::unique_ptr<PackedSequences> packed,
                                               WordCounter&& others, WordEncoding encoding,
                                               const std::atomic<bool>* cancel, unsigned threads) {
  return std::make_shared<SequenceStream>(std::move(packed), std::move(others), encoding, cancel,
                                          threads);
}

}  // namespace lintavel
