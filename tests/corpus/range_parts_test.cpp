// The equal parts of a corpus put together from its byte ranges read apart.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "corpus/corpus_run.h"
#include "corpus/equal_parts.h"
#include "corpus/range_parts.h"
#include "support/temp_dir.h"

namespace lintavel {
namespace {

using testing::TempDir;

TEST(RangeParts, PlacesAgreeWithThePartsSizes) {
  for (const auto& [total, parts] : {std::pair<std::uint64_t, std::uint32_t>{1, 2},
                                     {10, 3},
                                     {11, 3},
                                     {5, 7},
                                     {100, 7},
                                     {1000, 13},
                                     {999, 1000}}) {
    const EqualParts equal(total, parts);
    const PartPlaces places(total, parts);
    // The model: the parts laid end to end by their sizes.
    std::uint64_t word = 0;
    for (std::uint32_t part = 0; part < parts; ++part) {
      for (std::uint64_t i = 0; i < equal.SizeOf(part); ++i, ++word) {
        ASSERT_EQ(places.PartOf(word), part) << total << "/" << parts << " word " << word;
      }
      ASSERT_EQ(places.EndOf(part), word) << total << "/" << parts << " part " << part;
    }
    ASSERT_EQ(word, total);
  }
}

std::string Text(std::mt19937& random, std::size_t words) {
  static const char* const kWords[] = {"the",   "The", "of", "b,c", "x\ty",      "...",
                                       "don't", "Zz",  "zz", "a",   "\xE9t\xE9", "\xC9T\xC9"};
  static const char* const kGaps[] = {" ", "  ", "\r\n", "\n", "\r", " \t "};
  std::string text;
  for (std::size_t i = 0; i < words; ++i) {
    text += kWords[random() % std::size(kWords)];
    text += kGaps[random() % std::size(kGaps)];
  }
  return text;
}

// Ranges of a few bytes to many blocks, each read again into its parts from its
// first word's number, joined in order, give the parts of one run over the files.
TEST(RangeParts, RangesReadAgainGiveTheOneRunsParts) {
  struct Case {
    bool fold_case;
    bool stop;
    std::uint32_t parts;
    std::uint64_t range_bytes;
  };
  TempDir dir;
  std::mt19937 random(11);
  const std::vector<std::filesystem::path> files = {dir.Write("a.txt", Text(random, 12000)),
                                                    dir.Write("empty.txt", ""),
                                                    dir.Write("b.txt", Text(random, 300))};
  for (const Case& c : {Case{false, false, 2, 50000}, Case{true, true, 7, 997},
                        Case{false, true, 3000, 301}, Case{true, false, 1000000, 4096}}) {
    SCOPED_TRACE(::testing::Message() << c.fold_case << c.stop << " " << c.parts);
    ExtractionOptions options;
    CorpusSettings settings;
    settings.fold_case = c.fold_case;
    StopWords stop_words;
    if (c.stop) {
      stop_words.Add("the");
      stop_words.Add("zz");
    }
    const DispersedRun one = ExtractCorpusByParts(files, options, settings, stop_words, c.parts);
    SpreadCounts joined;
    std::uint64_t first = 0;
    for (const std::filesystem::path& file : files) {
      const auto size = std::filesystem::file_size(file);
      for (std::uint64_t start = 0; start == 0 || start < size; start += c.range_bytes) {
        const ByteRange range{start, start + c.range_bytes < size
                                         ? std::optional<std::uint64_t>(start + c.range_bytes)
                                         : std::nullopt};
        const std::uint64_t words = ExtractCorpusRange(file, range, FileDecoding::kCp1252, options,
                                                       settings, stop_words, nullptr)
                                        .list.total;
        const SpreadCounts spread =
            SpreadRange(file, range, FileDecoding::kCp1252, options, c.fold_case, stop_words,
                        PartPlaces(one.run.list.total, c.parts), first, words);
        // Sent between processes as bytes.
        joined.Append(SpreadCounts::Deserialize(spread.Serialize()));
        first += words;
      }
    }
    ASSERT_EQ(first, one.run.list.total);
    ASSERT_EQ(joined.words(), one.run.list.words.size());
    for (const CorpusWord& word : one.run.list.words) {
      const auto got = joined.PartsOf(word.word);
      const auto expected = one.parts.PartsOf(word.word);
      ASSERT_EQ(std::vector(got.begin(), got.end()), std::vector(expected.begin(), expected.end()))
          << word.word;
    }
  }
}

TEST(RangeParts, ReadingRefusesOtherWordsAndCutBytes) {
  TempDir dir;
  const auto file = dir.Write("a.txt", "a b c d e f");
  const PartPlaces places(6, 3);
  // Counted as 5 words before: the file changed.
  EXPECT_THROW(SpreadRange(file, {}, FileDecoding::kCp1252, {}, false, {}, places, 1, 5),
               std::runtime_error);
  EXPECT_THROW(
      SpreadRange(dir.path() / "gone.txt", {}, FileDecoding::kCp1252, {}, false, {}, places, 0, 6),
      std::runtime_error);
  SpreadCounts spread = SpreadRange(file, {}, FileDecoding::kCp1252, {}, false, {}, places, 0, 6);
  const std::string bytes = spread.Serialize();
  for (std::size_t size = 0; size < bytes.size(); ++size) {
    EXPECT_THROW(SpreadCounts::Deserialize(bytes.substr(0, size)), std::invalid_argument) << size;
  }
  EXPECT_THROW(SpreadCounts::Deserialize(bytes + "x"), std::invalid_argument);
  EXPECT_EQ(SpreadCounts::Deserialize(bytes).PartsOf("d").size(), 1u);
}

}  // namespace
}  // namespace lintavel
