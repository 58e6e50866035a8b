#include "corpus/list_filters.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "support/optional_parts.h"

namespace lintavel {
namespace {

std::vector<std::string> Kept(const ListFilterSettings& settings,
                              const std::vector<std::string>& words,
                              WordEncoding encoding = WordEncoding::kUtf8) {
  CorpusList list;
  list.encoding = encoding;
  for (const std::string& word : words) {
    list.words.push_back({list.storage.Store(word), 1, 1});
    ++list.total;
  }
  list.distinct = list.once = list.words.size();
  FilterList(list, ListFilter(settings));
  EXPECT_EQ(list.total, words.size()) << "the total stays the corpus size";
  EXPECT_EQ(list.distinct, words.size());
  std::vector<std::string> kept;
  for (const CorpusWord& word : list.words) kept.emplace_back(word.word);
  return kept;
}

using Words = std::vector<std::string>;

ListFilterSettings Patterns(std::vector<std::string> match, std::vector<std::string> exclude = {}) {
  ListFilterSettings settings;
  settings.match = std::move(match);
  settings.exclude = std::move(exclude);
  return settings;
}

ListFilterSettings Lengths(std::optional<std::uint64_t> min, std::optional<std::uint64_t> max) {
  ListFilterSettings settings;
  settings.min_length = min;
  settings.max_length = max;
  return settings;
}

using testing::HaveRegularExpressions;

TEST(ListFilters, MatchAndExcludeLookAnywhereUnlessAnchored) {
  if (!HaveRegularExpressions()) GTEST_SKIP() << "built without RE2";
  const Words words = {"running", "run", "ruin", "brunch", "Run"};
  EXPECT_EQ(Kept(Patterns({"run"}), words), (Words{"running", "run", "brunch"}));
  EXPECT_EQ(Kept(Patterns({"^run"}), words), (Words{"running", "run"}));
  EXPECT_EQ(Kept(Patterns({"^r", "n$"}), words), (Words{"run", "ruin"}));  // every pattern
  EXPECT_EQ(Kept(Patterns({}, {"ing$", "^R"}), words), (Words{"run", "ruin", "brunch"}));
  EXPECT_EQ(Kept(Patterns({"(?i)^run$"}), words), (Words{"run", "Run"}));
}

TEST(ListFilters, PatternsSeeCharactersInEitherEncoding) {
  if (!HaveRegularExpressions()) GTEST_SKIP() << "built without RE2";
  EXPECT_EQ(Kept(Patterns({"^caf.$"}), {"caf\xC3\xA9", "cafe\xCC\x81"}), (Words{"caf\xC3\xA9"}));
  EXPECT_EQ(Kept(Patterns({"\\p{Greek}"}), {"\xCE\xBB\xCF\x8C\xCE\xB3\xCE\xBF\xCF\x82", "logos"}),
            (Words{"\xCE\xBB\xCF\x8C\xCE\xB3\xCE\xBF\xCF\x82"}));
  // Windows-1252 "café" and "€uro": the pattern is UTF-8, as typed.
  EXPECT_EQ(Kept(Patterns({"^caf\xC3\xA9$|^\xE2\x82\xAC"}), {"caf\xE9", "\x80uro", "cafe"},
                 WordEncoding::kCp1252),
            (Words{"caf\xE9", "\x80uro"}));
}

TEST(ListFilters, LengthsCountCharactersNotBytes) {
  const Words words = {"a", "ab", "\xC3\xA9t\xC3\xA9", "\xE4\xB8\xAD", "abcd"};
  EXPECT_EQ(Kept(Lengths(2, {}), words), (Words{"ab", "\xC3\xA9t\xC3\xA9", "abcd"}));
  EXPECT_EQ(Kept(Lengths({}, 1), words), (Words{"a", "\xE4\xB8\xAD"}));
  EXPECT_EQ(Kept(Lengths(2, 3), words), (Words{"ab", "\xC3\xA9t\xC3\xA9"}));
  EXPECT_EQ(Kept(Lengths(3, {}), {"\xE9t\xE9", "ab"}, WordEncoding::kCp1252), (Words{"\xE9t\xE9"}));
}

TEST(ListFilters, InvalidPatternNamesItAndRe2sReason) {
  if (!HaveRegularExpressions()) GTEST_SKIP() << "built without RE2";
  const std::vector<std::pair<ListFilterSettings, std::string>> cases = {
      {Patterns({"(ab"}), "invalid regular expression '(ab': missing ): (ab"},
      {Patterns({}, {"a**"}), "invalid regular expression 'a**': bad repetition operator: **"},
      {Patterns({"ok", "x{2,1}"}),
       "invalid regular expression 'x{2,1}': invalid repetition size: {2,1}"},
  };
  for (const auto& [settings, message] : cases) {
    try {
      ListFilter filter(settings);
      ADD_FAILURE() << "accepted " << message;
    } catch (const ListFilterError& error) {
      EXPECT_EQ(error.what(), message);
    }
  }
}

}  // namespace
}  // namespace lintavel
