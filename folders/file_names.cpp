#include "folders/file_names.h"

#include <algorithm>
#include <iterator>

#include "corpus/case_folding.h"
#include "engine/code_page.h"

namespace lintavel::folders {

namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

// The length of the valid UTF-8 sequence at `i` and its code point; length 0 when
// the bytes there are no valid sequence.
struct Sequence {
  std::size_t length;
  char32_t code_point;
};

Sequence SequenceAt(std::string_view text, std::size_t i) {
  const auto lead = static_cast<unsigned char>(text[i]);
  if (lead < 0x80) return {1, lead};
  std::size_t length = 0;
  char32_t code_point = 0;
  // The bounds of the second byte rule out overlong forms, surrogates and code
  // points beyond U+10FFFF.
  unsigned char low = 0x80, high = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
    code_point = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    code_point = lead & 0x0F;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    code_point = lead & 0x07;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    return {0, 0};
  }
  if (length > text.size() - i) return {0, 0};
  for (std::size_t k = 1; k < length; ++k) {
    const auto byte = static_cast<unsigned char>(text[i + k]);
    if (byte < (k == 1 ? low : 0x80) || byte > (k == 1 ? high : 0xBF)) return {0, 0};
    code_point = (code_point << 6) | (byte & 0x3F);
  }
  return {length, code_point};
}

// Calls unit(c) for each UTF-16 code unit of DecodeName(name), in order.
template <typename Unit>
void ForEachUnit(std::string_view name, Unit unit) {
  std::size_t i = name.starts_with(kByteOrderMark) ? kByteOrderMark.size() : 0;
  while (i < name.size()) {
    const Sequence sequence = SequenceAt(name, i);
    if (sequence.length == 0) {
      unit(u'\uFFFD');
      ++i;
      continue;
    }
    if (sequence.code_point >= 0x10000) {
      const char32_t offset = sequence.code_point - 0x10000;
      unit(static_cast<char16_t>(0xD800 + (offset >> 10)));
      unit(static_cast<char16_t>(0xDC00 + (offset & 0x3FF)));
    } else {
      unit(static_cast<char16_t>(sequence.code_point));
    }
    i += sequence.length;
  }
}

bool WildcardFrom(std::u16string_view name, std::u16string_view pattern) {
  // Iterative matching with one back-track point for the last "*".
  std::size_t n = 0, p = 0, resume = 0;
  std::size_t star = std::u16string_view::npos;
  while (n < name.size()) {
    if (p < pattern.size() && pattern[p] == u'*') {
      star = p++;
      resume = n;
    } else if (p < pattern.size() &&
               (pattern[p] == u'?' || FoldCase(pattern[p]) == FoldCase(name[n]))) {
      ++p;
      ++n;
    } else if (star != std::u16string_view::npos) {
      p = star + 1;
      n = ++resume;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == u'*') ++p;
  return p == pattern.size();
}

bool IsBadUnit(char16_t unit) {
  const int code = EncodeCp1252(unit);
  return code < 32 || (code >= 127 && code <= 159) || code == '?';
}

}  // namespace

std::u16string DecodeName(std::string_view name) {
  std::u16string text;
  text.reserve(name.size());
  ForEachUnit(name, [&text](char16_t unit) { text.push_back(unit); });
  return text;
}

std::size_t Utf16Length(std::string_view name) {
  std::size_t length = 0;
  ForEachUnit(name, [&length](char16_t) { ++length; });
  return length;
}

bool IsCarriableName(std::string_view name) {
  if (name.starts_with(kByteOrderMark)) return false;
  for (std::size_t i = 0; i < name.size();) {
    const std::size_t length = SequenceAt(name, i).length;
    if (length == 0) return false;
    i += length;
  }
  return true;
}

char16_t FoldCase(char16_t unit) {
  if (unit < 0x80) return unit >= u'A' && unit <= u'Z' ? static_cast<char16_t>(unit + 32) : unit;
  // A character of the basic plane folds to one of the basic plane; a surrogate, no
  // character, folds to itself.
  const char32_t folded = lintavel::FoldCase(char32_t{unit});
  return folded <= 0xFFFF ? static_cast<char16_t>(folded) : unit;
}

bool MatchesWildcard(std::u16string_view name, std::u16string_view pattern) {
  if (WildcardFrom(name, pattern)) return true;
  return pattern.ends_with(u".*") && name.find(u'.') == std::u16string_view::npos &&
         WildcardFrom(name, pattern.substr(0, pattern.size() - 2));
}

bool MatchesWildcard(std::string_view name, std::string_view pattern) {
  return MatchesWildcard(DecodeName(name), DecodeName(pattern));
}

bool HasBadCharacters(std::u16string_view name) {
  return std::any_of(name.begin(), name.end(), IsBadUnit);
}

bool HasBadCharacters(std::string_view name) {
  bool bad = false;
  ForEachUnit(name, [&bad](char16_t unit) { bad = bad || IsBadUnit(unit); });
  return bad;
}

}  // namespace lintavel::folders
