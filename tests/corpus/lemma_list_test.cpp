#include "corpus/lemma_list.h"
#include "support/corpus_lists.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

namespace lintavel {
namespace {

using testing::CountsOf;
using testing::ListOf;

// A one-run list of `counts`, as ListOfRun gives it.
SideFileWords Rules(bool fold_case, bool unicode_words = false, bool split_elisions = false,
                    WordEncoding encoding = WordEncoding::kUtf8) {
  SideFileWords rules;
  rules.encoding = encoding;
  rules.fold_case = fold_case;
  rules.unicode_words = unicode_words;
  rules.split_elisions = split_elisions;
  return rules;
}

std::string LemmaOf(const LemmaList& list, std::string_view word) {
  return std::string(list.LemmaOf(word).value_or("-"));
}

TEST(LemmaListParsing, AcceptsEveryDocumentedLayout) {
  const LemmaList list = LemmaList::Parse(
      "\xEF\xBB\xBF# irregular verbs\n"
      "go -> went, gone, goes\r\n"
      "\n"
      "be->was,were   # no blanks around the arrow\n"
      "see\tsaw\tseen\n"
      "run ->\tran  runs\n"
      "go -> going, went\n",
      "verbs.txt", {});
  EXPECT_EQ(list.forms(), 10u);
  for (const auto& [form, lemma] :
       std::vector<std::pair<std::string, std::string>>{{"went", "go"},
                                                        {"gone", "go"},
                                                        {"goes", "go"},
                                                        {"going", "go"},
                                                        {"was", "be"},
                                                        {"were", "be"},
                                                        {"saw", "see"},
                                                        {"seen", "see"},
                                                        {"ran", "run"},
                                                        {"runs", "run"},
                                                        {"go", "-"},
                                                        {"irregular", "-"}}) {
    EXPECT_EQ(LemmaOf(list, form), lemma) << form;
  }
}

TEST(LemmaListParsing, EntriesFollowTheTextsWordRulesAndCase) {
  const std::string file =
      "Do -> Don't, DID\nl\xE2\x80\x99"
      "eau -> eaux\n";
  const LemmaList plain = LemmaList::Parse(file, "l.txt", {});
  EXPECT_EQ(LemmaOf(plain, "Dont"), "Do");  // the default rule drops the apostrophe
  EXPECT_EQ(LemmaOf(plain, "did"), "-");
  const LemmaList folded = LemmaList::Parse(file, "l.txt", Rules(true));
  EXPECT_EQ(LemmaOf(folded, "did"), "do");
  const LemmaList unicode = LemmaList::Parse(file, "l.txt", Rules(false, true));
  EXPECT_EQ(LemmaOf(unicode, "Don't"), "Do");
  EXPECT_EQ(LemmaOf(unicode, "eaux"),
            "l\xE2\x80\x99"
            "eau");
  EXPECT_THROW(LemmaList::Parse(file, "l.txt", Rules(false, true, true)), LemmaListError);
  const LemmaList cp1252 = LemmaList::Parse("\xC9T\xC9 -> \xC9T\xC9S\n", "c.txt",
                                            Rules(true, false, false, WordEncoding::kCp1252));
  EXPECT_EQ(LemmaOf(cp1252, "\xE9t\xE9s"), "\xE9t\xE9");
}

TEST(LemmaListParsing, RefusesMalformedLinesWithFileAndLine) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"go -> went\nnothing here\n", "l.txt:2: no \"->\" or tab between the lemma and its forms"},
      {"\n-> went\n", "l.txt:2: no lemma before its forms"},
      {"go ->   # forms forgotten\n", "l.txt:1: no forms after the lemma 'go'"},
      {"go -> went -> gone\n", "l.txt:1: more than one \"->\""},
      {"New York -> NYC\n", "l.txt:1: 'New York' is not one word"},
      {"go -> ?!\n", "l.txt:1: '?!' is no word"},
      {"go -> went\nbe -> was\nwend -> went\n",
       "l.txt:3: 'went' is a form of 'go' (line 1) and of 'wend' (line 3)"},
  };
  for (const auto& [file, message] : cases) {
    try {
      LemmaList::Parse(file, "l.txt", {});
      ADD_FAILURE() << "accepted: " << file;
    } catch (const LemmaListError& error) {
      EXPECT_EQ(error.what(), message);
    }
  }
  // After folding, "Went" and "went" are one form.
  EXPECT_THROW(LemmaList::Parse("go -> Went\nwend -> went\n", "l.txt", Rules(true)),
               LemmaListError);
}

TEST(LemmaListParsing, ReadsIllFormedUtf8AsReplacementCharactersAndCountsThem) {
  const LemmaList list = LemmaList::Parse("caf\xE9 -> caf\xC3\xA9s\xFF\n", "l.txt", {});
  EXPECT_EQ(list.ill_formed(), 2u);
  EXPECT_EQ(LemmaOf(list, "caf\xC3\xA9s\xEF\xBF\xBD"), "caf\xEF\xBF\xBD");
}

TEST(ApplyLemmas, CountsFormsUnderTheirLemmaAndKeepsTheTotal) {
  const LemmaList lemmas = LemmaList::Parse("go -> went, gone\nbe -> was\n", "l.txt", {});
  CorpusList list = ListOf({{"go", 2}, {"went", 3}, {"gone", 1}, {"was", 4}, {"tree", 4}});
  ApplyLemmas(list, lemmas);
  EXPECT_EQ(CountsOf(list),
            (std::map<std::string, std::uint64_t>{{"go", 6}, {"be", 4}, {"tree", 4}}));
  EXPECT_EQ(list.total, 14u);
  EXPECT_EQ(list.distinct, 3u);
  // Least frequent first, ties in ordinal order.
  ASSERT_EQ(list.words.size(), 3u);
  EXPECT_EQ(list.words[0].word, "be");
  EXPECT_EQ(list.words[1].word, "tree");
  EXPECT_EQ(list.words[2].word, "go");
}

}  // namespace
}  // namespace lintavel
