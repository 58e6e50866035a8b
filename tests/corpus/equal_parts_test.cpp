// Dispersion over equal parts of a corpus by word position.
#include <gtest/gtest.h>

#include <cctype>
#include <cstdint>
#include <filesystem>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "corpus/dispersion.h"
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

// Words of letters and digits between blanks and line ends, some with tabs or
// punctuation to take out and some of punctuation only (no word), so that the test
// can cut them itself.
std::string PlainText(std::mt19937& random, std::size_t bytes) {
  static const char* const kWords[] = {"the", "The", "of",  "and", "Lord", "lord",
                                       "x1",  "zz",  "...", "b,c", "o\tf", "--"};
  static const char* const kGaps[] = {" ", "\n", "\r\n", "  "};
  std::string text;
  while (text.size() < bytes) {
    text += kWords[random() % std::size(kWords)];
    // Rare words, so that many words are in few parts only.
    if (random() % 50 == 0) text += std::to_string(random() % 3000);
    text += kGaps[random() % std::size(kGaps)];
  }
  return text;
}

// The counts of each word in each part (a file, or an equal part of the words when
// `parts` is not 0), worked out from the words in order.
std::map<std::string, std::map<std::uint32_t, std::uint64_t>> ExpectedParts(
    const std::vector<std::vector<std::string>>& words_of_files, std::uint32_t parts,
    std::vector<std::uint64_t>& sizes) {
  std::uint64_t total = 0;
  for (const auto& words : words_of_files) total += words.size();
  std::map<std::string, std::map<std::uint32_t, std::uint64_t>> expected;
  sizes.assign(parts == 0 ? words_of_files.size() : parts, 0);
  const EqualParts equal(total, parts == 0 ? 1 : parts);
  std::uint32_t part = 0;
  std::uint64_t left = parts == 0 ? 0 : equal.SizeOf(0);
  for (std::size_t file = 0; file < words_of_files.size(); ++file) {
    for (const std::string& word : words_of_files[file]) {
      if (parts == 0) {
        part = static_cast<std::uint32_t>(file);
      } else {
        while (left == 0) left = equal.SizeOf(++part);
        --left;
      }
      ++expected[word][part];
      ++sizes[part];
    }
  }
  return expected;
}

// The one run that hands out each block's words and the way taken past the memory
// bound (a run per file, or a second reading) give each word's count in each part
// as the words in order give it: files of several blocks, blocks across a part's
// end, an empty and a missing file, parts of a few words, 1 and 2 threads.
TEST(Dispersion, OneRunAndTheBoundedWayPlaceEveryWordInItsPart) {
  TempDir dir;
  std::mt19937 random(11);
  const std::string texts[] = {PlainText(random, (9 << 20) / 4), "", PlainText(random, 3000), "",
                               PlainText(random, 300000)};
  const std::vector<std::filesystem::path> files = {
      dir.Write("big.txt", texts[0]), dir.Write("empty.txt", texts[1]),
      dir.Write("small.txt", texts[2]), dir.path() / "missing.txt",
      dir.Write("other.txt", texts[4])};
  StopWords stop_words;
  stop_words.Add("of");
  const StopWords none;
  struct Case {
    std::uint32_t parts;  // 0: the files
    bool fold_case;
    const StopWords* stop;
  };
  // Without stop words, a block across parts' ends is cut at them and its pieces
  // counted; with 5000 parts, a block holds many parts.
  const Case cases[] = {{0, false, &none},   {0, true, &stop_words},     {2, false, &none},
                        {7, true, &none},    {1000, false, &stop_words}, {5000, true, &stop_words},
                        {5000, false, &none}};
  for (const Case& c : cases) {
    std::vector<std::vector<std::string>> words_of_files;
    for (const std::string& text : texts) {
      std::vector<std::string>& words = words_of_files.emplace_back();
      std::string word;
      for (const char byte : text + " ") {
        if (byte == '\t' || std::ispunct(static_cast<unsigned char>(byte))) continue;
        if (byte != ' ' && byte != '\n' && byte != '\r') {
          word += c.fold_case ? static_cast<char>(std::tolower(byte)) : byte;
          continue;
        }
        if (!word.empty() && !c.stop->Contains(word)) words.push_back(word);
        word.clear();
      }
    }
    std::vector<std::uint64_t> sizes;
    const auto expected = ExpectedParts(words_of_files, c.parts, sizes);
    CorpusSettings settings;
    settings.fold_case = c.fold_case;
    for (const unsigned threads : {1u, 2u}) {
      for (const std::uint64_t memory_limit : {std::uint64_t{0}, std::uint64_t{1}}) {
        SCOPED_TRACE(::testing::Message()
                     << c.parts << " parts, " << threads << " threads, bound " << memory_limit);
        ExtractionOptions options;
        options.threads = threads;
        options.memory_limit = memory_limit;
        const DispersedRun run =
            c.parts == 0 ? ExtractCorpusByFile(files, options, settings, *c.stop)
                         : ExtractCorpusByParts(files, options, settings, *c.stop, c.parts);
        EXPECT_EQ(run.run.reports, 1);
        EXPECT_TRUE(std::equal(run.parts.sizes().begin(), run.parts.sizes().end(), sizes.begin(),
                               sizes.end()));
        ASSERT_EQ(run.run.list.words.size(), expected.size());
        for (const CorpusWord& word : run.run.list.words) {
          const auto found = expected.find(std::string(word.word));
          ASSERT_NE(found, expected.end()) << word.word;
          std::map<std::uint32_t, std::uint64_t> got;
          for (const auto& [part, count] : run.parts.PartsOf(word.word)) got[part] += count;
          EXPECT_EQ(got, found->second) << word.word;
          if (c.parts == 0) {
            EXPECT_EQ(word.files, found->second.size()) << word.word;
          }
        }
      }
    }
  }
}

