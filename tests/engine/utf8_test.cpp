#include "engine/utf8.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "engine/extraction.h"
#include "support/reference_decoding.h"
#include "support/temp_dir.h"

namespace lintavel {
namespace {

const std::string kFffd = "\xEF\xBF\xBD";

struct NormalizeCase {
  const char* name;
  std::string input;
  std::string output;
  std::uint64_t replaced;
};

class Normalize : public ::testing::TestWithParam<NormalizeCase> {};

TEST_P(Normalize, GivesTheSameWhereverTheChunksAreCut) {
  const std::string& input = GetParam().input;
  for (std::size_t chunk = 1; chunk <= std::max<std::size_t>(input.size(), 1); ++chunk) {
    Utf8Normalizer normalizer;
    std::string out;
    for (std::size_t at = 0; at < input.size(); at += chunk) {
      normalizer.Feed(std::string_view(input).substr(at, chunk), out);
    }
    normalizer.Finish(out);
    EXPECT_EQ(out, GetParam().output) << "chunks of " << chunk;
    EXPECT_EQ(normalizer.replaced(), GetParam().replaced) << "chunks of " << chunk;
  }
}

TEST_P(Normalize, GivesTheSameInOneWholeChunk) {
  Utf8Normalizer normalizer;
  std::string scratch;
  const std::string_view out = normalizer.Normalize(GetParam().input, true, scratch);
  EXPECT_EQ(out, GetParam().output);
  EXPECT_EQ(normalizer.replaced(), GetParam().replaced);
}

INSTANTIATE_TEST_SUITE_P(
    Inputs, Normalize,
    ::testing::Values(
        NormalizeCase{"Ascii", "plain text", "plain text", 0},
        NormalizeCase{"MultiByte", "caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80",
                      "caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80", 0},
        NormalizeCase{"ByteOrderMarkDropped", "\xEF\xBB\xBFword", "word", 0},
        NormalizeCase{"OnlyAByteOrderMark", "\xEF\xBB\xBF", "", 0},
        NormalizeCase{"MarkInsideIsKept", "a\xEF\xBB\xBF", "a\xEF\xBB\xBF", 0},
        NormalizeCase{"LoneContinuation", "a\x80z", "a" + kFffd + "z", 1},
        NormalizeCase{"Latin1Byte", "caf\xE9 x", "caf" + kFffd + " x", 1},
        NormalizeCase{"TruncatedAtEnd", "ab\xE2\x82", "ab" + kFffd, 1},
        NormalizeCase{"TruncatedBeforeAscii", "\xE2\x82.", kFffd + ".", 1},
        NormalizeCase{"Overlong", "\xC0\xAF\xE0\x80\xAF", kFffd + kFffd + kFffd + kFffd + kFffd, 5},
        NormalizeCase{"Surrogate", "\xED\xA0\x80", kFffd + kFffd + kFffd, 3},
        NormalizeCase{"BeyondU10FFFF", "\xF4\x90\x80\x80", kFffd + kFffd + kFffd + kFffd, 4},
        NormalizeCase{"StartOfAMarkOnly", "\xEF\xBB", kFffd, 1}),
    [](const auto& test_case) { return std::string(test_case.param.name); });

// Text of `length` bytes: ASCII, or two-byte characters with an ASCII byte where
// one does not fit, so that a piece put in anywhere meets every neighbour.
std::string Filler(std::size_t length, bool ascii) {
  std::string text;
  while (text.size() < length) text.append(ascii || text.size() + 2 > length ? "a" : "\xC3\xA9");
  return text;
}

TEST(IsWellFormedUtf8, FindsEveryFaultWhereverItStands) {
  // Each piece at every place of texts long enough to cross several 64-byte steps.
  const std::string well_formed[] = {"\xC2\x80",         "\xDF\xBF",         "\xE0\xA0\x80",
                                     "\xED\x9F\xBF",     "\xEE\x80\x80",     "\xEF\xBF\xBF",
                                     "\xF0\x90\x80\x80", "\xF4\x8F\xBF\xBF", "\xEF\xBB\xBF"};
  const std::string ill_formed[] = {"\x80",
                                    "\xBF",
                                    "\xC0\xAF",
                                    "\xC1\xBF",
                                    "\xC3",
                                    "\xE0\x9F\xBF",
                                    "\xE2\x82",
                                    "\xED\xA0\x80",
                                    "\xF0\x8F\xBF\xBF",
                                    "\xF4\x90\x80\x80",
                                    "\xF5\x80\x80\x80",
                                    "\xFF",
                                    "\xF0\x9F\x98",
                                    "\xC3\xA9\xA9",
                                    "\xE2\x82\xAC\x80"};
  for (const bool ascii : {true, false}) {
    for (std::size_t at = 0; at <= 140; ++at) {
      const std::string before = Filler(at, ascii);
      for (const std::size_t after : {std::size_t{0}, std::size_t{1}, 150 - at}) {
        const std::string rest = Filler(after, ascii);
        for (const std::string& piece : well_formed) {
          const std::string text = before + piece + rest;
          for (const Utf8Check check : Utf8Checks()) {
            ASSERT_TRUE(check(text)) << at << " " << ::testing::PrintToString(text);
          }
        }
        for (const std::string& piece : ill_formed) {
          const std::string text = before + piece + rest;
          for (const Utf8Check check : Utf8Checks()) {
            ASSERT_FALSE(check(text)) << at << " " << ::testing::PrintToString(text);
          }
        }
      }
    }
  }
}

TEST(IsWellFormedUtf8, AgreesWithTheDecoderOnRandomBytes) {
  // Mostly well-formed pieces, so that faults are rare and far apart.
  const std::string pieces[] = {"a",    " ",    "\xC3\xA9", "\xE2\x82\xAC", "\xF0\x9F\x98\x80",
                                "\x80", "\xE2", "\xF4\x90", "\xED\xB0\x80"};
  std::mt19937 random(5);
  for (int round = 0; round < 3000; ++round) {
    std::string text;
    const std::size_t pieces_in = random() % 300;
    for (std::size_t i = 0; i < pieces_in; ++i) {
      const bool fault = random() % 200 == 0;
      text.append(pieces[fault ? 5 + random() % 4 : random() % 5]);
    }
    const bool expected = testing::DecodeUtf8Plainly(text, false).replaced == 0;
    for (const Utf8Check check : Utf8Checks()) {
      ASSERT_EQ(check(text), expected) << ::testing::PrintToString(text);
    }
  }
}

TEST(Utf8Normalizer, AgreesWithTheDecoderOnLongTextsInAnyChunks) {
  // Long enough that well-formed stretches are passed over whole and faults fall
  // on both sides of the places where stretches and chunks are cut.
  const std::string pieces[] = {"word ", "caf\xC3\xA9 ", "\xE2\x82\xAC", "\xF0\x9F\x98\x80",
                                "\xFF",  "\xE2\x82",     "\xEF\xBB\xBF", "\xC3"};
  std::mt19937 random(9);
  for (int round = 0; round < 40; ++round) {
    std::string text;
    while (text.size() < 40000) text.append(pieces[random() % (round % 2 == 0 ? 4 : 8)]);
    const testing::DecodedText expected = testing::DecodeUtf8Plainly(text, true);
    for (const std::size_t chunk :
         {std::size_t{7}, std::size_t{4093}, std::size_t{16385}, text.size()}) {
      Utf8Normalizer normalizer;
      std::string out;
      for (std::size_t at = 0; at < text.size(); at += chunk) {
        normalizer.Feed(std::string_view(text).substr(at, chunk), out);
      }
      normalizer.Finish(out);
      ASSERT_EQ(testing::DecodeUtf8Plainly(out, false).text, expected.text) << chunk;
      ASSERT_EQ(normalizer.replaced(), expected.replaced) << chunk;
    }
  }
}

TEST(Utf8Utf16Less, OrdersAsUtf16CodeUnits) {
  // U+FFFD is above U+E000, a character beyond U+FFFF sorts as its high surrogate.
  EXPECT_TRUE(Utf8Utf16Less("\xF0\x9F\x98\x80", "\xEF\xBF\xBD"));
  EXPECT_FALSE(Utf8Utf16Less("\xEF\xBF\xBD", "\xF0\x9F\x98\x80"));
  EXPECT_TRUE(Utf8Utf16Less("\xED\x9F\xBF", "\xF0\x9F\x98\x80"));  // U+D7FF first
  EXPECT_TRUE(Utf8Utf16Less("Zebra", "apple"));
  EXPECT_TRUE(Utf8Utf16Less("caf", "caf\xC3\xA9"));
  EXPECT_TRUE(Utf8Utf16Less("caf\xC3\xA9", "caf\xC4\x80"));  // U+00E9 before U+0100
  EXPECT_FALSE(Utf8Utf16Less("same", "same"));
}

TEST(Utf8Utf16Less, OrdersEveryPairAsTheirUtf16CodeUnits) {
  struct Pair {
    const char* lower;
    const char* higher;
  };
  const Pair pairs[] = {
      {"\xF0\x9D\x91\x92", "\xF0\x9D\x96\xA8"},  // U+1D452 (D835 DC52) < U+1D5A8 (D835 DDA8)
      {"\xF0\x9F\x98\x80", "\xF0\x9F\x98\x81"},  // U+1F600 < U+1F601, same high surrogate
      {"\xF0\x9F\x98\x81", "\xF0\x9F\x98\x82"},
      {"\xF0\x9F\x98\x80", "\xF0\x9F\x98\x80z"},
      {"\xF0\x90\x80\x80", "\xF4\x8F\xBF\xBF"},  // U+10000 < U+10FFFF
      {"\xF4\x8F\xBF\xBF", "\xEE\x80\x80"},      // every pair before U+E000
      {"\xF0\x9F\x98\x82", "\xEF\xBC\xA1"},      // U+1F602 < U+FF21
      {"\xED\x9F\xBF", "\xF0\x90\x80\x80"},      // U+D7FF < U+10000
      {"a\xF0\x9F\x98\x80", "a\xEF\xBF\xBD"},
      {"\xC3\xA9\xF0\x9D\x91\x92x",
       "\xC3\xA9\xF0\x9D\x96\xA8"
       "a"},
  };
  for (const Pair& pair : pairs) {
    EXPECT_TRUE(Utf8Utf16Less(pair.lower, pair.higher)) << pair.lower << " < " << pair.higher;
    EXPECT_FALSE(Utf8Utf16Less(pair.higher, pair.lower)) << pair.higher << " < " << pair.lower;
  }
}

TEST(Utf8Utf16Less, AgreesWithComparingTheUtf16OfRandomWords) {
  // Characters near the places where UTF-8 and UTF-16 orders part.
  const std::vector<char32_t> alphabet = {u'a',    u'z',    0xE9,    0x7FF,   0x800,   0xD7FF,
                                          0xE000,  0xFF21,  0xFFFD,  0xFFFF,  0x10000, 0x1D452,
                                          0x1D5A8, 0x1F600, 0x1F601, 0x1F602, 0x10FFFF};
  std::mt19937 random(11);
  const auto word = [&] {
    std::string text;
    const int length = 1 + static_cast<int>(random() % 4);
    for (int i = 0; i < length; ++i) AppendUtf8(alphabet[random() % alphabet.size()], text);
    return text;
  };
  const auto utf16 = [](const std::string& text) {
    return testing::DecodeUtf8Plainly(text, false).text;
  };
  for (int round = 0; round < 20000; ++round) {
    const std::string a = word();
    const std::string b = word();
    ASSERT_EQ(Utf8Utf16Less(a, b), utf16(a) < utf16(b)) << a << " / " << b;
  }
}

TEST(Utf8ToCp1252, KeepsWhatTheCodePageHasAndMarksTheRest) {
  EXPECT_EQ(Utf8ToCp1252("caf\xC3\xA9 \xE2\x82\xAC"), "caf\xE9 \x80");
  EXPECT_EQ(Utf8ToCp1252("\xE4\xB8\xAD\xF0\x9F\x98\x80x"), "??x");
  std::string back;
  AppendCp1252AsUtf8("caf\xE9 \x80\x81", back);
  EXPECT_EQ(back, "caf\xC3\xA9 \xE2\x82\xAC\xC2\x81");
}

struct Utf8Run {
  std::vector<std::string> words;
  std::vector<std::pair<std::string, std::uint64_t>> invalid;
};

Utf8Run ExtractAs(InputEncoding encoding, const std::vector<std::filesystem::path>& files) {
  Utf8Run run;
  ExtractionOptions options;
  options.encoding = encoding;
  options.on_ill_formed = [&](const std::filesystem::path& file, std::uint64_t count,
                              InputEncoding read_as) {
    EXPECT_EQ(read_as, InputEncoding::kUtf8);
    run.invalid.emplace_back(file.filename().string(), count);
  };
  const ExtractionResult result = ExtractWords(files, options);
  EXPECT_EQ(result.encoding, WordEncoding::kUtf8);
  for (const CountedWord& word : result.words) run.words.emplace_back(word.word);
  return run;
}

TEST(ExtractWordsUtf8, CountsCharactersNotBytesAndReportsIllFormedFilesOnce) {
  testing::TempDir dir;
  const auto good = dir.Write("good.txt",
                              "\xEF\xBB\xBF"
                              "caf\xC3\xA9, caf\xC3\xA9 na\xC3\xAFve!");
  const auto bad = dir.Write("bad.txt", "x\xFF y\xFE\xFF z");
  const Utf8Run run = ExtractAs(InputEncoding::kUtf8, {good, bad});
  EXPECT_EQ(run.words, (std::vector<std::string>{"na\xC3\xAFve", "x" + kFffd, "y" + kFffd + kFffd,
                                                 "z", "caf\xC3\xA9"}));
  EXPECT_EQ(run.invalid, (std::vector<std::pair<std::string, std::uint64_t>>{{"bad.txt", 3}}));
}

TEST(ExtractWordsUtf8, OrdersCharactersBeyondUFFFFAsUtf16) {
  testing::TempDir dir;
  const auto file =
      dir.Write("emoji.txt",
                "\xF0\x9D\x96\xA8 \xF0\x9D\x91\x92 \xF0\x9F\x98\x81 \xF0\x9F\x98\x80 \xEF\xBC\xA1 "
                "\xF0\x9F\x98\x82 \xF0\x9F\x98\x80z\n");
  const Utf8Run run = ExtractAs(InputEncoding::kUtf8, {file});
  EXPECT_EQ(run.words,
            (std::vector<std::string>{"\xF0\x9D\x91\x92", "\xF0\x9D\x96\xA8", "\xF0\x9F\x98\x80",
                                      "\xF0\x9F\x98\x80z", "\xF0\x9F\x98\x81", "\xF0\x9F\x98\x82",
                                      "\xEF\xBC\xA1"}));
}

TEST(ExtractWordsUtf8, AutoReadsEachFileInItsOwnEncoding) {
  testing::TempDir dir;
  const auto utf8 = dir.Write("utf8.txt", "caf\xC3\xA9 \xE2\x82\xAC");
  const auto cp1252 = dir.Write("cp1252.txt", "caf\xE9 \x80 caf\xE9");
  const auto marked = dir.Write("marked.txt", "\xEF\xBB\xBF\xE2\x82\xAC");
  const Utf8Run run = ExtractAs(InputEncoding::kAuto, {utf8, cp1252, marked});
  EXPECT_EQ(run.words, (std::vector<std::string>{"caf\xC3\xA9", "\xE2\x82\xAC"}));
  EXPECT_TRUE(run.invalid.empty());
}

}  // namespace
}  // namespace lintavel
