// Keyness, dispersion and reference lists against figures worked out by hand.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "corpus/dispersion.h"
#include "corpus/keyness.h"
#include "corpus/reference_list.h"
#include "support/temp_dir.h"

namespace lintavel {
namespace {

using testing::TempDir;

// a, b: the word's counts in target and reference; c, d: the corpus sizes. The
// figures were worked out by hand from the published formulas:
//   10/5 of 1000/1000: E1 = E2 = 7.5,
//     G2 = 2 (10 ln(10/7.5) + 5 ln(5/7.5)) = 2 (2.876821 - 2.027326) = 1.698990,
//     Log Ratio = log2(0.01 / 0.005) = 1, %DIFF = (0.01 - 0.005) 100 / 0.005 = 100;
//   0/2 of 16/6: E2 = 6 * 2 / 22 = 0.545455, G2 = 2 * 2 ln(3.666667) = 5.197132,
//     Log Ratio = log2((0.5/16) / (2/6)) = log2(0.09375) = -3.415037, %DIFF = -100;
//   2/0 of 16/6: E1 = 16 * 2 / 22 = 1.454545, G2 = 2 * 2 ln(1.375) = 1.273815,
//     Log Ratio = log2((2/16) / (0.5/6)) = log2(1.5) = 0.584963, no %DIFF;
//   3/6 of 100/200: the same relative frequency, every score 0.
TEST(Keyness, ScoresMatchHandWorkedTablesWithZeroCells) {
  struct Case {
    std::uint64_t a, b, c, d;
    double g2, log_ratio;
    std::optional<double> percent;
    char direction;
  };
  const Case cases[] = {
      {10, 5, 1000, 1000, 1.698990, 1.0, 100.0, '+'},
      {0, 2, 16, 6, 5.197132, -3.415037, -100.0, '-'},
      {2, 0, 16, 6, 1.273815, 0.584963, std::nullopt, '+'},
      {3, 6, 100, 200, 0.0, 0.0, 0.0, '='},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.a) + "/" + std::to_string(c.b));
    const KeynessScores scores = ScoreKeyness(c.a, c.b, c.c, c.d);
    EXPECT_NEAR(scores.log_likelihood, c.g2, 1e-6);
    EXPECT_NEAR(scores.log_ratio, c.log_ratio, 1e-6);
    ASSERT_EQ(scores.percent_diff.has_value(), c.percent.has_value());
    if (c.percent) {
      EXPECT_NEAR(*scores.percent_diff, *c.percent, 1e-9);
    }
    EXPECT_EQ(scores.direction, c.direction);
  }
}

CorpusList ListOf(std::vector<std::pair<std::string, std::uint64_t>> words) {
  CorpusMerger merger(WordEncoding::kUtf8, false, nullptr);
  for (const auto& [word, count] : words) merger.AddWord(1, word, count);
  return std::move(merger).Take();
}

std::string Words(const KeynessTable& table) {
  std::string words;
  for (const KeywordRow& row : table.rows) words += std::string(row.word) + row.scores.direction;
  return words;
}

// Sides, the G2 order and the filters (both corpora of 61 words); "only" is in
// the reference alone. G2: only 36.04, big 30.99, mid 3.40, rare 1.39, same 0.
TEST(Keyness, TablesListTheirSideInLogLikelihoodOrder) {
  const CorpusList target = ListOf({{"big", 40}, {"mid", 10}, {"same", 10}, {"rare", 1}});
  const CorpusList reference = ListOf({{"big", 5}, {"mid", 20}, {"same", 10}, {"only", 26}});
  EXPECT_EQ(Words(CompareLists(target, reference, KeynessSide::kPositive, 0, 0, {})), "big+rare+");
  EXPECT_EQ(Words(CompareLists(target, reference, KeynessSide::kNegative, 0, 0, {})), "only-mid-");
  EXPECT_EQ(Words(CompareLists(target, reference, KeynessSide::kBoth, 0, 0, {})),
            "only-big+mid-rare+same=");
  EXPECT_EQ(Words(CompareLists(target, reference, KeynessSide::kBoth, 10.83, 0, {})), "only-big+");
  EXPECT_EQ(Words(CompareLists(target, reference, KeynessSide::kBoth, 0, 11, 1)), "only-");
}

