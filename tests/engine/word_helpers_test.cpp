#include "support/word_helpers.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace lintavel {
namespace {

struct TextCase {
  std::u16string input;
  std::u16string expected;
};

class RemovePunctuationTest : public ::testing::TestWithParam<TextCase> {};

TEST_P(RemovePunctuationTest, CleansTheWordInPlace) {
  std::u16string word = GetParam().input;
  const std::u16string returned = RemovePunctuation(word);
  EXPECT_EQ(returned, GetParam().expected);
  EXPECT_EQ(word, GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Words, RemovePunctuationTest,
    ::testing::Values(TextCase{u"<p>Hello</p>", u"pHellop"}, TextCase{u"...", u""},
                      TextCase{u"na\u00efve", u"na\u00efve"}, TextCase{u"\u00dcber", u"\u00dcber"},
                      TextCase{u"a+b=c", u"abc"}, TextCase{u"don't", u"dont"},
                      TextCase{u"e-mail", u"email"}, TextCase{u"3.14", u"314"},
                      // Typographic quotes, dashes and the no-break space are no ASCII.
                      TextCase{u"\u201cword\u2014\u00a0x\u201d", u"\u201cword\u2014\u00a0x\u201d"},
                      TextCase{u"!\"#$%&'()*+,-./:;<=>?@[\\]^_`{|}~", u""},
                      TextCase{u"a\tb c", u"a\tb c"}));

TEST(RemovePunctuation, RemovesExactlyThe32AsciiPunctuationCharacters) {
  for (char16_t c = 0; c < 0x180; ++c) {
    std::u16string text(1, c);
    const bool ascii_punctuation = (c >= 0x21 && c <= 0x2F) || (c >= 0x3A && c <= 0x40) ||
                                   (c >= 0x5B && c <= 0x60) || (c >= 0x7B && c <= 0x7E);
    EXPECT_EQ(RemovePunctuation(text).empty(), ascii_punctuation) << static_cast<int>(c);
  }
}

TEST(RemoveSpaces, RemovesBlanksOnlyAndKeepsTabsAndNoBreakSpaces) {
  EXPECT_EQ(RemoveSpaces(u"a b  c"), u"abc");
  EXPECT_EQ(RemoveSpaces(u" a\tb\u00a0c "), u"a\tb\u00a0c");
}

TEST(RemoveCharacters, KeepsTheOrderOfWhatRemains) {
  EXPECT_EQ(RemoveCharacters(u"banana", u"n"), u"baaa");
  EXPECT_EQ(RemoveCharacters(u"banana", u""), u"banana");
}

TEST(MakeCountKey, FillsTheCountToElevenDigits) {
  EXPECT_EQ(MakeCountKey(u"3 house"), u"00000000003 house");
  EXPECT_EQ(MakeCountKey(u"2147483647 x"), u"02147483647 x");
  EXPECT_EQ(MakeCountKey(u"12 x"), u"00000000012 x");
  EXPECT_EQ(MakeCountKey(u"007 bond"), u"00000000007 bond");
}

TEST(MakeCountKey, FailsWithoutABlankOrANumber) {
  EXPECT_THROW(MakeCountKey(u"house"), std::invalid_argument);
  EXPECT_THROW(MakeCountKey(u"x3 house"), std::invalid_argument);
  EXPECT_THROW(MakeCountKey(u" house"), std::invalid_argument);
  EXPECT_THROW(MakeCountKey(u"2147483648 x"), std::overflow_error);
}

TEST(StripLeadingZeros, DropsOnlyTheLeadingZeros) {
  EXPECT_EQ(StripLeadingZeros(u"00000000003 house"), u"3 house");
  EXPECT_EQ(StripLeadingZeros(u"000"), u"");
  EXPECT_EQ(StripLeadingZeros(u"0"), u"");
  EXPECT_EQ(StripLeadingZeros(u""), u"");
  EXPECT_EQ(StripLeadingZeros(u"100"), u"100");
}

TEST(SortByExchangePasses, OrdersKeysByCountThenOrdinally) {
  std::vector<std::u16string> keys = {u"00000000002 b", u"00000000001 z", u"00000000002 a",
                                      u"00000000001 A"};
  int passes = 0;
  const auto& sorted = SortByExchangePasses(keys, [&] { ++passes; });
  EXPECT_EQ(&sorted, &keys);
  EXPECT_EQ(keys, (std::vector<std::u16string>{u"00000000001 A", u"00000000001 z", u"00000000002 a",
                                               u"00000000002 b"}));
  EXPECT_GE(passes, 2);
}

TEST(SortByExchangePasses, EmptyAndSingleListsTakeOnePass) {
  for (std::vector<std::u16string> list :
       {std::vector<std::u16string>{}, std::vector<std::u16string>{u"x"}}) {
    const auto before = list;
    int passes = 0;
    SortByExchangePasses(list, [&] { ++passes; });
    EXPECT_EQ(list, before);
    EXPECT_EQ(passes, 1);
  }
}

TEST(SortByExchangePasses, ComparesCodeUnitsNotLetters) {
  std::vector<std::u16string> list = {u"apple", u"\u00e9", u"Zebra", u"9", u"\u20ac"};
  SortByExchangePasses(list);
  EXPECT_EQ(list, (std::vector<std::u16string>{u"9", u"Zebra", u"apple", u"\u00e9", u"\u20ac"}));
}

}  // namespace
}  // namespace lintavel
