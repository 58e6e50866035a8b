#include "corpus/word_options.h"

#include <algorithm>
#include <memory>
#include <utility>
#include <vector>

#include "corpus/lemma_list.h"
#include "corpus/side_file.h"

namespace lintavel {

WordRule WordRuleNamed(std::string_view name) {
  if (name == "default") return WordRule::kDefault;
  if (name == "unicode") return WordRule::kUnicode;
  throw WordOptionError("unknown word rule '" + std::string(name) + "' (default or unicode)");
}

std::string StemLanguageNamed(std::string_view language) {
  const auto languages = StemmerLanguages();
  if (std::find(languages.begin(), languages.end(), language) != languages.end()) {
    return std::string(language);
  }
  std::string message = "no stemmer for '" + std::string(language) + "'; there are: ";
  for (std::size_t i = 0; i < languages.size(); ++i) {
    message += (i == 0 ? "" : ", ") + languages[i];
  }
  if (languages.empty()) message += "none (built without libstemmer)";
  throw WordOptionError(message);
}

StemShow StemShowNamed(std::string_view name) {
  if (name == "stem") return StemShow::kStem;
  if (name == "form") return StemShow::kForm;
  throw WordOptionError("unknown --stem-show '" + std::string(name) + "' (stem or form)");
}

std::optional<std::string> WordOptionsConflict(const WordOptions& options,
                                               const CorpusSettings& settings) {
  if (options.split_elisions && options.words != WordRule::kUnicode) {
    return "--split-elisions goes with --words unicode";
  }
  if (settings.per_file && (options.lemma_list || !settings.stem.empty())) {
    return "--per-file does not go with --lemma-list or --stem";
  }
  if (options.filters.min_length && options.filters.max_length &&
      *options.filters.min_length > *options.filters.max_length) {
    return "--min-length is more than --max-length: no word could be listed";
  }
  return std::nullopt;
}

void LoadWordOptions(const WordOptions& options, const ExtractionOptions& extraction,
                     CorpusSettings& settings) {
  try {
    settings.filter = std::make_shared<const ListFilter>(options.filters);
  } catch (const ListFilterError& failure) {
    throw WordOptionError(failure.what());
  }
  if (!options.lemma_list) return;
  const std::string& name = *options.lemma_list;
  std::string bytes;
  const auto refusal = ReadSideFile(name, PipeRule::kRefuse, [&](std::string_view piece) {
    bytes.append(piece);
    return true;
  });
  if (refusal) throw WordOptionError("cannot read the lemma list '" + name + "': " + *refusal);
  const bool cp1252 = extraction.encoding == InputEncoding::kCp1252;
  const SideFileWords rules{cp1252 ? WordEncoding::kCp1252 : WordEncoding::kUtf8,
                            settings.fold_case, options.words == WordRule::kUnicode,
                            options.split_elisions};
  try {
    auto lemmas = std::make_shared<const LemmaList>(LemmaList::Parse(bytes, name, rules));
    if (lemmas->ill_formed() != 0 && extraction.on_ill_formed) {
      extraction.on_ill_formed(name, lemmas->ill_formed(), InputEncoding::kUtf8);
    }
    settings.lemmas = std::move(lemmas);
  } catch (const LemmaListError& failure) {
    throw WordOptionError(failure.what());
  }
}

}  // namespace lintavel
