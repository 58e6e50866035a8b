// Dispersion over equal parts of a corpus by word position.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "corpus/equal_parts.h"
#include "support/temp_dir.h"

namespace lintavel {
namespace {

using testing::TempDir;

// Random text with everything the word cutters treat specially: punctuation and tabs
// inside words, every line end, runs of blanks, letters with case, UTF-8 letters and
// an elision.
std::string RandomText(std::mt19937& random, std::size_t bytes) {
  static const char* const kPieces[] = {"the",
                                        "The",
                                        "THE",
                                        "of",
                                        "a",
                                        "b,c",
                                        "x\ty",
                                        "l'eau",
                                        "caf\xC3\xA9",
                                        "CAF\xC3\x89",
                                        "\xC3\xBC"
                                        "ber",
                                        "...",
                                        "don't",
                                        "9",
                                        "W",
                                        "zz"};
  static const char* const kGaps[] = {" ", "  ", "\r\n", "\n", "\r", " \t "};
  std::string text;
  while (text.size() < bytes) {
    text += kPieces[random() % std::size(kPieces)];
    text += kGaps[random() % std::size(kGaps)];
  }
  return text;
}

// Whatever the threads, the parts are the same; every occurrence the engine counted
// lands in exactly one part; the parts are equal but for one word, the longer first.
TEST(EqualParts, SameWithAnyThreadsAndEveryOccurrenceInOnePart) {
  TempDir dir;
  std::mt19937 random(7);
  // The first file is read in more than one block.
  const std::vector<std::filesystem::path> files = {
      dir.Write("big.txt", RandomText(random, (5 << 20) / 2)), dir.Write("empty.txt", ""),
      dir.Write("small.txt", RandomText(random, 5000))};
  StopWords stop_words;
  stop_words.Add("of");
  struct Case {
    InputEncoding encoding;
    WordRule rule;
    bool fold_case;
    const StopWords* stop;
    std::uint32_t parts;
  };
  const StopWords none;
  const Case cases[] = {
      {InputEncoding::kCp1252, WordRule::kDefault, false, &none, 7},
      {InputEncoding::kUtf8, WordRule::kUnicode, true, &none, 1000},
      {InputEncoding::kAuto, WordRule::kDefault, true, &stop_words, 2},
      // Blocks wholly inside one part, and words across a file's end.
      {InputEncoding::kUtf8, WordRule::kDefault, true, &none, 3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.parts);
    CorpusSettings settings;
    settings.fold_case = c.fold_case;
    std::vector<DispersedRun> runs;
    for (const unsigned threads : {1u, 2u}) {
      ExtractionOptions options;
      options.threads = threads;
      options.encoding = c.encoding;
      options.words = c.rule;
      runs.push_back(ExtractCorpusByParts(files, options, settings, *c.stop, c.parts));
    }
    const DispersedRun& one = runs[0];
    const DispersedRun& two = runs[1];
    ASSERT_EQ(one.parts.sizes().size(), c.parts);
    ASSERT_GT(one.run.list.words.size(), 5u);
    EXPECT_TRUE(std::equal(one.parts.sizes().begin(), one.parts.sizes().end(),
                           two.parts.sizes().begin(), two.parts.sizes().end()));
    std::uint64_t total = 0;
    for (std::size_t i = 0; i < c.parts; ++i) {
      total += one.parts.sizes()[i];
      EXPECT_LE(one.parts.sizes()[i], one.parts.sizes()[0]);
      EXPECT_GE(one.parts.sizes()[i] + 1, one.parts.sizes()[0]);
      if (i > 0) {
        EXPECT_LE(one.parts.sizes()[i], one.parts.sizes()[i - 1]);
      }
    }
    EXPECT_EQ(total, one.run.list.total);
    std::vector<std::uint64_t> counts;
    std::vector<std::uint64_t> other;
    for (const CorpusWord& word : one.run.list.words) {
      one.parts.CountsOf(word.word, counts);
      two.parts.CountsOf(word.word, other);
      EXPECT_EQ(counts, other) << word.word;
      std::uint64_t sum = 0;
      for (const std::uint64_t count : counts) sum += count;
      EXPECT_EQ(sum, word.count) << word.word;
    }
  }
}

}  // namespace
}  // namespace lintavel
