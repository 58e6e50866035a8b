#pragma once

// The Unicode word-boundary rules written literally, one rule a line in their order,
// over a decoded array of code points: the reference the engine's one-pass scanner is
// held to by the tests and the fuzz target. Slow and plain on purpose.

#include <cstddef>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "engine/utf8.h"
#include "engine/word_break.h"

namespace lintavel::reference {

// The code points of valid UTF-8 `text`, with the byte offset of each and of the end.
inline std::u32string DecodeUtf8Plain(std::string_view text, std::vector<std::size_t>& offsets) {
  std::u32string out;
  for (std::size_t at = 0; at < text.size();) {
    const auto lead = static_cast<unsigned char>(text[at]);
    const std::size_t length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
    char32_t cp = length == 1 ? lead : lead & (0x7F >> length);
    for (std::size_t k = 1; k < length; ++k)
      cp = (cp << 6) | (static_cast<unsigned char>(text[at + k]) & 0x3F);
    offsets.push_back(at);
    out.push_back(cp);
    at += length;
  }
  offsets.push_back(text.size());
  return out;
}

// The positions (in code points, 0 and text.size() included) where the rules break.
inline std::vector<std::size_t> WordBoundaries(std::u32string_view text) {
  using W = WordBreak;
  const std::size_t n = text.size();
  std::vector<WordBreakClass> c;
  for (const char32_t cp : text) c.push_back(ClassOfCodePoint(cp));
  const auto is = [&](std::size_t i, auto... properties) {
    return ((c[i].property == properties) || ...);
  };
  // WB4: X (Extend | Format | ZWJ)* -> X, for any X but the start, CR, LF and Newline.
  std::vector<bool> absorbed(n, false);
  for (std::size_t i = 1; i < n; ++i) {
    absorbed[i] = is(i, W::kExtend, W::kFormat, W::kZwj) &&
                  (absorbed[i - 1] || !is(i - 1, W::kCr, W::kLf, W::kNewline));
  }
  constexpr std::size_t kNone = static_cast<std::size_t>(-1);
  const auto previous = [&](std::size_t i) {  // the character before i, as WB4 sees it
    while (i > 0) {
      --i;
      if (!absorbed[i]) return i;
    }
    return kNone;
  };
  const auto following = [&](std::size_t i) {  // the character after i, as WB4 sees it
    for (++i; i < n; ++i)
      if (!absorbed[i]) return i;
    return kNone;
  };
  const auto ah = [&](std::size_t i) { return i != kNone && is(i, W::kALetter, W::kHebrewLetter); };
  const auto prop = [&](std::size_t i, W p) { return i != kNone && c[i].property == p; };
  const auto mid_letter_q = [&](std::size_t i) {
    return i != kNone && is(i, W::kMidLetter, W::kMidNumLet, W::kSingleQuote);
  };
  const auto mid_num_q = [&](std::size_t i) {
    return i != kNone && is(i, W::kMidNum, W::kMidNumLet, W::kSingleQuote);
  };

  std::vector<std::size_t> boundaries;
  if (n == 0) return boundaries;
  boundaries.push_back(0);  // WB1
  for (std::size_t i = 1; i < n; ++i) {
    const std::size_t raw = i - 1;
    const bool breaks = [&] {
      if (is(raw, W::kCr) && is(i, W::kLf)) return false;                // WB3
      if (is(raw, W::kNewline, W::kCr, W::kLf)) return true;             // WB3a
      if (is(i, W::kNewline, W::kCr, W::kLf)) return true;               // WB3b
      if (is(raw, W::kZwj) && c[i].pictographic) return false;           // WB3c
      if (is(raw, W::kWSegSpace) && is(i, W::kWSegSpace)) return false;  // WB3d
      if (is(i, W::kExtend, W::kFormat, W::kZwj)) return false;          // WB4
      const std::size_t a = previous(i);
      const std::size_t a2 = a == kNone ? kNone : previous(a);
      const std::size_t b = i;
      const std::size_t b2 = following(i);
      if (ah(a) && ah(b)) return false;                                         // WB5
      if (ah(a) && mid_letter_q(b) && ah(b2)) return false;                     // WB6
      if (ah(a2) && mid_letter_q(a) && ah(b)) return false;                     // WB7
      if (prop(a, W::kHebrewLetter) && prop(b, W::kSingleQuote)) return false;  // WB7a
      if (prop(a, W::kHebrewLetter) && prop(b, W::kDoubleQuote) && prop(b2, W::kHebrewLetter))
        return false;  // WB7b
      if (prop(a2, W::kHebrewLetter) && prop(a, W::kDoubleQuote) && prop(b, W::kHebrewLetter))
        return false;                                                                   // WB7c
      if (prop(a, W::kNumeric) && prop(b, W::kNumeric)) return false;                   // WB8
      if (ah(a) && prop(b, W::kNumeric)) return false;                                  // WB9
      if (prop(a, W::kNumeric) && ah(b)) return false;                                  // WB10
      if (prop(a2, W::kNumeric) && mid_num_q(a) && prop(b, W::kNumeric)) return false;  // WB11
      if (prop(a, W::kNumeric) && mid_num_q(b) && prop(b2, W::kNumeric)) return false;  // WB12
      if (prop(a, W::kKatakana) && prop(b, W::kKatakana)) return false;                 // WB13
      if ((ah(a) || prop(a, W::kNumeric) || prop(a, W::kKatakana) || prop(a, W::kExtendNumLet)) &&
          prop(b, W::kExtendNumLet))
        return false;  // WB13a
      if (prop(a, W::kExtendNumLet) && (ah(b) || prop(b, W::kNumeric) || prop(b, W::kKatakana)))
        return false;  // WB13b
      if (prop(a, W::kRegionalIndicator) && prop(b, W::kRegionalIndicator)) {
        std::size_t run = 0;  // regional indicators before b, as WB4 sees them
        for (std::size_t j = a; j != kNone && prop(j, W::kRegionalIndicator); j = previous(j))
          ++run;
        if (run % 2 == 1) return false;  // WB15, WB16
      }
      return true;  // WB999
    }();
    if (breaks) boundaries.push_back(i);
  }
  boundaries.push_back(n);  // WB2
  return boundaries;
}

// The segments of valid UTF-8 `text` with, for each, whether it holds a character
// that makes it a word.
struct Segment {
  std::string text;
  bool is_word = false;
  bool operator==(const Segment&) const = default;
};

inline std::vector<Segment> Segments(std::string_view text) {
  std::vector<std::size_t> offsets;
  const std::u32string cps = DecodeUtf8Plain(text, offsets);
  const std::vector<std::size_t> boundaries = WordBoundaries(cps);
  std::vector<Segment> out;
  for (std::size_t k = 0; k + 1 < boundaries.size(); ++k) {
    Segment segment;
    segment.text = std::string(
        text.substr(offsets[boundaries[k]], offsets[boundaries[k + 1]] - offsets[boundaries[k]]));
    for (std::size_t i = boundaries[k]; i < boundaries[k + 1]; ++i)
      segment.is_word = segment.is_word || ClassOfCodePoint(cps[i]).word_char;
    out.push_back(std::move(segment));
  }
  return out;
}

// The words of valid UTF-8 `text`, by the reference rules.
inline std::vector<std::string> Words(std::string_view text) {
  std::vector<std::string> words;
  for (Segment& segment : Segments(text))
    if (segment.is_word) words.push_back(std::move(segment.text));
  return words;
}

// A random UTF-8 string of `length` characters drawn from every class the rules
// name, and from the letters, ideographs and symbols around them.
inline std::string RandomWordBreakText(std::mt19937& random, std::size_t length) {
  static const std::vector<char32_t> kPool = [] {
    std::vector<char32_t> pool = {
        'a',    'Z',    '7',    '_',     '\'',    '"',     '.',    ':',    ',',    ';',    ' ',
        '\r',   '\n',   0x0B,   0x85,    0x2028,  0x00AD,  0x0301, 0x200D, 0x05D0, 0x05F3, 0x30A2,
        0x30FC, 0x3042, 0x4E2D, 0x1F1E6, 0x1F1FA, 0x1F600, 0x2764, 0x2019, 0x00E9, 0x0E01, 0x3000,
        0x2014, 0x00AB, 0xFF10, 0x0660,  0xFE0F,  0x1F3FB, 0x202F, 0xFF0C};
    for (char32_t cp = 0x80; cp < 0x30000; cp += 997) {  // a sample of every block
      if (cp < 0xD800 || cp > 0xDFFF) pool.push_back(cp);
    }
    return pool;
  }();
  std::uniform_int_distribution<std::size_t> pick(0, kPool.size() - 1);
  std::string text;
  for (std::size_t i = 0; i < length; ++i) AppendUtf8(kPool[pick(random)], text);
  return text;
}

}  // namespace lintavel::reference
