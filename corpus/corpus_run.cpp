#include "corpus/corpus_run.h"

namespace lintavel {

namespace {

// One run over all the files whose words come back one by one with their file, so
// that each word's files are counted as the text goes by.
CorpusRun ExtractPerFile(std::span<const std::filesystem::path> files,
                         const ExtractionOptions& options, const CorpusSettings& settings,
                         const StopWords* stop_words) {
  CorpusMerger merger(
      options.encoding == InputEncoding::kCp1252 ? WordEncoding::kCp1252 : WordEncoding::kUtf8,
      settings.fold_case, stop_words);
  ExtractionOptions each_word = options;
  each_word.on_word = [&merger](std::size_t file, std::string_view word) {
    merger.AddWord(file + 1, word);
  };
  const ExtractionResult result = ExtractWords(files, each_word);
  CorpusRun run;
  run.reports = result.reports;
  run.files_read = result.files_read;
  run.list = std::move(merger).Take();
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
