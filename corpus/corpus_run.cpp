#include "corpus/corpus_run.h"

#include <optional>

namespace lintavel {

namespace {

// Whether the words of a run shaped by `settings` can be written as the engine
// hands them out: in its order, each word on its own.
bool Streamable(const CorpusSettings& settings) {
  return settings.stream && settings.lemmas == nullptr && settings.stem.empty() &&
         (!settings.fold_case || settings.per_file);
}

// Sets the cut of `run` that lists the `top` most frequent of the words listed, ties
// in ordinal order, from how many words were listed with each count.
void CutTop(CorpusRun& run, std::uint64_t top, const CountTallies& tallies) {
  std::uint64_t left = top;
  for (auto group = tallies.rbegin(); group != tallies.rend(); ++group) {
    if (group->second.listed >= left) {
      run.cut_count = group->first;
      run.cut_taken = left;
      return;
    }
    left -= group->second.listed;
  }
}

// The engine's options for `settings`: with per_file, the files of each word are
// counted, and folded case is folded in the text before it is cut, so that a file
// with "The" and "the" counts once for "the".
// Sequences of words are cut after folding and end at stop words, so both are
// done in the text too.
ExtractionOptions CountingOptions(const ExtractionOptions& options, const CorpusSettings& settings,
                                  const StopWords& stop_words) {
  ExtractionOptions counting = options;
  counting.stream_words = Streamable(settings);
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
  if (result.streamed) {
    // The figures are those of every word counted, the stop words left out; the
    // filter and --min-count only choose the words listed.
    CorpusList& list = run.list;
    list.encoding = result.encoding;
    WordChoice choice;
    choice.min_count = settings.min_count;
    if (stop != nullptr) {
      choice.counts = [stop](std::string_view word) { return !stop->Contains(word); };
    }
    if (settings.filter != nullptr && !settings.filter->empty()) {
      choice.lists = [filter = settings.filter, encoding = list.encoding](std::string_view word) {
        return filter->Keeps(word, encoding);
      };
    }
    const StreamOrder order = settings.order == WordOrder::kCountDesc
                                  ? StreamOrder::kCountDescThenWord
                              : settings.order == WordOrder::kWord ? StreamOrder::kWord
                                                                   : StreamOrder::kCountThenWord;
    const CountTallies tallies = result.streamed->Order(choice, order);
    for (const auto& [count, tally] : tallies) {
      list.total += count * tally.words;
      list.distinct += tally.words;
      if (count == 1) list.once += tally.words;
    }
    run.streamed = std::move(result.streamed);
    if (settings.top) CutTop(run, *settings.top, tallies);
    return run;
  }
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

void StreamWords(CorpusRun& run, const std::function<void()>& take_batch) {
  CorpusList& list = run.list;
  // Without files counted, each word stands for one run, as ListOfRun has it.
  const bool with_files = run.streamed->with_files();
  std::uint64_t at_cut = 0;
  run.streamed->ForEach([&](std::span<const CorpusWord> batch) {
    list.words.clear();
    for (const CorpusWord& word : batch) {
      if (word.count < run.cut_count ||
          (word.count == run.cut_count && at_cut++ >= run.cut_taken)) {
        continue;
      }
      list.words.push_back({word.word, word.count, with_files ? word.files : 1});
    }
    if (!list.words.empty()) take_batch();
  });
  list.words.clear();
  run.streamed.reset();
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
