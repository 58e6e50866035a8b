#pragma once

#include <string_view>

#include "engine/word_counter.h"

namespace lintavel {

// Which rule cuts the text into words.
enum class WordRule {
  kDefault,  // blank-separated, ASCII punctuation removed (the window's rule)
  kUnicode,  // the Unicode word boundaries (engine/word_break.h)
};

// How a counting thread cuts a block of decoded text.
struct WordCutting {
  WordRule rule = WordRule::kDefault;
  bool split_elisions = false;  // with kUnicode: "l’histoire" gives "l’" and "histoire"
  bool cp1252 = false;          // the text is Windows-1252 bytes, else UTF-8
};

// Counts the words of `text`, a block that ends after a blank or line end or at the
// end of its file, into `counter` as `cutting` says.
void CountWords(std::string_view text, const WordCutting& cutting, WordCounter& counter);

}  // namespace lintavel
