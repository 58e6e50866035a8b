#include "corpus/corpus_run.h"

#include "engine/input_file.h"

namespace lintavel {

namespace {

CorpusRun ExtractPerFile(std::span<const std::filesystem::path> files,
                         const ExtractionOptions& options, const CorpusSettings& settings,
                         const StopWords* stop_words) {
  CorpusRun run;
  CorpusMerger merger(
      options.encoding == InputEncoding::kCp1252 ? WordEncoding::kCp1252 : WordEncoding::kUtf8,
      settings.fold_case, stop_words);
  // One progress over all the files, as a single run would tell it.
  ExtractionProgress overall;
  overall.files_total = files.size();
  for (const auto& path : files) overall.bytes_total += RegularFileSize(path);
  ExtractionOptions one = options;
  if (options.progress) {
    one.progress = [&](const ExtractionProgress& progress) {
      ExtractionProgress shown = overall;
      shown.bytes_done += progress.bytes_done;
      shown.files_done += progress.files_done;
      options.progress(shown);
    };
  }
  for (const auto& path : files) {
    ExtractionResult result = ExtractWords(std::span(&path, 1), one);
    run.reports += result.reports;
    run.files_read += result.files_read;
    merger.AddRun(result.words);
    overall.bytes_done += RegularFileSize(path);
    ++overall.files_done;
  }
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
