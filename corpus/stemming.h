#pragma once

#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "corpus/word_list.h"

namespace lintavel {

// The languages of the Snowball stemmers this build has (libstemmer's names:
// "english", "french", ...), in its order; empty when built without libstemmer.
std::vector<std::string> StemmerLanguages();

// A stemmer language that this build does not have. The text names the language
// and lists those there are ("no stemmer for 'klingon'; there are: arabic, ...").
class StemmerError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// One Snowball stemmer: not to be shared between threads (make one per thread).
class Stemmer {
 public:
  // The stemmer of `language`, a name of StemmerLanguages(); throws StemmerError.
  explicit Stemmer(std::string_view language);
  ~Stemmer();
  Stemmer(Stemmer&&) noexcept;
  Stemmer& operator=(Stemmer&&) noexcept;

  // The stem of the UTF-8 `word`, which should be in lower case (the stemmers
  // expect it); valid until the next call.
  std::string_view Stem(std::string_view word);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// What a stemmed list shows for each stem.
enum class StemShow {
  kStem,  // the stem ("connect")
  kForm,  // the most frequent word with that stem ("connected")
};

// Counts the words of `list` under their stems in `language`: each distinct word is
// folded to lower case (Unicode's simple case folding) and stemmed once, not once per
// occurrence. Windows-1252 words are stemmed as the characters they stand for, and
// a stem is written back in Windows-1252. The total stays; throws StemmerError.
void ApplyStemming(CorpusList& list, std::string_view language, StemShow show);

}  // namespace lintavel
