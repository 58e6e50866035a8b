#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "engine/text_rules.h"

namespace lintavel {

// Where text cut by the default word rule (blank-separated, tabs and ASCII
// punctuation taken out, what is left empty no word) may be split so that a piece
// holds a given number of its words: the split comes after the separator that
// ends the last word of the first piece, so each piece ends after a separator or
// at the end of the text.

// The bytes of `text` that hold its first `words` words, or its size when it holds
// fewer.
std::size_t CutAfterWords(std::string_view text, std::uint64_t words);

// Where the last `words` words of `text` begin, after the separator before them;
// 0 when it holds fewer.
std::size_t CutBeforeLastWords(std::string_view text, std::uint64_t words);

// Calls on_token(begin, end, dropped) for each token of `text` cut by the default
// rule, a run of bytes between blanks and line ends; `dropped` when it holds tabs
// or punctuation, which are taken out of its word (empty if nothing else is left).
template <class F>
void ForEachDefaultToken(std::string_view text, F&& on_token) {
  const char* const end = text.data() + text.size();
  for (const char* at = text.data(); at != end;) {
    if (ClassOf(*at) == ByteClass::kSeparator) {
      ++at;
      continue;
    }
    const char* const begin = at;
    bool dropped = false;
    for (; at != end && ClassOf(*at) != ByteClass::kSeparator; ++at) {
      dropped |= ClassOf(*at) == ByteClass::kDropped;
    }
    on_token(begin, at, dropped);
  }
}

}  // namespace lintavel
