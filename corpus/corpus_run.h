#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>

#include "corpus/word_list.h"
#include "engine/extraction.h"
#include "engine/file_decoding.h"
#include "engine/file_failure.h"
#include "engine/range_extraction.h"

namespace lintavel {

// How the words of a run are put together and chosen.
struct CorpusSettings {
  bool fold_case = false;  // words that differ only in case are one, listed folded
  bool per_file = false;   // count for each word the input files it occurs in
  std::uint64_t min_count = 0;
  std::optional<std::uint64_t> top;
  WordOrder order = WordOrder::kCount;
};

struct CorpusRun {
  CorpusList list;
  int reports = 0;             // failures reported by the reader
  std::size_t files_read = 0;  // files that could be opened and read
  bool cancelled = false;      // the run was cancelled; `list` is then empty
};

// Counts the words of `files` with the engine as `options` say and shapes them as
// `settings` say, leaving out `stop_words`. With per_file, the engine also counts
// each word's files. Throws ExtractionFailure as ExtractWords does.
CorpusRun ExtractCorpus(std::span<const std::filesystem::path> files,
                        const ExtractionOptions& options, const CorpusSettings& settings,
                        const StopWords& stop_words);

// Counts the words of the file at `path` that begin in `range`, as ExtractRange
// does, read with `decoding`, and shapes them as ExtractCorpus does: the ranges of
// a file, counted and merged, are the file's run. Failures go to `on_failure`.
CorpusRun ExtractCorpusRange(const std::filesystem::path& path, ByteRange range,
                             FileDecoding decoding, const ExtractionOptions& options,
                             const CorpusSettings& settings, const StopWords& stop_words,
                             const FailureSink& on_failure);

}  // namespace lintavel
