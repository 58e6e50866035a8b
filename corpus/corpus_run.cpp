#include "corpus/corpus_run.h"

namespace lintavel {

namespace {

// The engine's options for `settings`: with per_file, the files of each word are
// counted, and folded case is folded in the text before it is cut, so that a file
// with "The" and "the" counts once for "the".
// Sequences of words are cut after folding and end at stop words, so both are
// done in the text too.
ExtractionOptions CountingOptions(const ExtractionOptions& options, const CorpusSettings& settings,
                                  const StopWords& stop_words) {
  ExtractionOptions counting = options;
  const bool sequences = options.ngrams.active();
  if (sequences && !stop_words.empty()) {
    counting.ngrams.is_stop = [&stop_words](std::string_view word) {
      return stop_words.Contains(word);
    };
  }
  if (!settings.per_file && !sequences) return counting;
  counting.count_files = settings.per_file;
  if (settings.fold_case) {
    const WordEncoding encoding =
        options.encoding == InputEncoding::kCp1252 ? WordEncoding::kCp1252 : WordEncoding::kUtf8;
    counting.transform_text = [encoding](std::string_view text, std::string& out) {
      AppendFolded(text, encoding, out);
    };
  }
  return counting;
}

// The list of the words that CountingOptions counted, as `settings` shape it.
CorpusRun RunOf(ExtractionResult&& result, const CorpusSettings& settings,
                const StopWords& stop_words) {
  const StopWords* stop = stop_words.empty() ? nullptr : &stop_words;
  CorpusRun run;
  run.reports = result.reports;
  run.files_read = result.files_read;
  run.cancelled = result.cancelled;
  run.spill = result.spill;
  if (settings.fold_case && !settings.per_file) {
    CorpusMerger merger(result.encoding, true, stop);
    merger.AddRun(result.words);
    run.list = std::move(merger).Take();
  } else {
    run.list = ListOfRun(std::move(result), stop);
  }
  GroupAndFilter(run.list, settings);
  ShapeList(run.list, settings.min_count, settings.top, settings.order);
  return run;
}

}  // namespace

bool GroupsOrFilters(const CorpusSettings& settings) {
  return settings.lemmas != nullptr || !settings.stem.empty() ||
         (settings.filter != nullptr && !settings.filter->empty());
}

void GroupAndFilter(CorpusList& list, const CorpusSettings& settings) {
  if (settings.lemmas != nullptr) ApplyLemmas(list, *settings.lemmas);
  if (!settings.stem.empty()) ApplyStemming(list, settings.stem, settings.stem_show);
  if (settings.filter != nullptr && !settings.filter->empty()) FilterList(list, *settings.filter);
}

CorpusRun ExtractCorpus(std::span<const std::filesystem::path> files,
                        const ExtractionOptions& options, const CorpusSettings& settings,
                        const StopWords& stop_words) {
  return RunOf(ExtractWords(files, CountingOptions(options, settings, stop_words)), settings,
               stop_words);
}

CorpusRun ExtractCorpusRange(const std::filesystem::path& path, ByteRange range,
                             FileDecoding decoding, const ExtractionOptions& options,
                             const CorpusSettings& settings, const StopWords& stop_words,
                             const FailureSink& on_failure) {
  ExtractionOptions counting = CountingOptions(options, settings, stop_words);
  if ((settings.per_file || options.ngrams.active()) && settings.fold_case) {
    // The words of a range are in UTF-8 unless it is read as Windows-1252 bytes.
    const WordEncoding encoding =
        decoding == FileDecoding::kCp1252 ? WordEncoding::kCp1252 : WordEncoding::kUtf8;
    counting.transform_text = [encoding](std::string_view text, std::string& out) {
      AppendFolded(text, encoding, out);
    };
  }
  return RunOf(ExtractRange(path, range, decoding, counting, on_failure), settings, stop_words);
}

}  // namespace lintavel
