#include "cli/corpus_options.h"

#include <charconv>
#include <cmath>
#include <filesystem>
#include <limits>
#include <tuple>
#include <utility>

#include "corpus/equal_parts.h"
#include "corpus/stop_lists.h"

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
  WordOptions& words = corpus.word_options;
  if (name == "--split-elisions") return set_switch(words.split_elisions);
  try {
    if (name == "--words") {
      words.words = WordRuleNamed(value().value_or(""));
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
        words.lemma_list = *text;
      } else {
        corpus.settings.stem = StemLanguageNamed(*text);
      }
      return true;
    }
    if (name == "--stem-show") {
      corpus.settings.stem_show = StemShowNamed(value().value_or(""));
      return true;
    }
  } catch (const WordOptionError& failure) {
    error = failure.what();
    return false;
  }
  if (name == "--match" || name == "--exclude") {
    const auto pattern = value();
    if (!pattern) {
      error = "option " + std::string(name) + " needs a regular expression";
      return false;
    }
    (name == "--match" ? words.filters.match : words.filters.exclude).push_back(*pattern);
    return true;
  }
  if (name == "--min-length" || name == "--max-length") {
    std::uint64_t number = 0;
    if (auto wrong = TakeWholeNumber(name, value(), name == "--max-length" ? 1 : 0,
                                     std::numeric_limits<std::uint32_t>::max(), number)) {
      error = std::move(*wrong);
      return false;
    }
    (name == "--min-length" ? words.filters.min_length : words.filters.max_length) = number;
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
    corpus.sorted = true;
    return true;
  }
  if (name == "--ngrams") {
    const auto text = value().value_or("");
    const auto lengths = NgramLengthsNamed(text);
    if (!lengths) {
      error =
          "option --ngrams needs N or MIN-MAX, from 1 to 8 (such as 2 or 2-3), not '" + text + "'";
      return false;
    }
    std::tie(corpus.ngrams.shortest, corpus.ngrams.longest) = *lengths;
    return true;
  }
  if (name == "--ngram-breaks") {
    const auto breaks = value().value_or("");
    const auto named = NgramBreaksNamed(breaks);
    if (!named) {
      error = "unknown ngram breaks '" + breaks + "' (sentence, line or none)";
      return false;
    }
    corpus.ngrams.breaks = *named;
    corpus.ngram_breaks = true;
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
  // Keyness, dispersion and normalised frequency.
  if (name == "--per-million") return set_switch(corpus.per_million);
  if (name == "--dispersion") {
    if (const auto wrong = ReadDispersionOver(value().value_or(""), corpus.dispersion_parts)) {
      error = std::move(*wrong);
      return false;
    }
    corpus.dispersion = true;
    return true;
  }
  if (name == "--reference" || name == "--reference-list") {
    const auto file = value();
    if (!file || file->empty()) {
      error = "option " + std::string(name) + " needs a file name";
      return false;
    }
    if (name == "--reference") {
      corpus.references.push_back(*file);
    } else {
      corpus.reference_list = *file;
    }
    return true;
  }
  if (name == "--keyness") {
    const auto side = value().value_or("");
    if (side == "positive") {
      corpus.keyness = KeynessSide::kPositive;
    } else if (side == "negative") {
      corpus.keyness = KeynessSide::kNegative;
    } else if (side == "both") {
      corpus.keyness = KeynessSide::kBoth;
    } else {
      error = "unknown keyness '" + side + "' (positive, negative or both)";
      return false;
    }
    return true;
  }
  if (name == "--min-ll") {
    const auto text = value().value_or("");
    double number = 0;
    const char* end = text.data() + text.size();
    const auto [stop, wrong] = std::from_chars(text.data(), end, number);
    if (text.empty() || stop != end || wrong != std::errc() || !std::isfinite(number) ||
        number < 0) {
      error = "option --min-ll needs a number from 0 (such as 3.84, 6.63 or 10.83)";
      return false;
    }
    corpus.min_ll = number;
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
  const bool text = FormatOf(corpus, counts) == ListFormat::kText;
  if (text && (corpus.per_million || corpus.dispersion)) {
    return "--per-million and --dispersion need --format tsv, csv or json";
  }
  if (!corpus.compares() && (corpus.keyness || corpus.min_ll)) {
    return "--keyness and --min-ll need --reference or --reference-list";
  }
  if (!corpus.references.empty() && corpus.reference_list) {
    return "--reference and --reference-list go with no other";
  }
  if (corpus.compares() &&
      (corpus.per_million || corpus.dispersion || corpus.settings.per_file || corpus.sorted)) {
    return "a keyness table goes with no --per-million, --dispersion, --per-file or --sort "
           "(its rows are in G2 order)";
  }
  // The files of a grouped word are not kept, so neither is its dispersion.
  if (corpus.dispersion && (corpus.word_options.lemma_list || !corpus.settings.stem.empty())) {
    return "--dispersion does not go with --lemma-list or --stem";
  }
  // Equal parts are cut by reading the words again in order, which HTML's filter does not do.
  if (corpus.dispersion_parts != 0 && corpus.html) {
    return "--dispersion parts=N does not go with --html";
  }
  if (corpus.ngram_breaks && !corpus.ngrams.active()) {
    return "--ngram-breaks goes with --ngrams of more than one word";
  }
  // A lemma, stem or pattern is of one word, not of a sequence of them.
  if (corpus.ngrams.active() &&
      (corpus.word_options.lemma_list || !corpus.settings.stem.empty() ||
       !corpus.word_options.filters.match.empty() || !corpus.word_options.filters.exclude.empty() ||
       corpus.dispersion)) {
    return "--ngrams goes with none of --lemma-list, --stem, --match, --exclude and "
           "--dispersion";
  }
  if (auto wrong = WordOptionsConflict(corpus.word_options, corpus.settings)) {
    return wrong;
  }
  return std::nullopt;
}

bool LoadListOptions(const CorpusArguments& corpus, const ExtractionOptions& options,
                     CorpusSettings& settings, std::ostream& err) {
  try {
    LoadWordOptions(corpus.word_options, options, settings);
  } catch (const WordOptionError& failure) {
    err << kProgram << ": " << failure.what() << '\n';
    return false;
  }
  return true;
}

bool LoadStopWords(const CorpusArguments& corpus, const ExtractionOptions& options,
                   StopWords& stop_words, std::ostream& err) {
  const std::vector<std::filesystem::path> lists(corpus.stop_lists.begin(),
                                                 corpus.stop_lists.end());
  try {
    stop_words = ReadStopLists(lists, options, corpus.settings.fold_case);
  } catch (const StopListError& failure) {
    err << kProgram << ": " << failure.what() << '\n';
    return false;
  }
  return true;
}

}  // namespace lintavel
