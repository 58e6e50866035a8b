#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <string_view>

#include "engine/code_page.h"

namespace lintavel {

// The one character that separates words within a line.
inline constexpr char16_t kBlank = u' ';
// Removed from every line as it is read, without a blank in its place.
inline constexpr char16_t kTab = u'\t';

// A line ends at LF, at CR LF and at a lone CR.
inline constexpr bool IsLineEnd(char16_t c) { return c == u'\n' || c == u'\r'; }

// The six character sets removed from each word, in the order they are applied.
// Together: the 32 printable ASCII characters that are neither letters, digits
// nor the blank.
inline constexpr std::array<std::u16string_view, 6> kPunctuationSets = {
    u"~`", u"!@#$%^&*()", u"_+-=", u"{}|[]\\", u";':\"", u"<>?,./",
};

inline constexpr bool IsPunctuation(char16_t c) {
  return std::any_of(kPunctuationSets.begin(), kPunctuationSets.end(),
                     [c](std::u16string_view set) { return set.find(c) != set.npos; });
}

// What a byte of an input file is to the word cutter: part of a word, removed from
// the word it stands in (tabs, punctuation), or the end of a word (blank, line end).
enum class ByteClass : std::uint8_t { kWord = 0, kDropped = 1, kSeparator = 2 };

inline constexpr std::array<ByteClass, 256> kByteClasses = [] {
  std::array<ByteClass, 256> classes{};
  for (int b = 0; b < 256; ++b) {
    const char16_t c = kCp1252ToUtf16[b];
    if (c == kBlank || IsLineEnd(c)) {
      classes[b] = ByteClass::kSeparator;
    } else if (c == kTab || IsPunctuation(c)) {
      classes[b] = ByteClass::kDropped;
    } else {
      classes[b] = ByteClass::kWord;
    }
  }
  return classes;
}();

inline ByteClass ClassOf(char byte) { return kByteClasses[static_cast<unsigned char>(byte)]; }

}  // namespace lintavel
