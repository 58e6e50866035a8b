#pragma once

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

namespace lintavel {

// Words as the Unicode word-boundary rules (UAX #29, its default rules without
// tailoring) cut them. The classes of the code points come from a table generated at
// build time from unicode-data's WordBreakProperty.txt, emoji-data.txt
// (Extended_Pictographic), UnicodeData.txt (the letters) and Scripts.txt.
//
// A segment is a word when it holds a letter (Word_Break ALetter or Hebrew_Letter, or
// any character of general category L: ideographs, kana, letters of scripts written
// without spaces), a number (Numeric), a katakana, or any character of the Han,
// Hiragana and Katakana scripts (the ideographic zero, the radicals). Segments of punctuation,
// symbols, emoji and spaces are not words.
//
// What the default rules give, and so what readers get:
// - Apostrophes and periods between letters stay in the word: "don't", "l’histoire",
//   "e.g" (the last period is not between letters), "U.S.A"; commas and periods
//   between digits stay in the number: "3,14", "1.000.000". In "rock 'n' roll" the
//   apostrophes are not between letters: the words are "rock", "n" and "roll".
// - Hyphens and dashes end words: "word—word" and "well-known" are two words each.
// - "_" joins letters and digits ("snake_case" is one word).
// - Han and hiragana written without blanks give one word per character; a run of
//   katakana is one word. Splitting Chinese or Japanese into dictionary words (as
//   "中华人民共和国" into "中华", "人民", "共和国") needs a word dictionary and a
//   search over it, which these rules do not have; what they give is what a reader
//   of characters counts.
// - Thai, Lao, Khmer and Myanmar, written without spaces, give one word per
//   character for the same reason.

// The Word_Break property values (their names in WordBreakProperty.txt).
enum class WordBreak : std::uint8_t {
  kOther,
  kCr,
  kLf,
  kNewline,
  kExtend,
  kZwj,
  kRegionalIndicator,
  kFormat,
  kKatakana,
  kHebrewLetter,
  kALetter,
  kSingleQuote,
  kDoubleQuote,
  kMidNumLet,
  kMidLetter,
  kMidNum,
  kNumeric,
  kExtendNumLet,
  kWSegSpace,
};

// The class of a code point: its Word_Break value and two flags.
struct WordBreakClass {
  WordBreak property = WordBreak::kOther;
  bool pictographic = false;  // Extended_Pictographic
  bool word_char = false;     // makes the segment that holds it a word
};

// The class of `cp` (at most U+10FFFF).
WordBreakClass ClassOfCodePoint(char32_t cp);

// How words are cut beyond the default rules.
struct UnicodeWordOptions {
  // French and Italian elisions are split after their apostrophe (’ or '): "l’histoire"
  // gives "l’" and "histoire", "dell'arte" gives "dell'" and "arte". The elided word is
  // kept, with its apostrophe, as a word of its own: it is a word of the text (the
  // total stays the number of words a reader counts), and the apostrophe tells the
  // article "l’" from the letter "l". Only the elided forms of kElidedForms split, so
  // "don't" and "aujourd'hui" stay whole.
  bool split_elisions = false;
};

// The elided forms that split_elisions splits off (compared without case):
// French l d j m n s t c qu jusqu lorsqu puisqu quoiqu; Italian un dell all dall nell
// sull coll quell quest sant bell nessun.
bool IsElidedForm(std::string_view letters);

namespace word_break_internal {

inline constexpr std::uint8_t kPropertyMask = 0x1F;
inline constexpr std::uint8_t kPictographic = 0x20;
inline constexpr std::uint8_t kWordChar = 0x40;
inline constexpr std::uint8_t kSot = 0x1F;  // no character: the start of the text

// The generated table: one class byte per code point, in blocks of 128.
extern const std::uint16_t* const kStage1;
extern const std::uint8_t* const kStage2;

inline std::uint8_t ClassBits(char32_t cp) {
  return kStage2[std::size_t{kStage1[cp >> 7]} * 128 + (cp & 127)];
}

// The code point at `at` of valid UTF-8 `text` and its length in bytes; a lead byte
// whose sequence the text does not hold (never in valid UTF-8) counts as one byte.
inline char32_t DecodeUtf8(std::string_view text, std::size_t at, std::size_t& length) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[at + i]); };
  const unsigned lead = byte(0);
  const std::size_t left = text.size() - at;
  if (lead < 0xE0 && lead >= 0xC0 && left >= 2) {
    length = 2;
    return ((lead & 0x1F) << 6) | (byte(1) & 0x3F);
  }
  if (lead >= 0xE0 && lead < 0xF0 && left >= 3) {
    length = 3;
    return ((lead & 0x0F) << 12) | ((byte(1) & 0x3F) << 6) | (byte(2) & 0x3F);
  }
  if (lead >= 0xF0 && left >= 4) {
    length = 4;
    const char32_t cp = ((lead & 0x07) << 18) | ((byte(1) & 0x3F) << 12) | ((byte(2) & 0x3F) << 6) |
                        (byte(3) & 0x3F);
    return cp <= 0x10FFFF ? cp : 0xFFFD;
  }
  length = 1;
  return lead < 0x80 ? lead : 0xFFFD;
}

