#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace lintavel {

// Windows-1252, the single-byte code page in which input files are read and text
// files written: one byte, one UTF-16 code unit. The five bytes that the code page
// leaves undefined stand for the C1 control with the same number.
inline constexpr std::array<char16_t, 256> kCp1252ToUtf16 = [] {
  std::array<char16_t, 256> table{};
  for (int b = 0; b < 256; ++b) table[b] = static_cast<char16_t>(b);
  constexpr char16_t kHigh[32] = {
      0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  // 80-87
      0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,  // 88-8F
      0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 90-97
      0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,  // 98-9F
  };
  for (int i = 0; i < 32; ++i) table[0x80 + i] = kHigh[i];
  return table;
}();

// The code a character gets in a code page that lacks it.
inline constexpr unsigned char kUnmappable = '?';

// The place of each byte's character in ordinal UTF-16 order: comparing two byte
// strings by these ranks orders them exactly as their decoded texts.
inline constexpr std::array<std::uint8_t, 256> kUtf16OrderRank = [] {
  std::array<std::uint8_t, 256> rank{};
  for (int b = 0; b < 256; ++b) {
    int below = 0;
    for (int c = 0; c < 256; ++c) below += kCp1252ToUtf16[c] < kCp1252ToUtf16[b] ? 1 : 0;
    rank[b] = static_cast<std::uint8_t>(below);
  }
  return rank;
}();

inline char16_t DecodeCp1252(unsigned char byte) { return kCp1252ToUtf16[byte]; }

// The code of `unit` in Windows-1252, or '?' when the code page lacks it.
unsigned char EncodeCp1252(char16_t unit);

std::u16string DecodeCp1252(std::string_view bytes);
std::string EncodeCp1252(std::u16string_view text);

// True when the decoded text of `a` comes before that of `b` in ordinal UTF-16 order.
bool Utf16OrdinalLess(std::string_view a, std::string_view b);

}  // namespace lintavel
