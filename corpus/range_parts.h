#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <boost/unordered/unordered_flat_map.hpp>

#include "corpus/equal_parts.h"
#include "corpus/word_list.h"
#include "engine/extraction.h"
#include "engine/file_decoding.h"
#include "engine/file_failure.h"
#include "engine/range_extraction.h"
#include "engine/word_arena.h"
#include "engine/word_hash.h"

namespace lintavel {

// Where the words of a corpus fall among its equal parts, by word number from 0.
class PartPlaces {
 public:
  PartPlaces(std::uint64_t total, std::uint32_t parts);

  // The part of the word numbered `word` (below the total).
  std::uint32_t PartOf(std::uint64_t word) const;
  // The number of the first word after `part`.
  std::uint64_t EndOf(std::uint32_t part) const;

  const EqualParts& equal() const { return equal_; }

 private:
  EqualParts equal_;
  std::uint64_t base_;
  std::uint64_t longer_;
};

// The counts of the words of a stretch of a corpus in the equal parts it spans,
// kept by word with each word's parts in order: what the ranges of a corpus counted
// apart give, joined in the order of the ranges.
class SpreadCounts {
 public:
  using Parts = std::vector<std::pair<std::uint32_t, std::uint64_t>>;

  // Adds `count` of `word` to `part`, at or after any part it was added to before.
  void Add(std::uint32_t part, std::string_view word, std::uint64_t count);

  // Adds the counts of the stretch that comes next, in the parts from the last one
  // here on.
  void Append(const SpreadCounts& next);

  // The parts `word` occurs in and its count in each, in order.
  std::span<const std::pair<std::uint32_t, std::uint64_t>> PartsOf(std::string_view word) const;

  std::size_t words() const { return words_.size(); }

  std::string Serialize() const;
  // Throws std::invalid_argument for bytes that Serialize did not write.
  static SpreadCounts Deserialize(std::string_view bytes);

 private:
  WordArena arena_;
  boost::unordered_flat_map<std::string_view, Parts, WordHash, std::equal_to<std::string_view>>
      words_;
};

// The words of `list`, all of them in the part of the word numbered `first`.
SpreadCounts SpreadInOnePart(const CorpusList& list, const PartPlaces& places, std::uint64_t first);

// Reads again the words of the file at `path` that begin in `range`, as ExtractCorpusRange
// counts them with `options` (folded with `fold_case` into `encoding`, stop words left
// out), and places them in their parts, the first being the corpus's word numbered
// `first`. Throws std::runtime_error when the reading fails or does not give the
// `words` words counted before (the file changed), std::invalid_argument for a range
// not within the file.
SpreadCounts SpreadRange(const std::filesystem::path& path, ByteRange range, FileDecoding decoding,
                         const ExtractionOptions& options, bool fold_case,
                         const StopWords& stop_words, const PartPlaces& places, std::uint64_t first,
                         std::uint64_t words);

}  // namespace lintavel