// The code point of the Windows-1252 byte `byte` (undefined bytes stand for
// themselves, as the engine reads them).
char32_t Cp1252CodePoint(unsigned char byte);

enum class Text { kUtf8, kCp1252 };

template <Text kText>
inline std::uint8_t ClassAt(std::string_view text, std::size_t at, std::size_t& length) {
  const auto lead = static_cast<unsigned char>(text[at]);
  if constexpr (kText == Text::kCp1252) {
    length = 1;
    return ClassBits(lead < 0x80 ? lead : Cp1252CodePoint(lead));
  } else {
    if (lead < 0x80) {
      length = 1;
      return ClassBits(lead);
    }
    return ClassBits(DecodeUtf8(text, at, length));
  }
}

constexpr std::uint8_t P(WordBreak property) { return static_cast<std::uint8_t>(property); }

inline bool IsIgnored(std::uint8_t p) {  // Extend, Format, ZWJ: rule WB4
  return p == P(WordBreak::kExtend) || p == P(WordBreak::kFormat) || p == P(WordBreak::kZwj);
}
inline bool IsLineEnd(std::uint8_t p) {
  return p == P(WordBreak::kCr) || p == P(WordBreak::kLf) || p == P(WordBreak::kNewline);
}
inline bool IsAhLetter(std::uint8_t p) {
  return p == P(WordBreak::kALetter) || p == P(WordBreak::kHebrewLetter);
}
inline bool IsMidNumLetQ(std::uint8_t p) {
  return p == P(WordBreak::kMidNumLet) || p == P(WordBreak::kSingleQuote);
}

inline bool IsAlnum(std::uint8_t p) {  // a letter or digit as the rules join them
  return IsAhLetter(p) || p == P(WordBreak::kNumeric);
}

// The classes that some rule joins to a letter or digit after them.
inline constexpr std::uint32_t kJoinsLetterOrDigit =
    1u << P(WordBreak::kALetter) | 1u << P(WordBreak::kHebrewLetter) |
    1u << P(WordBreak::kNumeric) | 1u << P(WordBreak::kExtendNumLet) |
    1u << P(WordBreak::kMidLetter) | 1u << P(WordBreak::kMidNumLet) |
    1u << P(WordBreak::kSingleQuote) | 1u << P(WordBreak::kMidNum) |
    1u << P(WordBreak::kDoubleQuote);

// An ASCII letter or digit: between two of them the rules never break (WB5, WB8,
// WB9, WB10), so a run of them is taken in one go.
inline bool IsAsciiAlnum(unsigned char byte) {
  return static_cast<unsigned char>((byte | 0x20) - 'a') < 26 ||
         static_cast<unsigned char>(byte - '0') < 10;
}

