#include "engine/code_page.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace lintavel {
namespace {

TEST(CodePage, DecodesTheHighHalfAsWindows1252) {
  EXPECT_EQ(DecodeCp1252(0x80), u'\u20ac');
  EXPECT_EQ(DecodeCp1252(0x92), u'\u2019');
  EXPECT_EQ(DecodeCp1252(0x9F), u'\u0178');
  EXPECT_EQ(DecodeCp1252(0xE9), u'\u00e9');
  for (const int undefined : {0x81, 0x8D, 0x8F, 0x90, 0x9D}) {
    EXPECT_EQ(DecodeCp1252(static_cast<unsigned char>(undefined)),
              static_cast<char16_t>(undefined));
  }
}

TEST(CodePage, EveryByteSurvivesDecodeAndEncode) {
  for (int b = 0; b < 256; ++b) {
    EXPECT_EQ(EncodeCp1252(DecodeCp1252(static_cast<unsigned char>(b))), b);
  }
}

TEST(CodePage, CharactersOutsideTheCodePageBecomeQuestionMarks) {
  EXPECT_EQ(EncodeCp1252(u"a\u0100\u4e2d\u0080b"), "a???b");
}

TEST(Utf16OrdinalLess, OrdersBytesByTheirDecodedCodeUnits) {
  // Sort all single bytes both ways and compare.
  std::vector<std::string> bytes;
  for (int b = 0; b < 256; ++b) bytes.emplace_back(1, static_cast<char>(b));
  std::sort(bytes.begin(), bytes.end(), Utf16OrdinalLess);
  for (std::size_t i = 1; i < bytes.size(); ++i) {
    EXPECT_LT(DecodeCp1252(bytes[i - 1]), DecodeCp1252(bytes[i]));
  }
  // 0x80 is the euro sign, U+20AC, after U+00FF; 0x81 is U+0081, before U+00A0.
  EXPECT_TRUE(Utf16OrdinalLess("\xff", "\x80"));
  EXPECT_TRUE(Utf16OrdinalLess("\x81", "\xa0"));
  EXPECT_TRUE(Utf16OrdinalLess("\x9f", "\x99"));  // U+0178 before U+2122
}

TEST(Utf16OrdinalLess, PrefixComesFirstAndEqualIsNotLess) {
  EXPECT_TRUE(Utf16OrdinalLess("ab", "abc"));
  EXPECT_FALSE(Utf16OrdinalLess("abc", "ab"));
  EXPECT_FALSE(Utf16OrdinalLess("ab", "ab"));
  EXPECT_TRUE(Utf16OrdinalLess("Zebra", "apple"));
}

}  // namespace
}  // namespace lintavel
