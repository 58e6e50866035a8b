#include "support/word_cutter.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace lintavel {
namespace {

std::vector<std::string> Words(std::string_view text) {
  std::vector<std::string> words;
  std::string scratch;
  ForEachWord(text, scratch, [&](std::string_view word) { words.emplace_back(word); });
  return words;
}

// Cuts at separators and drops bytes one byte at a time, straight from the table.
std::vector<std::string> PlainWords(std::string_view text) {
  std::vector<std::string> words;
  std::string word;
  for (const char byte : text) {
    if (ClassOf(byte) == ByteClass::kSeparator) {
      if (!word.empty()) words.push_back(word);
      word.clear();
    } else if (ClassOf(byte) == ByteClass::kWord) {
      word.push_back(byte);
    }
  }
  if (!word.empty()) words.push_back(word);
  return words;
}

TEST(ClassifyBlock, AgreesWithTheByteClassTableForEveryByteAtEveryPlace) {
  for (int value = 0; value < 256; ++value) {
    for (unsigned place = 0; place < 64; ++place) {
      unsigned char block[64];
      for (unsigned i = 0; i < 64; ++i) block[i] = static_cast<unsigned char>('a' + i % 26);
      block[place] = static_cast<unsigned char>(value);
      const ByteMasks fast = ClassifyBlock(block);
      const ByteMasks plain = ClassifyBlockPlain(block);
      ASSERT_EQ(fast.separators, plain.separators) << value << " at " << place;
      ASSERT_EQ(fast.dropped, plain.dropped) << value << " at " << place;
    }
  }
}

TEST(ByteClasses, SeparateAtBlanksAndLineEndsOnly) {
  EXPECT_EQ(ClassOf(' '), ByteClass::kSeparator);
  EXPECT_EQ(ClassOf('\n'), ByteClass::kSeparator);
  EXPECT_EQ(ClassOf('\r'), ByteClass::kSeparator);
  EXPECT_EQ(ClassOf('\t'), ByteClass::kDropped);
  EXPECT_EQ(ClassOf('\xa0'), ByteClass::kWord);  // no-break space
  EXPECT_EQ(ClassOf('\f'), ByteClass::kWord);
  EXPECT_EQ(ClassOf('\0'), ByteClass::kWord);
}

TEST(ForEachWord, CutsAndCleans) {
  EXPECT_EQ(Words("The cat saw the cat."),
            (std::vector<std::string>{"The", "cat", "saw", "the", "cat"}));
  EXPECT_EQ(Words("  one\ttwo  ... \r\n<p>Hello<b>x"),
            (std::vector<std::string>{"onetwo", "pHellobx"}));
  EXPECT_EQ(Words(""), std::vector<std::string>{});
  EXPECT_EQ(Words("--- !!! \n"), std::vector<std::string>{});
}

TEST(ForEachWord, MatchesTheByteByByteCutterOnRandomText) {
  std::mt19937 random(20261207);
  const std::string alphabet = std::string("ab \n\r\t.,'-") + "\xe9\x80\xa0" + std::string(1, '\0');
  for (int round = 0; round < 400; ++round) {
    std::string text(random() % 300, ' ');
    for (char& c : text) c = alphabet[random() % alphabet.size()];
    // Long words run over the 64-byte blocks.
    if (round % 4 == 0) text.insert(random() % (text.size() + 1), std::string(random() % 200, 'w'));
    ASSERT_EQ(Words(text), PlainWords(text)) << "round " << round;
  }
}

}  // namespace
}  // namespace lintavel