// Parts of 10, 10 and 20 words (shares 0.25, 0.25, 0.5):
//   2, 0, 2: DP = (|0.5-0.25| + |0-0.25| + |0.5-0.5|) / 2 = 0.25; relative
//     frequencies 0.2, 0, 0.1, mean 0.1, sd sqrt(0.02/3) = 0.081650,
//     D = 1 - 0.816497 / sqrt(2) = 0.422650;
//   0, 0, 5 (one part only): DP = (0.25 + 0.25 + 0.5) / 2 = 0.5, D = 0;
//   1, 1, 2 (as the sizes): DP = 0, D = 1.
// An empty part is left out of D and weighs nothing in DP; one part has no D.
TEST(Dispersion, ScoresMatchHandWorkedParts) {
  struct Case {
    std::vector<std::uint64_t> counts, sizes;
    std::optional<double> d;
    double dp;
  };
  const Case cases[] = {
      {{2, 0, 2}, {10, 10, 20}, 0.422650, 0.25},
      {{0, 0, 5}, {10, 10, 20}, 0.0, 0.5},
      {{0, 7, 0, 0, 0, 0}, {3, 3, 3, 3, 3, 3}, 0.0, 5.0 / 6},
      {{0, 0, 0, 0, 0, 0, 9}, {7, 7, 7, 7, 7, 7, 7}, 0.0, 6.0 / 7},
      {{1, 1, 2}, {10, 10, 20}, 1.0, 0.0},
      {{1, 0, 1}, {10, 0, 10}, 1.0, 0.0},
      {{3}, {10}, std::nullopt, 0.0},
  };
  for (const Case& c : cases) {
    std::vector<std::pair<std::uint32_t, std::uint64_t>> sparse;
    for (std::uint32_t i = 0; i < c.counts.size(); ++i) {
      if (c.counts[i] != 0) sparse.emplace_back(i, c.counts[i]);
    }
    for (const DispersionScores& scores :
         {ScoreDispersion(c.counts, c.sizes), SparseDispersion(c.sizes).Score(sparse)}) {
      ASSERT_EQ(scores.juilland_d.has_value(), c.d.has_value());
      if (c.d) {
        EXPECT_NEAR(*scores.juilland_d, *c.d, 1e-6);
        // A rounding error below 0 would be written as -0.000000.
        EXPECT_FALSE(std::signbit(*scores.juilland_d));
      }
      EXPECT_NEAR(scores.gries_dp, c.dp, 1e-9);
    }
  }
}

// The counts of each part come back per word, 0 where it is missing.
TEST(Dispersion, PartCountsKeepEachPartsCount) {
  PartCounts parts;
  parts.AddPart(ListOf({{"a", 2}, {"b", 1}}));
  parts.AddPart(ListOf({{"c", 4}}));
  parts.AddPart(ListOf({{"a", 5}}));
  std::vector<std::uint64_t> counts;
  parts.CountsOf("a", counts);
  EXPECT_EQ(counts, (std::vector<std::uint64_t>{2, 0, 5}));
  parts.CountsOf("z", counts);
  EXPECT_EQ(counts, (std::vector<std::uint64_t>{0, 0, 0}));
  EXPECT_EQ(std::vector<std::uint64_t>(parts.sizes().begin(), parts.sizes().end()),
            (std::vector<std::uint64_t>{3, 4, 5}));
}

// Each layout read, and each malformed line named with its number.
TEST(ReferenceList, ReadsTheListLayoutsAndNamesTheBadLine) {
  struct Case {
    std::string bytes;
    std::string words;  // "word=count ..." in the list's order, or the error's end
  };
  const Case cases[] = {
      {"3\tthe\r\n1\tcat\r\n", "cat=1 the=3 "},
      {"3\tthe\t2\r\n\r\n1\t1984\t1\r\n", "1984=1 the=3 "},
      {"the\t3\ncat\t1\n", "cat=1 the=3 "},
      {"12\t7\nthe\t3\n", "the=3 7=12 "},  // both numbers: taken as count<TAB>word
      {"word,count,files\r\n\"a,b\",2,1\r\nthe,3,1\r\n", "a,b=2 the=3 "},
      {"word,count\r\n\"two\r\nlines\",2\r\n", "two\r\nlines=2 "},
      {"3\tthe\nthe\t3\n", "line 2: not \"count<TAB>word[<TAB>files]\" as the lines before"},
      {"the\t3\n4\tcat\n", "line 2: not \"word<TAB>count\" as the lines before"},
      {"3 the\n", "line 1: not \"count<TAB>word[<TAB>files]\" nor \"word<TAB>count\""},
      {"word,count\r\nthe,x\r\n", "line 2: not \"word,count[,files]\""},
      {"word,count\r\n\"open,1\r\n", "line 2: a quoted field is never closed"},
      {"{\"total\":1}",
       "line 1: a JSON list is not read as a reference; write it with "
       "--format tsv or csv"},
  };
  TempDir dir;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.bytes);
    const std::string path = dir.Write("ref.txt", c.bytes).string();
    CorpusList list;
    const auto error = ReadReferenceList(path, WordEncoding::kUtf8, false, nullptr, list);
    if (error) {
      EXPECT_EQ(*error, path + ": " + c.words);
      continue;
    }
    std::string words;
    for (const CorpusWord& word : list.words) {
      words += std::string(word.word) + "=" + std::to_string(word.count) + " ";
    }
    EXPECT_EQ(words, c.words);
  }
}

// Folded and stop words taken out as the target's are; a folder is refused.
TEST(ReferenceList, FoldsLeavesOutStopWordsAndRefusesAFolder) {
  TempDir dir;
  const std::string path = dir.Write("ref.tsv", "2\tThe\r\n3\tthe\r\n4\tof\r\n").string();
  StopWords stop;
  stop.Add("of");
  CorpusList list;
  ASSERT_FALSE(ReadReferenceList(path, WordEncoding::kUtf8, true, &stop, list));
  ASSERT_EQ(list.words.size(), 1u);
  EXPECT_EQ(list.words[0].count, 5u);
  EXPECT_EQ(list.total, 5u);
  const auto refused =
      ReadReferenceList(dir.path().string(), WordEncoding::kUtf8, false, nullptr, list);
  ASSERT_TRUE(refused);
  EXPECT_NE(refused->find("folder"), std::string::npos) << *refused;
}

}  // namespace
}  // namespace lintavel
