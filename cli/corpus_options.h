#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "corpus/corpus_run.h"
#include "corpus/keyness.h"
#include "corpus/list_writer.h"
#include "corpus/word_list.h"
#include "corpus/word_options.h"
#include "engine/extraction.h"

namespace lintavel {

// The corpus options of lintavel-extract.
struct CorpusArguments {
  CorpusSettings settings;
  std::optional<ListFormat> format;  // as given; text when not
  std::vector<std::string> stop_lists;
  bool html = false;
  bool stats = false;
  // Keyness, dispersion and normalised frequency.
  bool per_million = false;
  bool dispersion = false;
  std::uint32_t dispersion_parts = 0;  // over equal parts by word position; 0: over the files
  std::vector<std::string> references;
  std::optional<std::string> reference_list;
  std::optional<KeynessSide> keyness;
  std::optional<double> min_ll;
  bool sorted = false;        // --sort was given
  WordOptions word_options;   // the word rule and the list's grouping and filters
  NgramSettings ngrams;       // the sequences counted in place of the words
  bool ngram_breaks = false;  // --ngram-breaks was given

  bool compares() const { return !references.empty() || reference_list.has_value(); }
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

// Reads the lemma list and compiles the filters of `corpus` into `settings` (see
// LoadWordOptions). False, with a one-line message on `err`, when they cannot be used.
bool LoadListOptions(const CorpusArguments& corpus, const ExtractionOptions& options,
                     CorpusSettings& settings, std::ostream& err);

// The format to write in: --counts is TSV.
ListFormat FormatOf(const CorpusArguments& corpus, bool counts);

// Reads the stop lists of `corpus` (see ReadStopLists). False, with a one-line
// message on `err`, when a list cannot be read.
bool LoadStopWords(const CorpusArguments& corpus, const ExtractionOptions& options,
                   StopWords& stop_words, std::ostream& err);

}  // namespace lintavel
