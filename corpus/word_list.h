#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include <boost/unordered/unordered_flat_map.hpp>
#include <boost/unordered/unordered_flat_set.hpp>

#include "engine/extraction.h"
#include "engine/streamed_words.h"
#include "engine/word_arena.h"
#include "engine/word_hash.h"

namespace lintavel {

// The words to write, with figures about all the words that were counted.
struct CorpusList {
  WordArena storage;  // owns the bytes that `words` points to
  std::vector<CorpusWord> words;
  WordEncoding encoding = WordEncoding::kCp1252;
  std::uint64_t total = 0;     // words counted
  std::uint64_t distinct = 0;  // distinct words counted (before --min-count and --top)
  std::uint64_t once = 0;      // distinct words counted exactly once
};

// The order in which the words are written.
enum class WordOrder {
  kCount,      // least frequent first, ties in ordinal UTF-16 order (the window's)
  kCountDesc,  // most frequent first, ties in ordinal UTF-16 order
  kWord,       // ordinal UTF-16 order
};

// Words that are neither listed nor counted.
class StopWords {
 public:
  // Adds the cleaned word `word`.
  void Add(std::string_view word) {
    if (set_.contains(word)) return;
    set_.insert(arena_.Store(word));
    // Summed, so that the same words give the same figure in any order.
    fingerprint_ += MixedHash(word);
  }
  // True when `word` was added.
  bool Contains(std::string_view word) const { return set_.contains(word); }
  bool empty() const { return set_.empty(); }
  std::size_t size() const { return set_.size(); }
  // A figure of the words added, the same for the same words however they were
  // added; 0 for none.
  std::uint64_t fingerprint() const { return fingerprint_; }

 private:
  static std::uint64_t MixedHash(std::string_view word) {
    std::uint64_t h = 0xcbf29ce484222325ull;  // FNV-1a: the same in every build
    for (const char c : word) h = (h ^ static_cast<unsigned char>(c)) * 0x100000001b3ull;
    return (h ^ (h >> 29)) | 1;
  }

  std::uint64_t fingerprint_ = 0;
  WordArena arena_;
  boost::unordered_flat_set<std::string_view, WordHash, std::equal_to<std::string_view>> set_;
};

// Puts the words of one or more runs together, folding their case and leaving out
// stop words when told to, and counts for each word the runs it occurs in.
class CorpusMerger {
 public:
  // `encoding` is that of the words added; `stop_words` must outlive the merger.
  CorpusMerger(WordEncoding encoding, bool fold_case, const StopWords* stop_words);

  // Adds the distinct words of one run (one input file, or all of them).
  void AddRun(std::span<const CountedWord> words);

  // Adds `count` occurrences of the cleaned `word` of the run numbered `run` (from 1;
  // the words of one run may come mixed with those of others only in run order).
  void AddWord(std::uint64_t run, std::string_view word, std::uint64_t count = 1);

  // The merged words, least frequent first, ties in ordinal UTF-16 order.
  CorpusList Take() &&;

 private:
  struct Figures {
    std::uint64_t count = 0;
    std::uint64_t files = 0;
    std::uint64_t last_run = 0;
  };

  WordEncoding encoding_;
  bool fold_case_;
  const StopWords* stop_words_;
  std::uint64_t runs_ = 0;
  std::uint64_t total_ = 0;
  WordArena arena_;
  boost::unordered_flat_map<std::string_view, Figures, WordHash, std::equal_to<std::string_view>>
      words_;
  std::string folded_;
};

// The list of a run that needs no merging: its words, with their files figure when
// the run counted it (else 1), without the stop words.
CorpusList ListOfRun(ExtractionResult&& result, const StopWords* stop_words);

// Keeps the words seen at least `min_count` times, then the `top` most frequent
// (ties in ordinal UTF-16 order), and puts them in `order`; the figures stay those
// of all the words counted.
void ShapeList(CorpusList& list, std::uint64_t min_count, std::optional<std::uint64_t> top,
               WordOrder order);

// Appends `word` with its case folded, in `encoding`, to `out`.
void AppendFolded(std::string_view word, WordEncoding encoding, std::string& out);

}  // namespace lintavel
