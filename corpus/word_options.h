#pragma once

#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

#include "corpus/corpus_run.h"
#include "corpus/list_filters.h"
#include "corpus/stemming.h"
#include "engine/extraction.h"

namespace lintavel {

// A word-rule, grouping or filter option that cannot be used, said in one line.
class WordOptionError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The word rule and the grouping and filters of the list, as the user gave them.
struct WordOptions {
  WordRule words = WordRule::kDefault;
  bool split_elisions = false;
  std::optional<std::string> lemma_list;
  ListFilterSettings filters;
};

// The word rule named `name` (default or unicode); WordOptionError for any other.
WordRule WordRuleNamed(std::string_view name);

// `language` when there is a stemmer for it; WordOptionError naming those there are.
std::string StemLanguageNamed(std::string_view language);

// The stem display named `name` (stem or form); WordOptionError for any other.
StemShow StemShowNamed(std::string_view name);

// What is wrong with `options` taken together with `settings` (per file, the stem),
// or nothing.
std::optional<std::string> WordOptionsConflict(const WordOptions& options,
                                               const CorpusSettings& settings);

// Reads the lemma list and compiles the filters of `options` into `settings`: the
// lemma list by the side-file rule and by the text's word rules, in the encoding of
// the text's words (UTF-8 unless `extraction` reads Windows-1252); ill-formed UTF-8
// in the list is said through extraction.on_ill_formed. WordOptionError (the pattern
// and RE2's reason, the file and line) when they cannot be used.
void LoadWordOptions(const WordOptions& options, const ExtractionOptions& extraction,
                     CorpusSettings& settings);

}  // namespace lintavel
