#include "cli/kwic_command.h"

#include <new>
#include <utility>

#include "cli/arguments.h"
#include "cli/corpus_options.h"
#include "cli/extract_command.h"
#include "corpus/concordance_writer.h"

namespace lintavel {

namespace {

constexpr std::string_view kProgram = "lintavel-extract";

}  // namespace

std::optional<bool> TakeKwicOption(std::string_view name,
                                   const std::function<std::optional<std::string>()>& value,
                                   KwicArguments& kwic, std::string& error) {
  if (name == "--kwic") {
    const auto word = value();
    if (!word || word->empty()) {
      error = "option --kwic needs a word";
      return false;
    }
    kwic.word = word;
    return true;
  }
  if (name == "--kwic-sort") {
    const std::string order = value().value_or("");
    if (order == "text") {
      kwic.sort = KwicSort::kText;
    } else if (order == "right") {
      kwic.sort = KwicSort::kRight;
    } else if (order == "left") {
      kwic.sort = KwicSort::kLeft;
    } else {
      error = "unknown concordance order '" + order + "' (text, right or left)";
      return false;
    }
    return true;
  }
  if (name == "--kwic-width") {
    std::uint64_t width = 0;
    if (auto wrong = TakeWholeNumber(name, value(), 0, kMaxConcordanceWidth, width)) {
      error = std::move(*wrong);
      return false;
    }
    kwic.width = static_cast<std::size_t>(width);
    return true;
  }
  return std::nullopt;
}

std::optional<std::string> KwicArgumentsError(const Arguments& parsed) {
  const CorpusArguments& corpus = parsed.corpus;
  if (!parsed.kwic.word) {
    if (parsed.kwic.sort != KwicSort::kText || parsed.kwic.width != KwicArguments{}.width) {
      return "--kwic-sort and --kwic-width go with --kwic";
    }
    return std::nullopt;
  }
  if (parsed.counts || !corpus.stop_lists.empty() || corpus.settings.per_file ||
      corpus.settings.min_count != CorpusSettings{}.min_count ||
      corpus.settings.top != CorpusSettings{}.top || corpus.stats || parsed.output_encoding) {
    return "--kwic goes with none of --counts, --stop-list, --min-count, --top, --per-file, "
           "--stats and --output-encoding";
  }
  if (corpus.ngrams.active()) return "--kwic does not go with --ngrams";
  const WordOptions& words = corpus.word_options;
  if (words.lemma_list || !corpus.settings.stem.empty() || !words.filters.match.empty() ||
      !words.filters.exclude.empty() || words.filters.min_length || words.filters.max_length) {
    // The concordance finds the words of the text, not the groups or choices of a list.
    return "--kwic goes with none of --lemma-list, --stem, --match, --exclude, "
           "--min-length and --max-length";
  }
  return std::nullopt;
}

int RunKwic(const Arguments& parsed, const std::vector<std::filesystem::path>& files,
            std::optional<SafeFileWriter>& output_file, const CommandStreams& streams) {
  std::ostream& err = streams.err;
  ConcordanceOptions options;
  options.encoding = parsed.encoding;
  options.html = parsed.corpus.html;
  options.fold_case = parsed.corpus.settings.fold_case;
  options.words = parsed.corpus.word_options.words;
  options.split_elisions = parsed.corpus.word_options.split_elisions;
  options.width = parsed.kwic.width;
  options.threads = parsed.threads;
  int failures = 0;
  options.on_failure = [&](const FileFailure& failure) {
    ++failures;
    err << kProgram << ": " << FailureMessage(failure) << '\n';
  };
  std::vector<ConcordanceLine> lines;
  try {
    FindConcordance(files, *parsed.kwic.word, options, [&lines](const ConcordanceLine& line) {
      lines.push_back(line);
      return true;
    });
    SortConcordance(lines, parsed.kwic.sort);
  } catch (const std::bad_alloc&) {
    err << kProgram << ": out of memory while finding the lines of '" << *parsed.kwic.word << "'\n";
    return kExitSomeFailed;
  }
  const ListFormat format = parsed.corpus.format.value_or(ListFormat::kText);
  int status = failures == 0 ? kExitAllRead : kExitSomeFailed;
  if (output_file && failures == static_cast<int>(files.size())) {
    err << kProgram << ": no input could be read; '" << *parsed.output << "' is left as it was\n";
    return kExitSomeFailed;
  }
  try {
    if (output_file) {
      WriteConcordance(lines, *parsed.kwic.word, format, options.width,
                       [&](std::string_view chunk) { output_file->Write(chunk); });
      output_file->Commit();
    } else {
      WriteConcordance(
          lines, *parsed.kwic.word, format, options.width, [&](std::string_view chunk) {
            streams.out.write(chunk.data(), static_cast<std::streamsize>(chunk.size()));
          });
      streams.out.flush();
      if (!streams.out) {
        err << kProgram << ": cannot write the lines to standard output\n";
        status = kExitSomeFailed;
      }
    }
  } catch (const FileWriteError& failure) {
    err << kProgram << ": " << failure.what() << '\n';
    status = kExitSomeFailed;
  }
  return status;
}

}  // namespace lintavel