// The property of the first character after `at` that WB4 does not skip, or kSot
// (matching no rule) at the end of the text.
template <Text kText>
inline std::uint8_t NextProperty(std::string_view text, std::size_t at) {
  while (at < text.size()) {
    std::size_t length = 0;
    const std::uint8_t p = ClassAt<kText>(text, at, length) & kPropertyMask;
    if (!IsIgnored(p)) return p;
    at += length;
  }
  return kSot;
}

// Rules WB5 to WB999 between the characters `before2`, `before` and `current` as WB4
// sees them; `next` gives the character after `current` when a rule needs it.
template <class Next>
inline bool Breaks(std::uint8_t before2, std::uint8_t before, std::uint8_t current,
                   unsigned regional_run, Next&& next) {
  using W = WordBreak;
  if (IsAhLetter(before)) {
    if (IsAhLetter(current)) return false;                                             // WB5
    if ((current == P(W::kMidLetter) || IsMidNumLetQ(current)) && IsAhLetter(next()))  // WB6
      return false;
  }
  if (IsAhLetter(before2) && (before == P(W::kMidLetter) || IsMidNumLetQ(before)) &&
      IsAhLetter(current))
    return false;  // WB7
  if (before == P(W::kHebrewLetter)) {
    if (current == P(W::kSingleQuote)) return false;                                   // WB7a
    if (current == P(W::kDoubleQuote) && next() == P(W::kHebrewLetter)) return false;  // WB7b
  }
  if (before2 == P(W::kHebrewLetter) && before == P(W::kDoubleQuote) &&
      current == P(W::kHebrewLetter))
    return false;                                                           // WB7c
  if (before == P(W::kNumeric) && current == P(W::kNumeric)) return false;  // WB8
  if (IsAhLetter(before) && current == P(W::kNumeric)) return false;        // WB9
  if (before == P(W::kNumeric) && IsAhLetter(current)) return false;        // WB10
  if (before2 == P(W::kNumeric) && (before == P(W::kMidNum) || IsMidNumLetQ(before)) &&
      current == P(W::kNumeric))
    return false;  // WB11
  if (before == P(W::kNumeric) && (current == P(W::kMidNum) || IsMidNumLetQ(current)) &&
      next() == P(W::kNumeric))
    return false;                                                             // WB12
  if (before == P(W::kKatakana) && current == P(W::kKatakana)) return false;  // WB13
  if (current == P(W::kExtendNumLet) &&
      (IsAhLetter(before) || before == P(W::kNumeric) || before == P(W::kKatakana) ||
       before == P(W::kExtendNumLet)))
    return false;  // WB13a
  if (before == P(W::kExtendNumLet) &&
      (IsAhLetter(current) || current == P(W::kNumeric) || current == P(W::kKatakana)))
    return false;  // WB13b
  if (before == P(W::kRegionalIndicator) && current == P(W::kRegionalIndicator) &&
      regional_run % 2 == 1)
    return false;  // WB15, WB16
  return true;     // WB999
}

