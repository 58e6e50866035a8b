#include "cli/corpus_options.h"

#include <charconv>
#include <filesystem>
#include <fstream>

#include "corpus/option_names.h"

namespace lintavel {

namespace {

constexpr std::string_view kProgram = "lintavel-extract";

std::optional<std::uint64_t> WholeNumber(const std::optional<std::string>& text) {
  std::uint64_t number = 0;
  if (!text || text->empty()) return std::nullopt;
  const char* end = text->data() + text->size();
  if (std::from_chars(text->data(), end, number).ptr != end) return std::nullopt;
  return number;
}

}  // namespace

std::optional<bool> TakeCorpusOption(std::string_view name, bool inline_value,
                                     const std::function<std::optional<std::string>()>& value,
                                     CorpusArguments& corpus, std::string& error) {
  const auto set_switch = [&](bool& flag) {
    if (inline_value) {
      error = "option " + std::string(name) + " takes no value";
      return false;
    }
    flag = true;
    return true;
  };
  if (name == "--fold-case") return set_switch(corpus.settings.fold_case);
  if (name == "--html") return set_switch(corpus.html);
  if (name == "--per-file") return set_switch(corpus.settings.per_file);
  if (name == "--stats") return set_switch(corpus.stats);
  if (name == "--stop-list") {
    const auto file = value();
    if (!file || file->empty()) {
      error = "option --stop-list needs a file name";
      return false;
    }
    corpus.stop_lists.push_back(*file);
    return true;
  }
  if (name == "--min-count" || name == "--top") {
    const auto number = WholeNumber(value());
    if (!number || (name == "--top" && *number == 0)) {
      error = "option " + std::string(name) + " needs a whole number" +
              (name == "--top" ? " from 1" : "");
      return false;
    }
    if (name == "--top") {
      corpus.settings.top = number;
    } else {
      corpus.settings.min_count = *number;
    }
    return true;
  }
  if (name == "--sort") {
    const auto order = value().value_or("");
    const auto named = WordOrderNamed(order);
    if (!named) {
      error = "unknown sort '" + order + "' (count, count-desc or word)";
      return false;
    }
    corpus.settings.order = *named;
    return true;
  }
  if (name == "--format") {
    const auto format = value().value_or("");
    if (format == "text") {
      corpus.format = ListFormat::kText;
    } else if (format == "tsv") {
      corpus.format = ListFormat::kTsv;
    } else if (format == "csv") {
      corpus.format = ListFormat::kCsv;
    } else if (format == "json") {
      corpus.format = ListFormat::kJson;
    } else {
      error = "unknown format '" + format + "' (text, tsv, csv or json)";
      return false;
    }
    return true;
  }
  return std::nullopt;
}

ListFormat FormatOf(const CorpusArguments& corpus, bool counts) {
  return counts ? ListFormat::kTsv : corpus.format.value_or(ListFormat::kText);
}

std::optional<std::string> CorpusArgumentsError(const CorpusArguments& corpus, bool counts) {
  if (counts && corpus.format && *corpus.format != ListFormat::kTsv) {
    return "--counts is --format tsv and goes with no other format";
  }
  if (corpus.settings.per_file && FormatOf(corpus, counts) == ListFormat::kText) {
    return "--per-file needs --format tsv, csv or json";
  }
  return std::nullopt;
}

bool LoadStopWords(const CorpusArguments& corpus, ExtractionOptions options, StopWords& stop_words,
                   std::ostream& err) {
  std::vector<std::filesystem::path> lists;
  for (const std::string& name : corpus.stop_lists) {
    std::error_code ignored;
    const bool folder = std::filesystem::is_directory(name, ignored);
    if (folder || !std::ifstream(name, std::ios::binary)) {
      err << kProgram << ": cannot read the stop list '" << name << "'"
          << (folder ? ": it is a folder" : "") << '\n';
      return false;
    }
    lists.emplace_back(name);
  }
  if (lists.empty()) return true;
  options.html = false;
  options.progress = nullptr;
  options.threads = 1;
  const ExtractionResult read = ExtractWords(lists, options);
  if (read.reports != 0) {
    err << kProgram << ": cannot read the stop lists\n";
    return false;
  }
  std::string folded;
  for (const CountedWord& word : read.words) {
    if (!corpus.settings.fold_case) {
      stop_words.Add(word.word);
      continue;
    }
    folded.clear();
    AppendFolded(word.word, read.encoding, folded);
    stop_words.Add(folded);
  }
  return true;
}

}  // namespace lintavel
