#include "engine/code_page.h"

#include <algorithm>

namespace lintavel {

namespace {

// The inverse of the high half of the table, for the few code units above U+00FF.
unsigned char EncodeAboveLatin1(char16_t unit) {
  for (int b = 0x80; b < 0xA0; ++b) {
    if (kCp1252ToUtf16[b] == unit) return static_cast<unsigned char>(b);
  }
  return kUnmappable;
}

}  // namespace

unsigned char EncodeCp1252(char16_t unit) {
  if (unit < 0x80 || (unit >= 0xA0 && unit <= 0xFF)) return static_cast<unsigned char>(unit);
  if (unit < 0xA0) {
    // Of the C1 range only the five undefined bytes stand for themselves.
    return kCp1252ToUtf16[unit] == unit ? static_cast<unsigned char>(unit) : kUnmappable;
  }
  return EncodeAboveLatin1(unit);
}

std::u16string DecodeCp1252(std::string_view bytes) {
  std::u16string text(bytes.size(), u'\0');
  std::transform(bytes.begin(), bytes.end(), text.begin(),
                 [](char byte) { return DecodeCp1252(static_cast<unsigned char>(byte)); });
  return text;
}

std::string EncodeCp1252(std::u16string_view text) {
  std::string bytes(text.size(), '\0');
  std::transform(text.begin(), text.end(), bytes.begin(),
                 [](char16_t unit) { return static_cast<char>(EncodeCp1252(unit)); });
  return bytes;
}

bool Utf16OrdinalLess(std::string_view a, std::string_view b) {
  const auto [in_a, in_b] = std::mismatch(a.begin(), a.end(), b.begin(), b.end());
  if (in_b == b.end()) return false;  // b is a prefix of a, or equal
  if (in_a == a.end()) return true;   // a is a proper prefix of b
  return kUtf16OrderRank[static_cast<unsigned char>(*in_a)] <
         kUtf16OrderRank[static_cast<unsigned char>(*in_b)];
}

}  // namespace lintavel
