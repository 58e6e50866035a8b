#include "corpus/stemming.h"
#include "support/corpus_lists.h"
#include "support/optional_parts.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

namespace lintavel {
namespace {

using testing::CountsOf;
using testing::HaveStemmers;
using testing::ListOf;

// Words and stems from the sample vocabularies on the Snowball project's pages of
// each stemmer, copied by hand (Debian ships no vocabulary file).
TEST(Stemming, GivesSnowballsStemsInSeveralLanguages) {
  if (!HaveStemmers()) GTEST_SKIP() << "built without libstemmer";
  struct Case {
    const char* language;
    std::vector<std::pair<std::string, std::string>> stems;
  };
  const std::vector<Case> cases = {
      {"english",
       {{"consign", "consign"},
        {"consigned", "consign"},
        {"consignment", "consign"},
        {"consistency", "consist"},
        {"knackeries", "knackeri"},
        {"knaves", "knave"}}},
      {"french",
       {{"continuait", "continu"},
        {"continuation", "continu"},
        {"continuelle", "continuel"},
        {"contourner", "contourn"}}},
      {"spanish", {{"chica", "chic"}, {"chicas", "chic"}, {"chico", "chic"}}},
      {"german", {{"aufeinanderfolgenden", "aufeinanderfolg"}, {"kategorisch", "kategor"}}},
      {"italian", {{"abbandonata", "abbandon"}, {"abbandonate", "abbandon"}}},
  };
  for (const Case& c : cases) {
    Stemmer stemmer(c.language);
    for (const auto& [word, stem] : c.stems) {
      EXPECT_EQ(stemmer.Stem(word), stem) << c.language << ": " << word;
    }
  }
}

TEST(Stemming, UnknownLanguageListsTheAvailableOnes) {
  if (!HaveStemmers()) GTEST_SKIP() << "built without libstemmer";
  try {
    Stemmer stemmer("klingon");
    FAIL() << "a stemmer for klingon";
  } catch (const StemmerError& error) {
    EXPECT_THAT(error.what(), ::testing::StartsWith("no stemmer for 'klingon'; there are: "));
    EXPECT_THAT(error.what(), ::testing::HasSubstr("english, "));
    EXPECT_THAT(error.what(), ::testing::HasSubstr("french"));
  }
}

TEST(Stemming, ListsTheStemOrItsMostFrequentFormAndKeepsTheTotal) {
  if (!HaveStemmers()) GTEST_SKIP() << "built without libstemmer";
  const std::map<std::string, std::uint64_t> counts = {
      {"Connected", 1}, {"connect", 2}, {"connecting", 4}, {"connection", 4}, {"tree", 3}};
  CorpusList stems = ListOf(counts, WordEncoding::kUtf8);
  ApplyStemming(stems, "english", StemShow::kStem);
  EXPECT_EQ(CountsOf(stems), (std::map<std::string, std::uint64_t>{{"connect", 11}, {"tree", 3}}));
  EXPECT_EQ(stems.total, 14u);
  CorpusList forms = ListOf(counts, WordEncoding::kUtf8);
  ApplyStemming(forms, "english", StemShow::kForm);
  // "connecting" and "connection" tie at 4: the first in ordinal order is listed.
  EXPECT_EQ(CountsOf(forms),
            (std::map<std::string, std::uint64_t>{{"connecting", 11}, {"tree", 3}}));
}

TEST(Stemming, StemsWindows1252WordsAsTheirCharacters) {
  if (!HaveStemmers()) GTEST_SKIP() << "built without libstemmer";
  // "continué" and "continuées" in Windows-1252.
  CorpusList list = ListOf({{"continu\xE9", 1},
                            {"CONTINU\xC9"
                             "ES",
                             2}},
                           WordEncoding::kCp1252);
  ApplyStemming(list, "french", StemShow::kStem);
  EXPECT_EQ(CountsOf(list), (std::map<std::string, std::uint64_t>{{"continu", 3}}));
}

}  // namespace
}  // namespace lintavel
