#include "cli/corpus_options.h"

#include <algorithm>
#include <charconv>
#include <filesystem>
#include <limits>
#include <memory>
#include <utility>

#include "corpus/side_file.h"

#include "corpus/option_names.h"

namespace lintavel {

namespace {

constexpr std::string_view kProgram = "lintavel-extract";

}  // namespace

std::optional<std::string> TakeWholeNumber(std::string_view name,
                                           const std::optional<std::string>& text,
                                           std::uint64_t least, std::uint64_t most,
                                           std::uint64_t& number) {
  std::string wanted = "needs a whole number";
  if (least > 0) wanted += " from " + std::to_string(least);
  if (most < std::numeric_limits<std::uint64_t>::max()) wanted += " to " + std::to_string(most);
  const std::string option(name);
  if (!text || text->empty()) return "option " + option + " " + wanted;
  const std::string_view digits = std::string_view(*text).substr(text->front() == '-' ? 1 : 0);
  const char* end = digits.data() + digits.size();
  const auto [stop, error] = std::from_chars(digits.data(), end, number);
  if (stop != end || digits.empty() || digits.front() == '+') {
    return "option " + option + " " + wanted;
  }
  // A number too large to hold, a negative one, or one outside the option's range.
  if (error == std::errc::result_out_of_range || digits.size() != text->size() || number < least ||
      number > most) {
    return "option " + option + ": " + *text + " is out of range; it " + wanted;
  }
  return std::nullopt;
}

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
  if (name == "--split-elisions") return set_switch(corpus.split_elisions);
  if (name == "--words") {
    const auto rule = value().value_or("");
    if (rule == "default") {
      corpus.words = WordRule::kDefault;
    } else if (rule == "unicode") {
      corpus.words = WordRule::kUnicode;
    } else {
      error = "unknown word rule '" + rule + "' (default or unicode)";
      return false;
    }
    return true;
  }
  if (name == "--lemma-list" || name == "--stem") {
    const auto text = value();
    if (!text || text->empty()) {
      error = "option " + std::string(name) +
              (name == "--stem" ? " needs a language" : " needs a file name");
      return false;
    }
    if (name == "--lemma-list") {
      corpus.lemma_list = *text;
      return true;
    }
    const auto languages = StemmerLanguages();
    if (std::find(languages.begin(), languages.end(), *text) == languages.end()) {
      error = "no stemmer for '" + *text + "'; there are: ";
      for (std::size_t i = 0; i < languages.size(); ++i) {
        error += (i == 0 ? "" : ", ") + languages[i];
      }
      if (languages.empty()) error += "none (built without libstemmer)";
      return false;
    }
    corpus.settings.stem = *text;
    return true;
  }
  if (name == "--stem-show") {
    const auto show = value().value_or("");
    if (show == "stem") {
      corpus.settings.stem_show = StemShow::kStem;
    } else if (show == "form") {
      corpus.settings.stem_show = StemShow::kForm;
    } else {
      error = "unknown --stem-show '" + show + "' (stem or form)";
      return false;
    }
    return true;
  }
  if (name == "--match" || name == "--exclude") {
    const auto pattern = value();
    if (!pattern) {
      error = "option " + std::string(name) + " needs a regular expression";
      return false;
    }
    (name == "--match" ? corpus.filters.match : corpus.filters.exclude).push_back(*pattern);
    return true;
  }
  if (name == "--min-length" || name == "--max-length") {
    std::uint64_t number = 0;
    if (auto wrong = TakeWholeNumber(name, value(), name == "--max-length" ? 1 : 0,
                                     std::numeric_limits<std::uint32_t>::max(), number)) {
      error = std::move(*wrong);
      return false;
    }
    (name == "--min-length" ? corpus.filters.min_length : corpus.filters.max_length) = number;
    return true;
  }
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
    std::uint64_t number = 0;
    const std::uint64_t least = name == "--top" ? 1 : 0;
    if (auto wrong = TakeWholeNumber(name, value(), least,
                                     std::numeric_limits<std::uint64_t>::max(), number)) {
      error = std::move(*wrong);
      return false;
    }
    if (name == "--top") {
      corpus.settings.top = number;
    } else {
      corpus.settings.min_count = number;
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
  if (corpus.split_elisions && corpus.words != WordRule::kUnicode) {
    return "--split-elisions goes with --words unicode";
  }
  if (corpus.settings.per_file && (corpus.lemma_list || !corpus.settings.stem.empty())) {
    return "--per-file does not go with --lemma-list or --stem";
  }
  if (corpus.filters.min_length && corpus.filters.max_length &&
      *corpus.filters.min_length > *corpus.filters.max_length) {
    return "--min-length is more than --max-length: no word could be listed";
  }
  return std::nullopt;
}

bool LoadListOptions(const CorpusArguments& corpus, const ExtractionOptions& options,
                     CorpusSettings& settings, std::ostream& err) {
  try {
    settings.filter = std::make_shared<const ListFilter>(corpus.filters);
  } catch (const ListFilterError& failure) {
    err << kProgram << ": " << failure.what() << '\n';
    return false;
  }
  if (!corpus.lemma_list) return true;
  const std::string& name = *corpus.lemma_list;
  std::string bytes;
  const auto refusal = ReadSideFile(name, PipeRule::kRefuse, [&](std::string_view piece) {
    bytes.append(piece);
    return true;
  });
  if (refusal) {
    err << kProgram << ": cannot read the lemma list '" << name << "': " << *refusal << '\n';
    return false;
  }
  const bool cp1252 = options.encoding == InputEncoding::kCp1252;
  const SideFileWords rules{cp1252 ? WordEncoding::kCp1252 : WordEncoding::kUtf8,
                            corpus.settings.fold_case, corpus.words == WordRule::kUnicode,
                            corpus.split_elisions};
  try {
    auto lemmas = std::make_shared<const LemmaList>(LemmaList::Parse(bytes, name, rules));
    if (lemmas->ill_formed() != 0 && options.on_ill_formed) {
      options.on_ill_formed(name, lemmas->ill_formed(), InputEncoding::kUtf8);
    }
    settings.lemmas = std::move(lemmas);
  } catch (const LemmaListError& failure) {
    err << kProgram << ": " << failure.what() << '\n';
    return false;
  }
  return true;
}

bool LoadStopWords(const CorpusArguments& corpus, ExtractionOptions options, StopWords& stop_words,
                   std::ostream& err) {
  std::vector<std::filesystem::path> lists;
  for (const std::string& name : corpus.stop_lists) {
    // The rule of every side file: a pipe, a device or a folder is never opened.
    if (const auto refusal = SideFileRefusal(name, PipeRule::kRefuse)) {
      err << kProgram << ": cannot read the stop list '" << name << "': " << *refusal << '\n';
      return false;
    }
    lists.emplace_back(name);
  }
  if (lists.empty()) return true;
  options.html = false;
  options.progress = nullptr;
  options.threads = 1;
  // A list that fails while it is read is said in one line, naming it.
  std::string failure;
  std::size_t reported = 0;
  options.on_failure = [&](const FileFailure& error) {
    if (reported++ == 0) failure = FailureMessage(error);
  };
  const ExtractionResult read = ExtractWords(lists, options);
  if (read.reports != 0) {
    err << kProgram << ": cannot read the stop list"
        << (lists.size() == 1 ? " '" + lists[0].string() + "'" : "s")
        << (failure.empty() ? "" : ": " + failure) << '\n';
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