// Calls on_segment(segment, is_word) for each segment of `text` in order.
template <Text kText, class F>
void ForEachSegment(std::string_view text, F&& on_segment) {
  using W = WordBreak;
  if (text.empty()) return;
  std::size_t length = 0;
  std::uint8_t bits = ClassAt<kText>(text, 0, length);
  std::size_t start = 0;
  std::size_t at = length;
  bool word = (bits & kWordChar) != 0;
  std::uint8_t raw_before = bits & kPropertyMask;  // the character just before `at`
  std::uint8_t before = raw_before;                // the same, as WB4 sees the text
  std::uint8_t before2 = kSot;
  unsigned regional_run = before == P(W::kRegionalIndicator) ? 1 : 0;
  const std::size_t size = text.size();
  while (at < size) {
    const auto lead = static_cast<unsigned char>(text[at]);
    // Letters and digits after a letter or digit: no rule breaks between them (WB5, WB8,
    // WB9, WB10; WB4 hides marks after the one before), so a run of them is taken in
    // one go, ASCII or, in UTF-8, of two bytes (Latin, Greek, Cyrillic, Hebrew, ...).
    if (IsAlnum(before)) {
      std::size_t end = at;
      std::uint8_t last = before;
      std::uint8_t last2 = before2;
      while (end < size) {
        const auto byte = static_cast<unsigned char>(text[end]);
        std::uint8_t p;
        std::size_t bytes = 1;
        if (byte < 0x80) {
          if (!IsAsciiAlnum(byte)) break;
          p = byte <= '9' ? P(W::kNumeric) : P(W::kALetter);
        } else if constexpr (kText == Text::kUtf8) {
          if ((byte & 0xE0) != 0xC0 || end + 1 >= size) break;
          p = ClassBits(((byte & 0x1Fu) << 6) |
                        (static_cast<unsigned char>(text[end + 1]) & 0x3Fu)) &
              kPropertyMask;
          if (!IsAlnum(p)) break;
          bytes = 2;
        } else {
          break;
        }
        last2 = last;
        last = p;
        end += bytes;
      }
      if (end != at) {
        before2 = last2;
        before = last;
        raw_before = last;
        regional_run = 0;
        at = end;
        continue;
      }
    }
    // Other ASCII characters whose break needs no rule beyond WB3d and WB999: a
    // character of class Other (punctuation, symbols: never joined to the one before),
    // a blank (joined only to a blank), a letter or digit after a character that no
    // rule joins it to.
    if (lead < 0x80) {
      const std::uint8_t current = ClassBits(lead) & kPropertyMask;
      bool breaks = true;
      bool decided = true;
      if (current == P(W::kWSegSpace)) {
        breaks = raw_before != P(W::kWSegSpace);
      } else if (IsAlnum(current)) {
        decided = ((kJoinsLetterOrDigit >> before) & 1) == 0;
      } else {
        decided = current == P(W::kOther);
      }
      if (decided) {
        if (breaks) {
          on_segment(text.substr(start, at - start), word);
          start = at;
          word = false;
        }
        word = word || IsAlnum(current);
        before2 = before;
        before = current;
        raw_before = current;
        regional_run = 0;
        ++at;
        continue;
      }
    }
    bits = ClassAt<kText>(text, at, length);
    const std::uint8_t current = bits & kPropertyMask;
    bool breaks;
    if (raw_before == P(W::kCr) && current == P(W::kLf)) {
      breaks = false;  // WB3
    } else if (IsLineEnd(raw_before) || IsLineEnd(current)) {
      breaks = true;  // WB3a, WB3b
    } else if (raw_before == P(W::kZwj) && (bits & kPictographic) != 0) {
      breaks = false;  // WB3c
    } else if (raw_before == P(W::kWSegSpace) && current == P(W::kWSegSpace)) {
      breaks = false;  // WB3d
    } else if (IsIgnored(current)) {
      // WB4: the character joins the one before and is invisible to the rules after.
      raw_before = current;
      word = word || (bits & kWordChar) != 0;
      at += length;
      continue;
    } else {
      const std::size_t after = at + length;
      breaks = Breaks(before2, before, current, regional_run,
                      [&] { return NextProperty<kText>(text, after); });
    }
    if (breaks) {
      on_segment(text.substr(start, at - start), word);
      start = at;
      word = false;
    }
    word = word || (bits & kWordChar) != 0;
    before2 = before;
    before = current;
    regional_run = current == P(W::kRegionalIndicator) ? regional_run + 1 : 0;
    raw_before = current;
    at += length;
  }
  on_segment(text.substr(start), word);
}

