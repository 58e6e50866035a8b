#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string_view>
#include <utility>
#include <vector>

#include "engine/cleared_memory.h"
#include "engine/radix_sort.h"
#include "engine/sequence_tables.h"
#include "engine/streamed_words.h"
#include "engine/utf8.h"
#include "engine/word_arena.h"
#include "engine/word_counter.h"

namespace lintavel {

// The sequences of two and three words that the counting threads kept as tuples of
// their own word numbers, ordered at the end without sorting them as joined strings.
// Each distinct word gets its place in ordinal UTF-16 order; when no word holds a
// character below '!', the blank that joins a sequence sorts below every character
// of a word, so the joined strings sort exactly as the tuples of their words' places
// (a tuple that begins another first). Those tuples, packed into 64-bit keys, are
// merged and ordered with radix sorts, and joined only once, into the list.
class PackedSequences {
 public:
  // Places the words of every thread's numbering (`numbers`, one a thread, in the
  // order their tables are added) in the ordinal UTF-16 order of `encoding`; false
  // when the joined sequences of up to `longest` words would not sort as tuples of
  // those places, or the places of `longest` words do not fit 64 bits. Sorted and
  // placed on as many threads as there are numberings.
  bool Rank(std::span<const WordNumbers* const> numbers, WordEncoding encoding, unsigned longest);

  // Takes one thread's tables, in the order of the numberings given to Rank, which
  // copied the words: the numbering itself is no longer needed.
  void AddTables(PairCounts&& pairs, TripleCounts&& triples);

  // Every sequence, those of the tables and those that `others` counted as joined
  // words (each of up to `longest` words, every one of them numbered by a thread),
  // least frequent first and, within one count, in the ordinal UTF-16 order of the
  // joined words, whose bytes go to `storage`; ordered and joined on up to
  // `threads` threads. Throws OrderingCancelled once `cancel` is set.
  std::vector<CountedWord> TakeOrdered(const WordCounter& others, WordArena& storage,
                                       const std::atomic<bool>* cancel, unsigned threads);

  // The sequences of the tables and of `others`, as TakeOrdered takes them, chosen
  // as `choice` says and those listed put in `order`, without joining them; gives
  // how many of each count were counted and listed. Then ForEachOrdered gives the
  // listed sequences, joined, and their counts, a batch at a time (the views lasting
  // for the call).
  CountTallies Order(const WordCounter& others, const WordChoice& choice, StreamOrder order,
                     const std::atomic<bool>* cancel, unsigned threads);
  void ForEachOrdered(const std::function<void(std::span<const CorpusWord>)>& take);

 private:
  struct Tables {
    PairCounts pairs;
    TripleCounts triples;
  };

  using Item = KeyCount;  // a sequence as the places of its words, and its count
  // Where the sequences listed went: `size` of them, those counted 2^16 times or
  // more in [tail_begin, tail_end), still to be sorted by count; when ordered by
  // count, the others' counts as `runs`, (first index, count) for each count.
  struct Placed {
    std::size_t size = 0;
    std::size_t tail_begin = 0;
    std::size_t tail_end = 0;
    std::vector<std::pair<std::size_t, std::uint64_t>> runs;
  };

  // Sorts the tables' sequences and those of `others` by key, into items_ and keys_.
  void Gather(const WordCounter& others, const std::atomic<bool>* cancel, unsigned threads);
  // Sums the sequences gathered and calls on_place(part, index, key, count) for each
  // one listed, with its index in `order`, on the threads of up to `threads` parts;
  // first calls on_size(where they will go). Tallies them in `tallies` when given.
  // When on_place `joins` the sequences, their words are asked for ahead.
  template <class OnSize, class OnPlace>
  Placed Place(const WordChoice& choice, StreamOrder order, CountTallier* tallies,
               const std::atomic<bool>* cancel, unsigned threads, const OnSize& on_size, bool joins,
               const OnPlace& on_place);
  // The sequence `key` joined by blanks: written in `room` (kJoinRoom bytes) when
  // its words are short, else in `joined`.
  std::string_view Join(std::uint64_t key, char* room, std::string& joined) const;
  void PrefetchWords(std::uint64_t key) const;
  // The ordered sequences [begin, end) joined one after the other in `bytes`, each
  // ending where `ends` says, and as `words`.
  struct JoinedBatch {
    std::vector<char> bytes;
    std::vector<std::size_t> ends;
    std::vector<CorpusWord> words;
  };
  void JoinBatch(std::size_t begin, std::size_t end, JoinedBatch& batch) const;
  int Shift(unsigned k) const { return bits_ * static_cast<int>(longest_ - 1 - k); }

  // The place of `word`, which must be one of the words ranked.
  std::uint64_t PlaceOf(std::string_view word) const;
  bool Less(std::uint64_t prefix_a, std::string_view a, std::uint64_t prefix_b,
            std::string_view b) const;

  WordEncoding encoding_ = WordEncoding::kCp1252;
  unsigned longest_ = 0;
  int bits_ = 0;  // of one word's place in a key
  // A word of up to 15 bytes copied whole, its length in the last byte; a longer
  // one (0xFF there) as the address of its bytes in `long_words_` and its length.
  // Joining the sequences reads one line for each word rather than the tables'
  // scattered slots, and the words take no view of their own.
  struct ShortWord {
    char bytes[16];

    // Holds `word`, its bytes stored in `long_words` when they do not fit.
    void Hold(std::string_view word, WordArena& long_words);
    // The word held.
    std::string_view word() const;
  };
  // The word at `place` (0: none).
  std::string_view WordAt(std::size_t place) const { return short_words_[place].word(); }
  static constexpr unsigned char kLongWord = 0xFF;
  static constexpr unsigned kLongest = 3;  // the most words a packed sequence holds
  static constexpr std::size_t kJoinRoom = kLongest * (sizeof(ShortWord) + 1);

  std::size_t places_count_ = 0;                          // of the words, 0 (no word) included
  WordArena long_words_;                                  // the words longer than a ShortWord holds
  std::unique_ptr<ShortWord[], FreeMemory> short_words_;  // by place, from 1
  std::unique_ptr<std::uint64_t[], FreeMemory> prefixes_;  // by place: the first bytes
  std::vector<std::size_t> first_index_;                   // per thread: its first word's index
  std::unique_ptr<std::uint32_t[], FreeMemory> places_;    // by index
  std::vector<Tables> tables_;
  // Gathered: the sequences counted once each, and those logged an occurrence at a
  // time, each sorted by key.
  std::unique_ptr<Item[], FreeMemory> items_;
  std::size_t items_size_ = 0;
  std::unique_ptr<std::uint64_t[], FreeMemory> keys_;
  std::size_t keys_size_ = 0;
  // The keys of the sequences listed, in order, and their counts: each its own when
  // ordered by word, else from `runs_` (first index, count), by first index.
  std::unique_ptr<std::uint64_t[], FreeMemory> ordered_;
  std::size_t ordered_size_ = 0;
  std::unique_ptr<std::uint64_t[], FreeMemory> ordered_counts_;
  std::vector<std::pair<std::size_t, std::uint64_t>> runs_;
};

// The sequences of `packed` (its tables added) and of `others` handed out one by one,
// for a caller that writes them as they come: their joined list, often far larger
// than the tables, is never built. Ordered on up to `threads` threads; throws as
// StreamedWords says once `cancel` is set or memory runs out.
std::shared_ptr<StreamedWords> StreamSequences(std::unique_ptr<PackedSequences> packed,
                                               WordCounter&& others, WordEncoding encoding,
                                               const std::atomic<bool>* cancel, unsigned threads);

}  // namespace lintavel
