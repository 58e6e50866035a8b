#include "engine/extraction.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <atomic>
#include <cerrno>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "engine/code_page.h"
#include "support/literal_extraction.h"
#include "support/temp_dir.h"

namespace lintavel {
namespace {

using testing::TempDir;

struct Outcome {
  std::vector<std::u16string> rows;
  std::uint64_t total = 0;
  std::vector<FileFailure> reports;
};

Outcome Extract(const std::vector<std::filesystem::path>& files, unsigned threads = 2) {
  Outcome outcome;
  ExtractionOptions options;
  options.threads = threads;
  options.on_failure = [&](const FileFailure& failure) { outcome.reports.push_back(failure); };
  const ExtractionResult result = ExtractWords(files, options);
  for (const CountedWord& word : result.words) outcome.rows.push_back(DecodeCp1252(word.word));
  outcome.total = result.total;
  EXPECT_EQ(result.reports, static_cast<int>(outcome.reports.size()));
  return outcome;
}

struct RunCase {
  const char* name;
  std::vector<std::string> files;  // the bytes of each input file
  std::vector<std::u16string> rows;
  std::uint64_t total;
};

class ExtractionRun : public ::testing::TestWithParam<RunCase> {};

TEST_P(ExtractionRun, GivesTheWordsLeastFrequentFirstAndTheTotal) {
  TempDir dir;
  std::vector<std::filesystem::path> files;
  for (std::size_t i = 0; i < GetParam().files.size(); ++i) {
    files.push_back(dir.Write("f" + std::to_string(i) + ".txt", GetParam().files[i]));
  }
  for (const unsigned threads : {1u, 2u}) {
    const Outcome outcome = Extract(files, threads);
    EXPECT_EQ(outcome.rows, GetParam().rows) << threads << " threads";
    EXPECT_EQ(outcome.total, GetParam().total) << threads << " threads";
    EXPECT_TRUE(outcome.reports.empty());
  }
}

INSTANTIATE_TEST_SUITE_P(
    Inputs, ExtractionRun,
    ::testing::Values(
        RunCase{"WorkedExample", {"The cat saw the cat."}, {u"The", u"saw", u"the", u"cat"}, 5},
        RunCase{"OnlyBlanksAndPunctuation", {"  ... --- !? \n ,,\t;"}, {}, 0},
        RunCase{"CaseMattersAndInnerPunctuationJoins",
                {"The the don't dont"},
                {u"The", u"the", u"dont"},
                4},
        RunCase{"TabJoinsWords", {"one\ttwo"}, {u"onetwo"}, 1},
        RunCase{"NoBreakSpaceJoinsWords", {"one\xa0two one"}, {u"one", u"one\u00a0two"}, 2},
        RunCase{
            "NineBeforeTwelve", {"b b b b b b b b b a a a a a a a a a a a a"}, {u"b", u"a"}, 21},
        RunCase{"ZebraBeforeApple", {"apple Zebra"}, {u"Zebra", u"apple"}, 2},
        RunCase{"HtmlTagsBecomeWords",
                {"<p>Hello <b>World</b></p>\n<a href=index.html>"},
                {u"a", u"bWorldbp", u"hrefindexhtml", u"pHello"},
                4},
        RunCase{"SameWordInTwoFilesIsSummed", {"word\n", "word other"}, {u"other", u"word"}, 3},
        RunCase{"EmptyFileContributesNothing", {"x", "", "x"}, {u"x"}, 2},
        RunCase{"LeadingTrailingAndDoubledBlanks", {"  a  b   a  \r\n"}, {u"b", u"a"}, 3},
        RunCase{"LineEndsSeparate", {"a\rb\r\nc\nd"}, {u"a", u"b", u"c", u"d"}, 4},
        RunCase{"LastWordOfAFileEndsThere", {"ab", "cd"}, {u"ab", u"cd"}, 2},
        RunCase{"HighBytesSortAsTheirCharacters",
                {"\x80 \xff \xa0 \x81 \x9f z"},
                {u"z", u"\u0081", u"\u00a0", u"\u00ff", u"\u0178", u"\u20ac"},
                6}),
    [](const auto& test_case) { return std::string(test_case.param.name); });

// UTF-16 little-endian bytes of the ASCII and BMP text `text`.
std::string Utf16Le(std::u16string_view text) {
  std::string bytes;
  for (const char16_t unit : text) {
    bytes.push_back(static_cast<char>(unit & 0xFF));
    bytes.push_back(static_cast<char>(unit >> 8));
  }
  return bytes;
}

struct IllFormedReport {
  std::string file;
  std::uint64_t count;
  InputEncoding read_as;
  bool operator==(const IllFormedReport&) const = default;
};

struct DecodedCase {
  const char* name;
  InputEncoding encoding;
  std::vector<std::string> files;
  std::vector<std::string> words;  // UTF-8
  std::vector<IllFormedReport> reports;
};

class DecodedRun : public ::testing::TestWithParam<DecodedCase> {};

TEST_P(DecodedRun, ReadsEachFileInItsEncodingAndReportsIllFormedOnesOnce) {
  TempDir dir;
  std::vector<std::filesystem::path> files;
  for (std::size_t i = 0; i < GetParam().files.size(); ++i) {
    files.push_back(dir.Write("f" + std::to_string(i), GetParam().files[i]));
  }
  std::vector<IllFormedReport> reports;
  ExtractionOptions options;
  options.encoding = GetParam().encoding;
  options.on_ill_formed = [&](const std::filesystem::path& file, std::uint64_t count,
                              InputEncoding read_as) {
    reports.push_back({file.filename().string(), count, read_as});
  };
  const ExtractionResult result = ExtractWords(files, options);
  EXPECT_EQ(result.encoding, WordEncoding::kUtf8);
  std::vector<std::string> words;
  for (const CountedWord& word : result.words) words.emplace_back(word.word);
  EXPECT_EQ(words, GetParam().words);
  EXPECT_EQ(reports, GetParam().reports);
}

INSTANTIATE_TEST_SUITE_P(
    Inputs, DecodedRun,
    ::testing::Values(
        DecodedCase{"AutoLittleEndianMark",
                    InputEncoding::kAuto,
                    {Utf16Le(u"\uFEFFcaf\u00E9 \u20AC caf\u00E9")},
                    {"\xE2\x82\xAC", "caf\xC3\xA9"},
                    {}},
        DecodedCase{"AutoBigEndianMark",
                    InputEncoding::kAuto,
                    {std::string("\xFE\xFF\0a\0 \xD8\x3D\xDE\x00", 10)},
                    {"a", "\xF0\x9F\x98\x80"},
                    {}},
        DecodedCase{"IllFormedSurrogatesReportedOncePerFile",
                    InputEncoding::kAuto,
                    // A lone high, a lone low, an odd last byte.
                    {Utf16Le(u"\uFEFFx") + std::string("\x3D\xD8 \0\x00\xDCy", 7), "plain"},
                    {"plain", "x\xEF\xBF\xBD", "\xEF\xBF\xBD\xEF\xBF\xBD"},
                    {{"f0", 3, InputEncoding::kUtf16}}},
        DecodedCase{"EachFileInItsOwnEncoding",
                    InputEncoding::kAuto,
                    {Utf16Le(u"\uFEFFcaf\u00E9"), "caf\xE9", "caf\xC3\xA9", std::string("a\0b", 3)},
                    {std::string("a\0b", 3), "caf\xC3\xA9"},
                    {}},
        DecodedCase{"NamedUtf16WithoutMarkIsLittleEndian",
                    InputEncoding::kUtf16,
                    {Utf16Le(u"hi hi \u4E2D"), Utf16Le(u"\uFEFFhi")},
                    {"\xE4\xB8\xAD", "hi"},
                    {}}),
    [](const auto& test_case) { return std::string(test_case.param.name); });

TEST(ExtractWords, Utf16SplitBetweenBlocksComesOutWhole) {
  // The 2 MiB block boundary falls inside a surrogate pair, inside one word.
  constexpr std::size_t kBlock = 2 << 20;
  std::string text = Utf16Le(u"\uFEFF");
  while (text.size() < kBlock - 8) text += Utf16Le(u"ab ");
  text.resize(kBlock - 6);
  text += Utf16Le(u" x");
  text += std::string("\x3D\xD8\x00\xDE", 4);  // U+1F600 over the boundary
  text += Utf16Le(u"y ab");
  TempDir dir;
  const auto file = dir.Write("big.txt", text);
  ExtractionOptions options;
  options.encoding = InputEncoding::kAuto;
  bool ill_formed = false;
  options.on_ill_formed = [&](const std::filesystem::path&, std::uint64_t, InputEncoding) {
    ill_formed = true;
  };
  const ExtractionResult result = ExtractWords({&file, 1}, options);
  ASSERT_EQ(result.words.size(), 2u);
  EXPECT_EQ(result.words[0].word, "x\xF0\x9F\x98\x80y");
  EXPECT_EQ(result.words[1].word, "ab");
  EXPECT_FALSE(ill_formed);
}

TEST(ExtractWords, MatchesTheStepByStepRunOnRandomFiles) {
  std::mt19937 random(42);
  const std::vector<std::string> pieces = {
      "the",       "The", "cat",   "don't",   "e-mail",
      "3.14",      "<p>", "</b>",  "caf\xe9", "\x80uro",
      "\x93q\x94", "a",   "\xa0",  " ",       " ",
      " ",         "\t",  "\r",    "\n",      "\r\n",
      ".",         "--",  "Zebra", "apple",   std::string(1, '\0'),
      "\x0c",      "___", "x",     "9"};
  TempDir dir;
  for (int round = 0; round < 60; ++round) {
    std::vector<std::filesystem::path> files;
    const int file_count = 1 + static_cast<int>(random() % 3);
    for (int f = 0; f < file_count; ++f) {
      std::string text;
      const int length = static_cast<int>(random() % 120);
      for (int i = 0; i < length; ++i) text += pieces[random() % pieces.size()];
      files.push_back(dir.Write("r" + std::to_string(f) + ".txt", text));
    }
    const testing::LiteralResult expected = testing::LiteralExtraction(files);
    const Outcome outcome = Extract(files, 1 + round % 2);
    ASSERT_EQ(outcome.rows, expected.rows) << "round " << round;
    ASSERT_EQ(outcome.total, static_cast<std::uint64_t>(expected.total)) << "round " << round;
  }
}

// Counting straight from the reader's lines with the named helpers, for inputs too
// large for the step-by-step run.
std::map<std::u16string, std::uint64_t> CountFromLines(const std::filesystem::path& file) {
  std::map<std::u16string, std::uint64_t> counts;
  for (const std::u16string& line : ReadLinesAsCp1252(file, {})) {
    std::size_t start = 0;
    while (start <= line.size()) {
      std::size_t blank = line.find(u' ', start);
      if (blank == std::u16string::npos) blank = line.size();
      std::u16string token = line.substr(start, blank - start);
      if (!RemovePunctuation(token).empty()) ++counts[token];
      start = blank + 1;
    }
  }
  return counts;
}

TEST(ExtractWords, WordsAcrossBlockBoundariesOfALargeFileAreCountedWhole) {
  std::mt19937 random(7);
  // One word of 2.5 MB, its punctuation spread over three blocks, then many short ones.
  std::string text;
  for (int i = 0; i < 2'500'000 / 3; ++i) text += "ab-";
  text += ' ';
  while (text.size() < 6'000'000) {
    const int kind = static_cast<int>(random() % 100);
    if (kind < 2) {
      text.append(200'000 + random() % 100'000, static_cast<char>('a' + random() % 3));
    } else if (kind < 4) {
      text.append(70'000, '-');  // a run of punctuation over a block boundary
    } else {
      text.append(1 + random() % 12, static_cast<char>('a' + random() % 4));
      text.push_back(" .\n\t\r,"[random() % 6]);
    }
  }
  TempDir dir;
  const auto file = dir.Write("large.txt", text);
  const auto counts = CountFromLines(file);
  ExtractionOptions options;
  options.threads = 2;
  const ExtractionResult result = ExtractWords({&file, 1}, options);
  ASSERT_EQ(result.words.size(), counts.size());
  std::uint64_t total = 0;
  for (const CountedWord& word : result.words) {
    const auto found = counts.find(DecodeCp1252(word.word));
    ASSERT_NE(found, counts.end());
    EXPECT_EQ(found->second, word.count);
    total += word.count;
  }
  EXPECT_EQ(result.total, total);
}

TEST(ExtractWords, ReportsUnreadableFilesInOrderAndReadsTheRest) {
  TempDir dir;
  std::filesystem::create_directory(dir.path() / "folder");
  ASSERT_EQ(::mkfifo((dir.path() / "pipe").c_str(), 0600), 0);
  const std::vector<std::filesystem::path> files = {
      dir.Write("a.txt", "alpha beta"), dir.path() / "missing.txt", dir.path() / "folder",
      dir.path() / "pipe", dir.Write("b.txt", "beta")};
  const Outcome outcome = Extract(files);
  ASSERT_EQ(outcome.reports.size(), 3u);
  for (std::size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(outcome.reports[i].path, files[i + 1]);
    EXPECT_EQ(outcome.reports[i].stage, FailureStage::kOpen);
  }
  EXPECT_EQ(outcome.reports[0].error_number, ENOENT);
  EXPECT_EQ(outcome.rows, (std::vector<std::u16string>{u"alpha", u"beta"}));
  EXPECT_EQ(outcome.total, 3u);
}

TEST(ExtractWords, ProgressRisesToOne) {
  TempDir dir;
  const auto file = dir.Write("p.txt", std::string(5'000'000, 'a').replace(100, 1, " "));
  std::vector<double> seen;
  ExtractionOptions options;
  options.progress = [&](const ExtractionProgress& progress) {
    seen.push_back(progress.fraction());
  };
  ExtractWords({&file, 1}, options);
  ASSERT_FALSE(seen.empty());
  EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));
  EXPECT_DOUBLE_EQ(seen.back(), 1.0);
  EXPECT_GE(seen.front(), 0.0);
}

TEST(ExtractWords, ACancelledRunEndsWithoutWords) {
  TempDir dir;
  const auto file = dir.Write("c.txt", "word ");
  std::atomic<bool> cancel{true};
  ExtractionOptions options;
  options.cancel = &cancel;
  const ExtractionResult result = ExtractWords({&file, 1}, options);
  EXPECT_TRUE(result.cancelled);
  EXPECT_TRUE(result.words.empty());
}

TEST(ExtractWords, OnlyTheMarkAtTheStartOfAFileIsDroppedInEveryBlock) {
  // Several blocks, more than the buffers of one counting thread, so that buffers
  // are used again; every block after the first begins in the file's middle.
  constexpr std::size_t kBytes = 9 << 20;
  struct Case {
    const char* name;
    InputEncoding encoding;
    std::string mark_word;  // U+FEFF then "w", then a blank
  };
  const Case cases[] = {
      {"UTF-8", InputEncoding::kUtf8, "\xEF\xBB\xBFw "},
      {"UTF-16LE", InputEncoding::kUtf16, std::string("\xFF\xFEw\0 \0", 6)},
      {"UTF-16BE", InputEncoding::kUtf16, std::string("\xFE\xFF\0w\0 ", 6)},
  };
  TempDir dir;
  for (const Case& c : cases) {
    std::string text;
    std::size_t words = 0;
    for (; text.size() < kBytes; ++words) text += c.mark_word;
    const auto file = dir.Write("marks.txt", text);
    for (const unsigned threads : {1u, 2u}) {
      ExtractionOptions options;
      options.encoding = c.encoding;
      options.threads = threads;
      const ExtractionResult result = ExtractWords({&file, 1}, options);
      std::map<std::string, std::uint64_t> counts;
      for (const CountedWord& word : result.words) counts[std::string(word.word)] = word.count;
      EXPECT_EQ(counts,
                (std::map<std::string, std::uint64_t>{{"w", 1}, {"\xEF\xBB\xBFw", words - 1}}))
          << c.name << ", " << threads << " threads";
    }
  }
}

TEST(ExtractWords, ALongRunCountsEveryBlockAndReportsEveryIllFormedPart) {
  // Far more blocks than buffers, so that the reader runs ahead and counts some of
  // them itself; its counts and its ill-formed parts must be in the result too.
  constexpr std::size_t kBytes = 30 << 20;
  const std::string line = "ok \xFF\n";
  std::string text;
  text.reserve(kBytes + line.size());
  std::uint64_t lines = 0;
  for (; text.size() < kBytes; ++lines) text += line;
  TempDir dir;
  const auto file = dir.Write("long.txt", text);
  for (const unsigned threads : {1u, 2u, 3u}) {
    ExtractionOptions options;
    options.encoding = InputEncoding::kUtf8;
    options.threads = threads;
    std::vector<std::uint64_t> reports;
    options.on_ill_formed = [&](const std::filesystem::path&, std::uint64_t count, InputEncoding) {
      reports.push_back(count);
    };
    const ExtractionResult result = ExtractWords({&file, 1}, options);
    std::map<std::string, std::uint64_t> counts;
    for (const CountedWord& word : result.words) counts[std::string(word.word)] = word.count;
    EXPECT_EQ(counts,
              (std::map<std::string, std::uint64_t>{{"ok", lines}, {"\xEF\xBF\xBD", lines}}))
        << threads << " threads";
    EXPECT_EQ(reports, std::vector<std::uint64_t>{lines}) << threads << " threads";
  }
}

}  // namespace
}  // namespace lintavel