// Under a bound that the words come near only after some files, the words of the
// blocks counted so far are handed back to the counting threads: none lost, none
// counted twice, whatever the threads.
TEST(EqualParts, WordsHandedBackMidRunAreCountedOnce) {
  TempDir dir;
  std::vector<std::vector<std::string>> words_of_files;
  std::vector<std::filesystem::path> files;
  // Each file brings 300 words of its own, so that the words grow file by file.
  for (int file = 0; file < 8; ++file) {
    std::vector<std::string>& words = words_of_files.emplace_back();
    std::string text;
    for (int round = 0; round < 3; ++round) {
      for (int word = 0; word < 300; ++word) {
        words.push_back("the");
        words.push_back("f" + std::to_string(file) + "w" + std::to_string(word * (round + 1)));
      }
    }
    for (const std::string& word : words) text += word + "\n";
    files.push_back(dir.Write("f" + std::to_string(file) + ".txt", text));
  }
  struct Case {
    std::uint32_t parts;
    unsigned threads;
    std::uint64_t memory_limit;  // 0: the words are never handed back
  };
  const Case cases[] = {
      {3, 1, 0}, {3, 1, 1179648}, {7, 2, 1179648}, {2, 2, 2359296}, {1000, 2, 1179648}};
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message()
                 << c.parts << " parts, " << c.threads << " threads, bound " << c.memory_limit);
    std::vector<std::uint64_t> sizes;
    const auto expected = ExpectedParts(words_of_files, c.parts, sizes);
    ExtractionOptions options;
    options.threads = c.threads;
    options.memory_limit = c.memory_limit;
    const DispersedRun run = ExtractCorpusByParts(files, options, {}, StopWords(), c.parts);
    EXPECT_TRUE(
        std::equal(run.parts.sizes().begin(), run.parts.sizes().end(), sizes.begin(), sizes.end()));
    ASSERT_EQ(run.run.list.words.size(), expected.size());
    for (const CorpusWord& word : run.run.list.words) {
      const auto found = expected.find(std::string(word.word));
      ASSERT_NE(found, expected.end()) << word.word;
      std::map<std::uint32_t, std::uint64_t> got;
      std::uint64_t count = 0;
      for (const auto& [part, in_part] : found->second) count += in_part;
      for (const auto& [part, in_part] : run.parts.PartsOf(word.word)) got[part] += in_part;
      EXPECT_EQ(word.count, count) << word.word;
      EXPECT_EQ(got, found->second) << word.word;
    }
  }
}

}  // namespace
}  // namespace lintavel
