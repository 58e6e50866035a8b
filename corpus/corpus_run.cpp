#include "corpus/corpus_run.h"

namespace lintavel {

namespace {

// One run that also counts each word's files; folded case is folded in the text
// before it is cut, so that a file with "The" and "the" counts once for "the".
CorpusRun ExtractPerFile(std::span<const std::filesystem::path> files,
                         const ExtractionOptions& options, const CorpusSettings& settings,
                         const StopWords* stop_words) {
  ExtractionOptions counting = options;
  counting.count_files = true;
  if (settings.fold_case) {
    const WordEncoding encoding =
        options.encoding == InputEncoding::kCp1252 ? WordEncoding::kCp1252 : WordEncoding::kUtf8;
    counting.transform_text = [encoding](std::string_view text, std::string& out) {
      AppendFolded(text, encoding, out);
    };
  }
  ExtractionResult result = ExtractWords(files, counting);
  CorpusRun run;
  run.reports = result.reports;
  run.files_read = result.files_read;
  run.list = ListOfRun(std::move(result), stop_words);
  return run;
}

}  // namespace

CorpusRun ExtractCorpus(std::span<const std::filesystem::path> files,
                        const ExtractionOptions& options, const CorpusSettings& settings,
                        const StopWords& stop_words) {
  const StopWords* stop = stop_words.empty() ? nullptr : &stop_words;
  CorpusRun run;
  if (settings.per_file) {
    run = ExtractPerFile(files, options, settings, stop);
  } else {
    ExtractionResult result = ExtractWords(files, options);
    run.reports = result.reports;
    run.files_read = result.files_read;
    if (settings.fold_case) {
      CorpusMerger merger(result.encoding, true, stop);
      merger.AddRun(result.words);
      run.list = std::move(merger).Take();
    } else {
      run.list = ListOfRun(std::move(result), stop);
    }
  }
  ShapeList(run.list, settings.min_count, settings.top, settings.order);
  return run;
}

}  // namespace lintavel
