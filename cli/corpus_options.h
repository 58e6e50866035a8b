#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "corpus/corpus_run.h"
#include "corpus/list_writer.h"
#include "corpus/word_list.h"
#include "engine/extraction.h"

namespace lintavel {

// The corpus options of lintavel-extract.
struct CorpusArguments {
  CorpusSettings settings;
  std::optional<ListFormat> format;  // as given; text when not
  std::vector<std::string> stop_lists;
  bool html = false;
  bool stats = false;
  // The word rule and the list's grouping and filters.
  WordRule words = WordRule::kDefault;
  bool split_elisions = false;
  std::optional<std::string> lemma_list;
  ListFilterSettings filters;
};

// Reads the value `text` of the whole-number option `name` into `number`. Gives
// nothing when it is a whole number from `least` to `most`, else the one-line
// message: "needs a whole number ..." for what is no number, "... is out of range"
// for a number outside the range (negative or too large to hold included).
std::optional<std::string> TakeWholeNumber(std::string_view name,
                                           const std::optional<std::string>& text,
                                           std::uint64_t least, std::uint64_t most,
                                           std::uint64_t& number);

// Takes the option `name` when it is a corpus option: true when taken, false with
// `error` set when its value is wrong, nothing when `name` is no corpus option.
// `value` gives the option's value (nothing when there is none); `inline_value`
// says whether one was given after '=', which a switch refuses.
std::optional<bool> TakeCorpusOption(std::string_view name, bool inline_value,
                                     const std::function<std::optional<std::string>()>& value,
                                     CorpusArguments& corpus, std::string& error);

// What is wrong with the corpus options taken together with --counts, or nothing.
std::optional<std::string> CorpusArgumentsError(const CorpusArguments& corpus, bool counts);

// Reads the lemma list and compiles the filters of `corpus` into `settings`, the
// lemma list by the side-file rule and by the text's word rules, in the encoding of
// the text's words (UTF-8 unless they are Windows-1252). False, with a one-line
// message on `err` (the pattern and RE2's reason, the file and line), when they
// cannot be used; ill-formed UTF-8 in the list is said as for input files.
bool LoadListOptions(const CorpusArguments& corpus, const ExtractionOptions& options,
                     CorpusSettings& settings, std::ostream& err);

// The format to write in: --counts is TSV.
ListFormat FormatOf(const CorpusArguments& corpus, bool counts);

// Checks that every stop list can be read and then reads them with `options` (their
// encoding and reports, as for the input files) through the word rules, folded when
// the words are. False, with a one-line message on `err`, when a list cannot be read.
bool LoadStopWords(const CorpusArguments& corpus, ExtractionOptions options, StopWords& stop_words,
                   std::ostream& err);

}  // namespace lintavel
