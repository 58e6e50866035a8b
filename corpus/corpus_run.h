#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <limits>
#include <memory>
#include <optional>
#include <span>
#include <string>

#include "corpus/lemma_list.h"
#include "corpus/list_filters.h"
#include "corpus/stemming.h"
#include "corpus/word_list.h"
#include "engine/extraction.h"
#include "engine/file_decoding.h"
#include "engine/file_failure.h"
#include "engine/range_extraction.h"
#include "engine/streamed_words.h"

namespace lintavel {

// How the words of a run are put together and chosen.
struct CorpusSettings {
  bool fold_case = false;  // words that differ only in case are one, listed folded
  bool per_file = false;   // count for each word the input files it occurs in
  std::uint64_t min_count = 0;
  std::optional<std::uint64_t> top;
  WordOrder order = WordOrder::kCount;
  // Grouping and filtering of the counted words, in this order, before min_count and
  // top; the total stays the corpus's. Lemmas and stems need per_file off (the files
  // of a group are not the sum of its words' files).
  std::shared_ptr<const LemmaList> lemmas;  // each form counted under its lemma
  std::string stem;                         // a Snowball language: words under their stems
  StemShow stem_show = StemShow::kStem;
  std::shared_ptr<const ListFilter> filter;  // only the words it keeps are listed
  // A run that spills or counts sequences may hand its words out one by one
  // (CorpusRun::streamed), when nothing asked needs them all at once (no lemmas or
  // stems, no case folded after counting).
  bool stream = false;
};

struct CorpusRun {
  CorpusList list;
  int reports = 0;             // failures reported by the reader
  std::size_t files_read = 0;  // files that could be opened and read
  bool cancelled = false;      // the run was cancelled; `list` is then empty
  SpillStats spill;            // what the counting wrote to its temporary folder
  // When the words are handed out one by one: `list` has its figures but no words,
  // which StreamWords puts in it a batch at a time.
  std::shared_ptr<StreamedWords> streamed;
  // Which of those are listed, for --top: the words counted more often than
  // `cut_count`, and the first `cut_taken` of the words counted exactly that often.
  std::uint64_t cut_count = 0;
  std::uint64_t cut_taken = std::numeric_limits<std::uint64_t>::max();
};

// Whether `settings` group the words (lemmas, stems) or filter the list.
bool GroupsOrFilters(const CorpusSettings& settings);

// Groups the words of `list` under their lemmas, then their stems, then removes what
// the filter does not keep, as `settings` say; the total stays.
void GroupAndFilter(CorpusList& list, const CorpusSettings& settings);

// Puts the listed words of `run.streamed` in `run.list.words`, in order, a batch at
// a time, calling `take_batch` after each; the views last for that call. The list
// and the stream are empty after. Throws ExtractionFailure when the stream fails.
void StreamWords(CorpusRun& run, const std::function<void()>& take_batch);

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
