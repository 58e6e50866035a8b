#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include <boost/unordered/unordered_flat_map.hpp>

#include "engine/utf8.h"
#include "engine/word_arena.h"
#include "engine/word_hash.h"

namespace lintavel {

// A distinct word and how often it occurred.
struct CountedWord {
  std::string_view word;  // Windows-1252 bytes
  std::uint64_t count = 0;
};

// Counts the words of Windows-1252 text. Words end at blanks and line ends; tabs
// and the 32 ASCII punctuation characters are removed from them; what is left
// empty is no word. Memory grows with the distinct words, not with the text.
class WordCounter {
 public:
  // Counts every word of `text`, which must not end inside a word.
  void CountText(std::string_view text);

  // Adds `count` occurrences of the already cleaned, non-empty `word`.
  void Add(std::string_view word, std::uint64_t count = 1) {
    const auto found = counts_.find(word);
    if (found != counts_.end()) {
      found->second += count;
    } else {
      counts_.emplace(arena_.Store(word), count);
    }
  }

  // Adds every count of `other` to this counter and takes over its storage.
  void MergeFrom(WordCounter&& other);

  std::size_t distinct() const { return counts_.size(); }

  // The distinct words, least frequent first and, within one count, in ordinal
  // UTF-16 order of the decoded words (whose bytes are in `encoding`); the views
  // point into `storage`, to which this counter hands its bytes.
  // Throws OrderingCancelled once `cancel` is set.
  std::vector<CountedWord> TakeOrdered(WordArena& storage,
                                       WordEncoding encoding = WordEncoding::kCp1252,
                                       const std::atomic<bool>* cancel = nullptr) &&;

 private:
  boost::unordered_flat_map<std::string_view, std::uint64_t, WordHash, WordEqual> counts_;
  WordArena arena_;
  std::string scratch_;
};

// Thrown by an ordering that was told to stop.
struct OrderingCancelled {};

// Sorts `words` least frequent first, ties in ordinal UTF-16 order of the words.
// Checks `cancel` now and then, and throws OrderingCancelled once it is set; the
// words are then in no particular order.
void OrderByCountThenWord(std::vector<CountedWord>& words,
                          WordEncoding encoding = WordEncoding::kCp1252,
                          const std::atomic<bool>* cancel = nullptr);

}  // namespace lintavel