// Calls on_word for the parts of the word `word` that split_elisions gives.
template <Text kText, class F>
void SplitElisions(std::string_view word, F&& on_word) {
  // An elided form is ASCII letters then an apostrophe: U+0027, or U+2019 in UTF-8
  // (E2 80 99) or in Windows-1252 (0x92); the longest form has 6 letters.
  std::size_t letters = 0;
  while (letters < word.size() && letters <= 6 &&
         static_cast<unsigned char>((word[letters] | 0x20) - 'a') < 26)
    ++letters;
  std::size_t apostrophe = 0;
  const std::string_view rest = word.substr(letters);
  if (rest.starts_with('\'')) {
    apostrophe = 1;
  } else if constexpr (kText == Text::kUtf8) {
    if (rest.starts_with("\xE2\x80\x99")) apostrophe = 3;
  } else {
    if (rest.starts_with('\x92')) apostrophe = 1;
  }
  const std::size_t end = letters + apostrophe;
  if (apostrophe != 0 && end < word.size() && IsElidedForm(word.substr(0, letters))) {
    on_word(word.substr(0, end));
    // Italian "dell'un'altra": the rest may start with another elided form.
    SplitElisions<kText>(word.substr(end), on_word);
    return;
  }
  on_word(word);
}

// Where the ASCII classes that the word rules tell apart stand in 64 bytes: bit i of
// each mask belongs to byte i.
struct AsciiMasks {
  std::uint64_t letters = 0;     // A-Z a-z (ALetter)
  std::uint64_t digits = 0;      // 0-9 (Numeric)
  std::uint64_t connectors = 0;  // _ (ExtendNumLet)
  std::uint64_t mid_letter = 0;  // : . ' (MidLetter, MidNumLet, Single_Quote)
  std::uint64_t mid_number = 0;  // , ; . ' (MidNum, MidNumLet, Single_Quote)
  std::uint64_t non_ascii = 0;   // bytes of 0x80 and above
};

// The masks of the 64 bytes at `p`, one byte at a time.
AsciiMasks ClassifyAsciiPlain(const unsigned char* p);
// The same, 16 bytes at a time where the processor allows (tests hold it to the plain).
AsciiMasks ClassifyAscii(const unsigned char* p);

// A place where the text may be cut and each part scanned on its own with the same
// words: after a blank or LF and before an ASCII character other than the blank.
// Nothing joins that character to a blank or LF before it (it is neither a blank
// nor a mark that WB4 would hide), and the rules that look two characters back
// (WB7, WB7c, WB11) find no letter or digit there, as at the start of a text.
inline bool IsCutPoint(std::string_view text, std::size_t at) {
  const auto before = static_cast<unsigned char>(text[at - 1]);
  const auto here = static_cast<unsigned char>(text[at]);
  return (before == ' ' || before == '\n') && here < 0x80 && here != ' ';
}

