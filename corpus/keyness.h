#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string_view>
#include <vector>

#include "corpus/list_writer.h"
#include "corpus/word_list.h"

namespace lintavel {

// The scores of one word counted `target` times in a corpus of `target_total` words
// and `reference` times in one of `reference_total` words.
struct KeynessScores {
  double log_likelihood = 0;  // G2, the two-term form; a term of a zero count is 0
  double log_ratio = 0;       // log2 of the ratio of relative frequencies, a 0 count as 0.5
  std::optional<double> percent_diff;  // %DIFF; nothing when the reference count is 0
  char direction = '=';                // '+' more frequent in the target, '-' less
};

// Scores the 2x2 table: a = target, b = reference, c = target_total,
// d = reference_total.
KeynessScores ScoreKeyness(std::uint64_t target, std::uint64_t reference,
                           std::uint64_t target_total, std::uint64_t reference_total);

// Which words a keyness table lists.
enum class KeynessSide {
  kPositive,  // relatively more frequent in the target
  kNegative,  // relatively less frequent in the target, also those only in the reference
  kBoth,      // every word of either corpus
};

struct KeywordRow {
  std::string_view word;
  std::uint64_t target = 0;
  std::uint64_t reference = 0;
  KeynessScores scores;
};

// The keywords of a target list against a reference list, G2 highest first.
struct KeynessTable {
  WordArena storage;  // the words only the reference has
  std::vector<KeywordRow> rows;
  WordEncoding encoding = WordEncoding::kCp1252;
  std::uint64_t target_total = 0;
  std::uint64_t reference_total = 0;
};

// Compares every word of `target` with `reference` (both of all the words counted,
// in the same encoding), keeps the rows of `side` with a G2 of at least `min_ll`
// and at least `min_count` in the target or the reference, G2 highest first (ties
// in byte order), then the first `top`.
KeynessTable CompareLists(const CorpusList& target, const CorpusList& reference, KeynessSide side,
                          double min_ll, std::uint64_t min_count, std::optional<std::uint64_t> top);

// Writes `table` in `format` as WriteList writes lists: text is the words, one a
// line; TSV, CSV and JSON have the columns word, target_count, reference_count,
// target_total, reference_total, log_likelihood, log_ratio, percent_diff and
// direction (TSV and CSV with a header line).
void WriteKeyness(const KeynessTable& table, ListFormat format, WordEncoding output,
                  const std::function<void(std::string_view)>& write);

}  // namespace lintavel
