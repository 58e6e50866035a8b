#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include <boost/unordered/unordered_flat_map.hpp>

#include "corpus/word_list.h"
#include "engine/extraction.h"
#include "engine/file_failure.h"
#include "engine/word_hash.h"

namespace lintavel {

// What a result was counted with, as far as it decides whether results add up to
// the result of one run over all their input.
struct CountsOrigin {
  InputEncoding encoding = InputEncoding::kCp1252;
  bool fold_case = false;
  bool html = false;
  bool per_file = false;         // each word's files figure was counted
  std::uint64_t stop_words = 0;  // StopWords::fingerprint() of the stop words left out
  bool cut = false;              // words were left out, grouped or filtered after counting
  bool unicode_words = false;    // cut by the Unicode word boundaries
  bool split_elisions = false;   // with unicode_words
  // The sequences counted in place of the words: 1 and 1 for the words themselves;
  // ngram_breaks is the NgramBreaks value.
  unsigned ngram_shortest = 1;
  unsigned ngram_longest = 1;
  unsigned ngram_breaks = 0;

  bool operator==(const CountsOrigin&) const = default;
};

// The counted words of a run or of part of one, in the order of its list, with the
// files that failed and what it was counted with.
class CorpusCounts {
 public:
  // Counts of nothing, made with nothing: they add to any counts.
  CorpusCounts() = default;
  CorpusCounts(CorpusList list, std::vector<FileFailure> failures, const CountsOrigin& origin);
  CorpusCounts(CorpusCounts&&) noexcept = default;
  CorpusCounts& operator=(CorpusCounts&&) noexcept = default;

  const CorpusList& list() const { return list_; }
  const std::vector<FileFailure>& failures() const { return failures_; }
  // What the counts were made with; nothing for CorpusCounts().
  const std::optional<CountsOrigin>& origin() const { return origin_; }
  bool per_file() const { return origin_ && origin_->per_file; }

  // How often `word` (bytes in the list's encoding) was counted; 0 when never.
  std::uint64_t CountOf(std::string_view word) const;

  // In how many files `word` occurs; 0 when never.
  std::uint64_t FilesOf(std::string_view word) const;

  // Whether `word` is one of the listed words.
  bool Contains(std::string_view word) const;

  // The sum of `parts`: every word's counts added, the totals added, the failures in
  // the order of the parts; the words in the window's order. The files figures are
  // added, or with `same_file` (parts that are ranges of one file) the largest kept.
  // Throws std::invalid_argument when the sum would not be what one run over all
  // the parts' input gives: parts cut by a minimum count or a top, or made with
  // different encodings, case folding, HTML, stop words or files figures.
  static CorpusCounts Merged(std::span<const CorpusCounts* const> parts, bool same_file = false);

  // Keeps the words seen at least `min_count` times, then the `top` most frequent,
  // in `order`; the total stays that of every word counted. Counts that lose words
  // so can no longer be merged.
  void Shape(std::uint64_t min_count, std::optional<std::uint64_t> top, WordOrder order);

  // Changes the list by `change` (lemmas, stems, filters), which keeps its total;
  // counts so changed are merged with no others.
  void Regroup(const std::function<void(CorpusList&)>& change);

  // Drops each failure that repeats the one before it (the ranges of one file each
  // tell of the same failure).
  void DropRepeatedFailures();

  // The words cut into `parts` pieces (at least 1) by a hash of their bytes that is
  // the same in every process and build, in the order of the list; a piece's total
  // is that of its words, the failures go with the first piece. Pieces numbered
  // alike merge as the counts do, so that each holds one share of the words.
  std::vector<CorpusCounts> Partitioned(std::size_t parts) const;

  // The piece of Partitioned(parts) that `word` falls in.
  static std::size_t PartitionOf(std::string_view word, std::size_t parts);

  // A compact binary form: the words' bytes and a few bytes per word.
  std::string Serialize() const;

  // The counts that Serialize gave `bytes`; throws std::invalid_argument on
  // anything else.
  static CorpusCounts Deserialize(std::string_view bytes);

 private:
  const CorpusWord* Find(std::string_view word) const;

  CorpusList list_;
  std::vector<FileFailure> failures_;
  std::optional<CountsOrigin> origin_;
  // Built on the first lookup: from a word to its place in the list.
  mutable boost::unordered_flat_map<std::string_view, std::size_t, WordHash,
                                    std::equal_to<std::string_view>>
      index_;
};

}  // namespace lintavel