// Calls on_word for the words of `text`, which is ASCII (but see kLatin) and starts and ends at
// cut points (or the ends of the whole text). In ASCII the rules come down to masks:
// letters, digits and connectors join, and a MidLetter or MidNumLet between two
// letters, or a MidNum or MidNumLet between two digits, joins both (WB6, WB7,
// WB11, WB12); a word is a joined run with a letter or digit in it.
// With kLatin, `text` may also hold two-byte UTF-8 letters of class ALetter (Latin,
// Greek, Cyrillic, ...), which the masks take as letters (see IsSimpleLatin).
template <bool kLatin = false, class F>
void ForEachAsciiWord(std::string_view text, F&& on_word) {
  const std::size_t size = text.size();
  std::uint64_t carry_letter = 0;  // whether the byte before the block is a letter
  std::uint64_t carry_digit = 0;
  std::size_t pending = std::string_view::npos;  // the start of a word that goes on
  bool pending_word = false;
  std::uint64_t carry_second_byte = 0;
  std::uint64_t carry_joined = 0;  // whether the byte before the block is in a run
  unsigned char tail[64];
  for (std::size_t base = 0; base < size; base += 64) {
    const unsigned char* block = reinterpret_cast<const unsigned char*>(text.data()) + base;
    std::uint64_t next_letter = 0;
    std::uint64_t next_digit = 0;
    if (size - base < 64) {
      std::memset(tail, ' ', sizeof tail);
      std::memcpy(tail, block, size - base);
      block = tail;
    } else if (size - base > 64) {
      const auto next = static_cast<unsigned char>(text[base + 64]);
      next_letter =
          static_cast<unsigned char>((next | 0x20) - 'a') < 26 || (kLatin && next >= 0x80);
      next_digit = static_cast<unsigned char>(next - '0') < 10;
    }
    AsciiMasks m = ClassifyAscii(block);
    if constexpr (kLatin) {
      // Both bytes of each two-byte letter are letters; a letter's second byte may
      // open the block.
      m.letters |= carry_second_byte;
      carry_second_byte = 0;
      for (std::uint64_t high = m.non_ascii; high != 0; high &= high - 1) {
        const int i = std::countr_zero(high);
        if (block[i] < 0xC0) continue;
        m.letters |= std::uint64_t{3} << i;
        if (i == 63) carry_second_byte = 1;
      }
    }
    const std::uint64_t letter_before = (m.letters << 1) | carry_letter;
    const std::uint64_t letter_after = (m.letters >> 1) | (next_letter << 63);
    const std::uint64_t digit_before = (m.digits << 1) | carry_digit;
    const std::uint64_t digit_after = (m.digits >> 1) | (next_digit << 63);
    carry_letter = m.letters >> 63;
    carry_digit = m.digits >> 63;
    const std::uint64_t alnum = m.letters | m.digits;
    const std::uint64_t joined = alnum | m.connectors |
                                 (m.mid_letter & letter_before & letter_after) |
                                 (m.mid_number & digit_before & digit_after);
    // Bit i of `starts` marks the first byte of a run, bit i of `ends` the first byte
    // after one. Only a run of connectors alone ("__") holds no letter or digit.
    const std::uint64_t joined_before = (joined << 1) | carry_joined;
    carry_joined = joined >> 63;
    std::uint64_t starts = joined & ~joined_before;
    std::uint64_t ends = ~joined & joined_before;
    const bool check = m.connectors != 0;
    if (pending != std::string_view::npos) {
      if (ends == 0) {
        pending_word = pending_word || alnum != 0;
        continue;
      }
      const int end = std::countr_zero(ends);
      ends &= ends - 1;
      if (pending_word || (alnum & ((std::uint64_t{1} << end) - 1)) != 0)
        on_word(text.substr(pending, base + static_cast<std::size_t>(end) - pending));
      pending = std::string_view::npos;
    }
    while (starts != 0) {
      const int start = std::countr_zero(starts);
      starts &= starts - 1;
      if (ends == 0) {
        pending = base + static_cast<std::size_t>(start);
        pending_word = (alnum >> start) != 0;
        break;
      }
      const int end = std::countr_zero(ends);
      ends &= ends - 1;
      if (!check || (alnum & ((std::uint64_t{1} << end) - (std::uint64_t{1} << start))) != 0)
        on_word(text.substr(base + static_cast<std::size_t>(start),
                            static_cast<std::size_t>(end - start)));
    }
  }
  if (pending != std::string_view::npos && pending_word) on_word(text.substr(pending));
}

// True when every character of UTF-8 `text` beyond ASCII is a letter of two bytes
// whose class is ALetter: joined by the rules exactly as an ASCII letter is.
inline bool IsSimpleLatin(std::string_view text) {
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto lead = static_cast<unsigned char>(text[i]);
    if (lead < 0x80) continue;
    if (lead < 0xC2 || lead > 0xDF || i + 1 >= text.size()) return false;
    const auto second = static_cast<unsigned char>(text[i + 1]);
    if ((second & 0xC0) != 0x80) return false;
    const char32_t cp = ((lead & 0x1Fu) << 6) | (second & 0x3Fu);
    if ((ClassBits(cp) & kPropertyMask) != P(WordBreak::kALetter)) return false;
    ++i;
  }
  return true;
}

