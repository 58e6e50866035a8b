#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include <boost/unordered/unordered_flat_map.hpp>

#include "corpus/corpus_run.h"
#include "corpus/word_list.h"
#include "engine/word_hash.h"

namespace lintavel {

// How evenly a word is spread over the parts of a corpus.
struct DispersionScores {
  std::optional<double> juilland_d;  // nothing for fewer than two parts with words
  double gries_dp = 0;
};

// The scores of a word counted `counts[i]` times in part i of `sizes[i]` words
// (at least one count above 0). Juilland's D is taken over the parts' relative
// frequencies counts[i] / sizes[i], parts without words left out; Gries's DP
// weighs each part by its share of the words.
DispersionScores ScoreDispersion(std::span<const std::uint64_t> counts,
                                 std::span<const std::uint64_t> sizes);

// The scores of ScoreDispersion for many words over the same parts, each in time of
// the number of parts the word occurs in rather than of all the parts (a corpus
// cut into a million parts). Sums run in another order than ScoreDispersion's,
// so the last bits of a figure may differ from it.
class SparseDispersion {
 public:
  explicit SparseDispersion(std::span<const std::uint64_t> sizes);

  // The scores of a word counted `counts[k].second` times in part `counts[k].first`,
  // each part once, and in no other.
  DispersionScores Score(std::span<const std::pair<std::uint32_t, std::uint64_t>> counts) const;

 private:
  std::span<const std::uint64_t> sizes_;
  double total_ = 0;
  std::size_t with_words_ = 0;  // parts of at least one word
};

// The counts of the words in each part of a corpus, kept only where not 0.
class PartCounts {
 public:
  // Adds the words of the next part.
  void AddPart(const CorpusList& part);

  // Adds `count` of `word` to the part numbered `part` (from 0, the parts in
  // order), which EndPart then ends with its size in words.
  void Add(std::uint32_t part, std::string_view word, std::uint64_t count);
  void EndPart(std::uint64_t size);

  // Adds the counts of `word` in the parts of `counts`, which come after any part
  // it was added to before, each part once.
  void AddWord(std::string_view word,
               std::vector<std::pair<std::uint32_t, std::uint64_t>>&& counts);

  std::span<const std::uint64_t> sizes() const { return sizes_; }

  // The count of `word` in each part, into `counts` (one per part).
  void CountsOf(std::string_view word, std::vector<std::uint64_t>& counts) const;

  // The parts `word` occurs in and its count in each, in the order in which they
  // were added.
  std::span<const std::pair<std::uint32_t, std::uint64_t>> PartsOf(std::string_view word) const;

 private:
  std::vector<std::uint64_t> sizes_;
  WordArena arena_;
  boost::unordered_flat_map<std::string_view, std::vector<std::pair<std::uint32_t, std::uint64_t>>,
                            WordHash, std::equal_to<std::string_view>>
      words_;
};

struct DispersedRun {
  CorpusRun run;  // as ExtractCorpus gives it; each word's files figure is its range
  PartCounts parts;
};

// Counts `files` with the engine, each file a part, with `options`, `settings` and
// `stop_words` as ExtractCorpus does, and gives the run of them all with the parts'
// counts. One run hands out each file's words; when the files waiting for the ones
// before them would outgrow options.memory_limit, each file is counted as a run of
// its own instead. Throws as ExtractCorpus does.
DispersedRun ExtractCorpusByFile(std::span<const std::filesystem::path> files,
                                 const ExtractionOptions& options, const CorpusSettings& settings,
                                 const StopWords& stop_words);

}  // namespace lintavel
