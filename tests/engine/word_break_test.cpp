#include "engine/word_break.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "engine/utf8.h"
#include "support/word_break_reference.h"

namespace lintavel {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;

std::vector<reference::Segment> EngineSegments(std::string_view text) {
  std::vector<reference::Segment> out;
  ForEachUnicodeSegment(text, [&](std::string_view segment, bool is_word) {
    out.push_back({std::string(segment), is_word});
  });
  return out;
}

std::vector<std::string> EngineWords(std::string_view text, bool split_elisions = false) {
  std::vector<std::string> out;
  ForEachUnicodeWord(text, UnicodeWordOptions{.split_elisions = split_elisions},
                     [&](std::string_view word) { out.emplace_back(word); });
  return out;
}

// Unicode's own test cases: "÷ 0041 × 0308 ÷ 0020 ÷	#  comment", one a line.
TEST(UnicodeWordBreak, PassesEveryLineOfUnicodesWordBreakTest) {
  std::ifstream in("/usr/share/unicode/auxiliary/WordBreakTest.txt");
  ASSERT_TRUE(in) << "WordBreakTest.txt of the unicode-data package is missing";
  std::string line;
  int cases = 0;
  for (int number = 1; std::getline(in, line); ++number) {
    line = line.substr(0, line.find('#'));
    if (line.find_first_not_of(" \t") == std::string::npos) continue;
    std::istringstream fields(line);
    std::string field;
    std::string text;
    std::vector<std::string> expected;
    std::string segment;
    while (fields >> field) {
      if (field == "\xC3\xB7") {  // ÷
        if (!segment.empty()) expected.push_back(segment);
        segment.clear();
      } else if (field != "\xC3\x97") {  // ×
        std::string utf8;
        AppendUtf8(static_cast<char32_t>(std::stoul(field, nullptr, 16)), utf8);
        text += utf8;
        segment += utf8;
      }
    }
    std::vector<std::string> got;
    for (const auto& s : EngineSegments(text)) got.push_back(s.text);
    std::vector<std::string> literal;
    for (const auto& s : reference::Segments(text)) literal.push_back(s.text);
    ASSERT_EQ(got, expected) << "line " << number << ": " << line;
    ASSERT_EQ(literal, expected) << "reference, line " << number << ": " << line;
    ++cases;
  }
  EXPECT_GT(cases, 1800);
}

TEST(UnicodeWordBreak, OnePassScannerAgreesWithTheLiteralRulesOnRandomText) {
  std::mt19937 random(26);
  for (int round = 0; round < 20000; ++round) {
    const std::string text = reference::RandomWordBreakText(random, 1 + round % 24);
    ASSERT_EQ(EngineSegments(text), reference::Segments(text)) << "round " << round;
  }
}

// Mostly ASCII text with what the ASCII path joins and parts, long enough to cross
// its 64-byte blocks and its parts, with Latin letters of two bytes and now and
// then another character beyond ASCII.
std::string MostlyAsciiText(std::mt19937& random, std::size_t length) {
  static const std::vector<std::string> kPieces = {"a",
                                                   "Z",
                                                   "q",
                                                   "7",
                                                   "0",
                                                   "_",
                                                   ".",
                                                   ":",
                                                   ",",
                                                   ";",
                                                   "'",
                                                   "\"",
                                                   " ",
                                                   " ",
                                                   " ",
                                                   "\n",
                                                   "\r\n",
                                                   "-",
                                                   "!",
                                                   "\t",
                                                   "\xC3\xA9",
                                                   "\xE2\x80\x99",
                                                   "\xE4\xB8\xAD",
                                                   "\xCC\x81",
                                                   "\xEF\xBE\x9E"};
  std::uniform_int_distribution<std::size_t> pick(0, kPieces.size() - 1);
  std::uniform_int_distribution<int> rare(0, 200);
  std::string text;
  while (text.size() < length) {
    std::size_t piece = pick(random);
    if (piece >= 21 && rare(random) != 0) piece %= 21;
    text += kPieces[piece];
  }
  return text;
}

TEST(UnicodeWordBreak, AsciiMaskPathGivesTheWordsOfTheLiteralRules) {
  std::mt19937 random(2626);
  for (int round = 0; round < 800; ++round) {
    const std::string text = MostlyAsciiText(random, 1 + (round * 7) % 1500);
    ASSERT_EQ(EngineWords(text), reference::Words(text)) << "round " << round << ": " << text;
  }
}

TEST(UnicodeWordBreak, AsciiMasksAgreeWithThePlainClassesForEveryByteAtEveryPlace) {
  using word_break_internal::AsciiMasks;
  for (int value = 0; value < 256; ++value) {
    for (unsigned place = 0; place < 64; place += 7) {
      unsigned char block[64];
      for (unsigned i = 0; i < 64; ++i) block[i] = static_cast<unsigned char>('a' + i % 26);
      block[place] = static_cast<unsigned char>(value);
      const AsciiMasks fast = word_break_internal::ClassifyAscii(block);
      const AsciiMasks plain = word_break_internal::ClassifyAsciiPlain(block);
      ASSERT_EQ(fast.letters, plain.letters) << value;
      ASSERT_EQ(fast.digits, plain.digits) << value;
      ASSERT_EQ(fast.connectors, plain.connectors) << value;
      ASSERT_EQ(fast.mid_letter, plain.mid_letter) << value;
      ASSERT_EQ(fast.mid_number, plain.mid_number) << value;
      ASSERT_EQ(fast.non_ascii, plain.non_ascii) << value;
    }
  }
}

struct WordCase {
  const char* name;
  const char* text;
  std::vector<std::string> words;
};

TEST(UnicodeWordBreak, WordsAsReadersSeeThem) {
  const std::vector<WordCase> cases = {
      {"curly quotes", "\xE2\x80\x9CHello\xE2\x80\x9D, she said.", {"Hello", "she", "said"}},
      {"guillemets", "\xC2\xAB bonjour\xC2\xBB", {"bonjour"}},
      {"inverted marks", "\xC2\xBFqu\xC3\xA9?", {"qu\xC3\xA9"}},
      {"em dash", "word\xE2\x80\x94word", {"word", "word"}},
      {"hyphen", "well-known", {"well", "known"}},
      {"apostrophe in English", "don't", {"don't"}},
      {"French elision stays whole by default", "l\xE2\x80\x99histoire", {"l\xE2\x80\x99histoire"}},
      {"quoted n", "rock 'n' roll", {"rock", "n", "roll"}},
      {"numbers", "3,14 and 1.000.000 and 42%", {"3,14", "and", "1.000.000", "and", "42"}},
      {"trailing period", "e.g. U.S.A.", {"e.g", "U.S.A"}},
      {"underscore joins", "snake_case __ x", {"snake_case", "x"}},
      {"Han one a character", "\xE4\xB8\xAD\xE6\x96\x87", {"\xE4\xB8\xAD", "\xE6\x96\x87"}},
      {"katakana run and hiragana",
       "\xE3\x82\xAB\xE3\x82\xBF\xE3\x81\xAE",
       {"\xE3\x82\xAB\xE3\x82\xBF", "\xE3\x81\xAE"}},
      {"emoji and flags are no words",
       "\xF0\x9F\x98\x80 \xF0\x9F\x87\xAB\xF0\x9F\x87\xB7 ok",
       {"ok"}},
      {"combining mark stays in the word", "e\xCC\x81t\xC3\xA9", {"e\xCC\x81t\xC3\xA9"}},
      {"CR LF and tabs", "one\r\ntwo\tthree", {"one", "two", "three"}},
      {"Hebrew with gershayim", "\xD7\xA6\xD7\x94\"\xD7\x9C", {"\xD7\xA6\xD7\x94\"\xD7\x9C"}},
      {"only punctuation", "... -- !?", {}},
      {"empty", "", {}},
  };
  for (const WordCase& c : cases) {
    EXPECT_THAT(EngineWords(c.text), ElementsAreArray(c.words)) << c.name;
  }
}

TEST(UnicodeWordBreak, Cp1252TextGivesTheWordsOfItsCharacters) {
  // 0x93 0x94: curly quotes, 0x92: right single quotation mark, 0x97: em dash.
  std::vector<std::string> words;
  ForEachUnicodeWordCp1252(
      "\x93"
      "Caf\xE9\x94 l\x92"
      "eau\x97mer \x80 5",
      UnicodeWordOptions{.split_elisions = true},
      [&](std::string_view word) { words.emplace_back(word); });
  EXPECT_THAT(words, ElementsAre("Caf\xE9", "l\x92", "eau", "mer", "5"));
}

TEST(UnicodeWordBreak, BlocksCutAfterLineEndsGiveTheSameWords) {
  std::mt19937 random(2601);
  for (int round = 0; round < 2000; ++round) {
    std::string text = reference::RandomWordBreakText(random, 40);
    const std::size_t cut = text.find('\n');
    if (cut == std::string::npos) continue;
    std::vector<std::string> blocks = EngineWords(text.substr(0, cut + 1));
    for (std::string& word : EngineWords(text.substr(cut + 1))) blocks.push_back(word);
    ASSERT_EQ(blocks, EngineWords(text)) << "round " << round;
  }
}

TEST(SplitElisions, SplitsFrenchAndItalianElidedFormsOnly) {
  const std::vector<WordCase> cases = {
      {"French article, curly", "l\xE2\x80\x99histoire", {"l\xE2\x80\x99", "histoire"}},
      {"French article, straight, capital", "L'Histoire", {"L'", "Histoire"}},
      {"conjunction", "lorsqu'il jusqu'ici", {"lorsqu'", "il", "jusqu'", "ici"}},
      {"Italian chain", "dell'un'altra", {"dell'", "un'", "altra"}},
      {"English stays whole", "don't it's", {"don't", "it's"}},
      {"French adverb stays whole", "aujourd'hui", {"aujourd'hui"}},
      {"apostrophe at the end", "l' x", {"l", "x"}},
      {"accented form is not elided", "\xC3\xA0l'eau", {"\xC3\xA0l'eau"}},
  };
  for (const WordCase& c : cases) {
    EXPECT_THAT(EngineWords(c.text, true), ElementsAreArray(c.words)) << c.name;
  }
}

}  // namespace
}  // namespace lintavel
