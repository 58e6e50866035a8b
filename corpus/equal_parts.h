#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "corpus/corpus_run.h"
#include "corpus/dispersion.h"
#include "corpus/word_list.h"
#include "engine/extraction.h"

namespace lintavel {

// The most parts a corpus is cut into by word position.
inline constexpr std::uint32_t kMaxEqualParts = 1000000;

// Reads what a dispersion is taken over: "files" (`parts` 0) or "parts=N", N from 2
// to kMaxEqualParts. Gives the reason for anything else, or nothing.
std::optional<std::string> ReadDispersionOver(std::string_view value, std::uint32_t& parts);

// `total` words cut into `parts` parts of equal size in word order; the first
// `total % parts` parts take one word more.
class EqualParts {
 public:
  EqualParts(std::uint64_t total, std::uint32_t parts);

  // The number of words of `part`.
  std::uint64_t SizeOf(std::uint32_t part) const { return base_ + (part < longer_ ? 1 : 0); }

  std::uint32_t parts() const { return parts_; }

 private:
  std::uint32_t parts_;
  std::uint64_t base_;
  std::uint32_t longer_;
};

// Counts `files` with the engine as ExtractCorpus does with `options`, `settings`
// and `stop_words`, and gives each word's counts in `parts` equal parts of the
// words counted (2 to kMaxEqualParts), from the same reading: only the blocks across
// a part's end are read again. Past options.memory_limit, the blocks' counts give
// way to a second reading of the text. HTML is not read so. Throws as ExtractCorpus
// does.
DispersedRun ExtractCorpusByParts(std::span<const std::filesystem::path> files,
                                  const ExtractionOptions& options, const CorpusSettings& settings,
                                  const StopWords& stop_words, std::uint32_t parts);

}  // namespace lintavel
