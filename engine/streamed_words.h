#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <span>
#include <string_view>
#include <vector>

#include "engine/utf8.h"

namespace lintavel {

// A distinct word, how often it occurred and in how many input files.
struct CorpusWord {
  std::string_view word;
  std::uint64_t count = 0;
  std::uint64_t files = 0;  // 0 unless the files were counted
};

// The orders in which streamed words can be handed out; ties in count stand in
// ordinal UTF-16 order of the words.
enum class StreamOrder { kCountThenWord, kCountDescThenWord, kWord };

// Which of a run's words make its figures, and which of those are listed. The
// tests are asked from several threads at once: they must be safe so.
struct WordChoice {
  std::function<bool(std::string_view)> counts;  // empty: every word
  std::function<bool(std::string_view)> lists;   // empty: every word counted
  std::uint64_t min_count = 0;

  bool ReadsWords() const { return counts || lists; }
  bool Counts(std::string_view word) const { return !counts || counts(word); }
  bool Lists(std::string_view word, std::uint64_t count) const {
    return count >= min_count && (!lists || lists(word));
  }
};

// How many words of one count were counted, and how many of those listed.
struct CountTally {
  std::uint64_t words = 0;
  std::uint64_t listed = 0;
};
using CountTallies = std::map<std::uint64_t, CountTally>;  // by count

// Tallies words one at a time: the counts below 2^16 in a table, the rest in a map.
class CountTallier {
 public:
  void Add(std::uint64_t count, bool listed) {
    CountTally& tally = count < kDirect ? direct_[count] : larger_[count];
    ++tally.words;
    tally.listed += listed ? 1 : 0;
  }
  // Adds what `other` tallied.
  void Absorb(const CountTallier& other);
  CountTallies Take() const;

 private:
  static constexpr std::uint64_t kDirect = std::uint64_t{1} << 16;
  std::vector<CountTally> direct_ = std::vector<CountTally>(kDirect);
  CountTallies larger_;
};

// The words of a run handed out in order one by one rather than gathered in one
// list: the words of a run that spilled, or its sequences of words.
class StreamedWords {
 public:
  virtual ~StreamedWords() = default;

  // Chooses the words as `choice` says and puts those listed in `order`; gives how
  // many words of each count were counted and listed. Called once, before ForEach.
  // Throws ExtractionFailure (the ordering stage) when the temporary folder fails or
  // memory runs out, and OrderingCancelled once the run's cancel flag is set.
  virtual CountTallies Order(const WordChoice& choice, StreamOrder order) = 0;

  // Gives the listed words in the order asked, with their counts and files figures
  // (0 when the files were not counted), a batch at a time to `take`; the views last
  // for the call only. Called once; throws as Order does.
  virtual void ForEach(const std::function<void(std::span<const CorpusWord>)>& take) = 0;

  virtual WordEncoding encoding() const = 0;
  // Whether the words carry their files figures.
  virtual bool with_files() const = 0;
};

}  // namespace lintavel
