#include "corpus/stemming.h"

#include "corpus/case_folding.h"
#include "corpus/word_groups.h"
#include "engine/utf8.h"

#ifdef LINTAVEL_HAVE_LIBSTEMMER
#include <libstemmer.h>
#endif

namespace lintavel {

std::vector<std::string> StemmerLanguages() {
  std::vector<std::string> languages;
#ifdef LINTAVEL_HAVE_LIBSTEMMER
  for (const char** name = sb_stemmer_list(); *name != nullptr; ++name)
    languages.emplace_back(*name);
#endif
  return languages;
}

#ifdef LINTAVEL_HAVE_LIBSTEMMER
struct Stemmer::Impl {
  sb_stemmer* stemmer = nullptr;
  ~Impl() { sb_stemmer_delete(stemmer); }
};
#else
struct Stemmer::Impl {};
#endif

Stemmer::Stemmer(std::string_view language) {
  const std::vector<std::string> languages = StemmerLanguages();
  if (languages.empty()) throw StemmerError("this build has no stemmers (libstemmer is missing)");
  bool known = false;
  std::string listed;
  for (const std::string& name : languages) {
    known = known || name == language;
    listed += (listed.empty() ? "" : ", ") + name;
  }
  if (!known) {
    throw StemmerError("no stemmer for '" + std::string(language) + "'; there are: " + listed);
  }
#ifdef LINTAVEL_HAVE_LIBSTEMMER
  impl_ = std::make_unique<Impl>();
  impl_->stemmer = sb_stemmer_new(std::string(language).c_str(), "UTF_8");
  if (impl_->stemmer == nullptr) throw std::bad_alloc();
#endif
}

Stemmer::~Stemmer() = default;
Stemmer::Stemmer(Stemmer&&) noexcept = default;
Stemmer& Stemmer::operator=(Stemmer&&) noexcept = default;

std::string_view Stemmer::Stem(std::string_view word) {
#ifdef LINTAVEL_HAVE_LIBSTEMMER
  const sb_symbol* stem =
      sb_stemmer_stem(impl_->stemmer, reinterpret_cast<const sb_symbol*>(word.data()),
                      static_cast<int>(word.size()));
  if (stem == nullptr) throw std::bad_alloc();
  return {reinterpret_cast<const char*>(stem),
          static_cast<std::size_t>(sb_stemmer_length(impl_->stemmer))};
#else
  return word;
#endif
}

void ApplyStemming(CorpusList& list, std::string_view language, StemShow show) {
  Stemmer stemmer(language);
  std::string folded;
  GroupWords(
      list,
      [&](std::string_view word, std::string& scratch) -> std::string_view {
        folded.clear();
        if (list.encoding == WordEncoding::kCp1252) {
          std::string utf8;
          AppendCp1252AsUtf8(word, utf8);
          AppendFoldedUtf8(utf8, folded);
          scratch = Utf8ToCp1252(stemmer.Stem(folded));
          return scratch;
        }
        AppendFoldedUtf8(word, folded);
        return stemmer.Stem(folded);
      },
      show == StemShow::kStem ? GroupLabel::kKey : GroupLabel::kMostFrequentForm);
}

}  // namespace lintavel
