#include "corpus/word_cuts.h"

#include "engine/text_rules.h"

namespace lintavel {

std::size_t CutAfterWords(std::string_view text, std::uint64_t words) {
  if (words == 0) return 0;
  // Whether the bytes since the last separator hold a letter, already counted.
  bool counted = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const ByteClass byte = ClassOf(text[i]);
    if (byte == ByteClass::kSeparator) {
      if (counted && words == 0) return i + 1;
      counted = false;
    } else if (byte == ByteClass::kWord && !counted) {
      counted = true;
      --words;
    }
  }
  return text.size();
}

std::size_t CutBeforeLastWords(std::string_view text, std::uint64_t words) {
  if (words == 0) return text.size();
  bool counted = false;
  for (std::size_t i = text.size(); i-- > 0;) {
    const ByteClass byte = ClassOf(text[i]);
    if (byte == ByteClass::kSeparator) {
      if (counted && words == 0) return i + 1;
      counted = false;
    } else if (byte == ByteClass::kWord && !counted) {
      counted = true;
      --words;
    }
  }
  return 0;
}

}  // namespace lintavel
