#include "corpus/stop_lists.h"

#include <string>

#include "corpus/side_file.h"
#include "engine/file_failure.h"

namespace lintavel {

StopWords ReadStopLists(std::span<const std::filesystem::path> lists, ExtractionOptions options,
                        bool fold_case) {
  StopWords stop_words;
  for (const std::filesystem::path& list : lists) {
    if (const auto refusal = SideFileRefusal(list.string(), PipeRule::kRefuse)) {
      throw StopListError("cannot read the stop list '" + list.string() + "': " + *refusal);
    }
  }
  if (lists.empty()) return stop_words;
  options.html = false;
  options.ngrams = {};
  options.progress = nullptr;
  options.threads = 1;
  std::string failure;
  options.on_failure = [&](const FileFailure& error) {
    if (failure.empty()) failure = FailureMessage(error);
  };
  const ExtractionResult read = ExtractWords(lists, options);
  if (read.reports != 0) {
    throw StopListError("cannot read the stop list" +
                        (lists.size() == 1 ? " '" + lists[0].string() + "'" : std::string("s")) +
                        (failure.empty() ? "" : ": " + failure));
  }
  std::string folded;
  for (const CountedWord& word : read.words) {
    if (!fold_case) {
      stop_words.Add(word.word);
      continue;
    }
    folded.clear();
    AppendFolded(word.word, read.encoding, folded);
    stop_words.Add(folded);
  }
  return stop_words;
}

}  // namespace lintavel