// The place of the first byte of `text` from `from` on that is not ASCII, or its size.
inline std::size_t FindNonAscii(std::string_view text, std::size_t from) {
  std::size_t i = from;
  for (; i + 8 <= text.size(); i += 8) {
    std::uint64_t eight;
    std::memcpy(&eight, text.data() + i, 8);
    if (const std::uint64_t high = eight & 0x8080808080808080u; high != 0)
      return i + static_cast<std::size_t>(std::countr_zero(high) / 8);
  }
  while (i < text.size() && static_cast<unsigned char>(text[i]) < 0x80) ++i;
  return i;
}

template <Text kText, class F>
void ForEachWord(std::string_view text, const UnicodeWordOptions& options, F&& on_word) {
  const auto emit = [&](std::string_view word) {
    if (options.split_elisions) {
      SplitElisions<kText>(word, on_word);
    } else {
      on_word(word);
    }
  };
  const auto general = [&](std::string_view part) {
    ForEachSegment<kText>(part, [&](std::string_view segment, bool is_word) {
      if (is_word) emit(segment);
    });
  };
  // ASCII stretches between cut points take the mask path; only the stretch from the
  // cut point before a non-ASCII character to the cut point after it (merged with the
  // next such stretch when that starts close by) goes through the rules one character
  // at a time, or through the Latin masks when all it holds beyond ASCII are
  // two-byte letters. A curly quote in English text so costs one word's worth of
  // rules, not a whole part's.
  constexpr std::size_t kMergeGap = 64;
  const std::size_t size = text.size();
  std::size_t start = 0;
  while (start < size) {
    const std::size_t high = FindNonAscii(text, start);
    if (high == size) {
      ForEachAsciiWord(text.substr(start), emit);
      return;
    }
    std::size_t cut = high;
    while (cut > start && !IsCutPoint(text, cut)) --cut;
    if (cut > start) ForEachAsciiWord(text.substr(start, cut - start), emit);
    std::size_t end = high + 1;
    for (;;) {
      while (end < size && !IsCutPoint(text, end)) ++end;
      if (end == size) break;
      const std::size_t next = FindNonAscii(text.substr(0, std::min(size, end + kMergeGap)), end);
      if (next == std::min(size, end + kMergeGap)) break;
      end = next + 1;
    }
    const std::string_view part = text.substr(cut, end - cut);
    if (kText == Text::kUtf8 && IsSimpleLatin(part)) {
      ForEachAsciiWord<true>(part, emit);
    } else {
      general(part);
    }
    start = end;
  }
}

}  // namespace word_break_internal

// Calls on_segment(segment, is_word) for every segment of the valid UTF-8 `text`, in
// order: the segments cover the text without gaps.
template <class F>
void ForEachUnicodeSegment(std::string_view utf8, F&& on_segment) {
  word_break_internal::ForEachSegment<word_break_internal::Text::kUtf8>(utf8, on_segment);
}

// Calls on_word(word) for every word of the valid UTF-8 `utf8`, in order, as views
// into it. The rules always break before and after a line end (LF, CR, U+000B,
// U+000C, U+0085, U+2028, U+2029) except inside CR LF, so a text may be cut into
// blocks after any LF and each block passed on its own: the words are the same.
template <class F>
void ForEachUnicodeWord(std::string_view utf8, const UnicodeWordOptions& options, F&& on_word) {
  word_break_internal::ForEachWord<word_break_internal::Text::kUtf8>(utf8, options, on_word);
}

// The same for Windows-1252 `bytes`, each byte read as the character it stands for;
// the words are views into `bytes`, so they stay Windows-1252.
template <class F>
void ForEachUnicodeWordCp1252(std::string_view bytes, const UnicodeWordOptions& options,
                              F&& on_word) {
  word_break_internal::ForEachWord<word_break_internal::Text::kCp1252>(bytes, options, on_word);
}

}  // namespace lintavel
