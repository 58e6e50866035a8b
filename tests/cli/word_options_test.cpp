// The word rules, lemma lists, stemming and list filters of lintavel-extract.
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

#include "cli/extract_command.h"
#include "support/optional_parts.h"
#include "support/temp_dir.h"

namespace lintavel {
namespace {

using testing::ReadBytes;
using testing::TempDir;

struct Ran {
  int status;
  std::string out;
  std::string err;
};

Ran RunWith(std::vector<std::string> args) {
  std::ostringstream out;
  std::ostringstream err;
  const int status = Run(args, out, err);
  return {status, out.str(), err.str()};
}

// Whether this build can run `args`: the stemmers and the patterns are parts a build
// may be made without (the 64-bit ARM one is).
bool Runnable(const std::vector<std::string>& args) {
  const auto has = [&](const char* option) {
    return std::find(args.begin(), args.end(), option) != args.end();
  };
  return (testing::HaveStemmers() || !has("--stem")) &&
         (testing::HaveRegularExpressions() || (!has("--match") && !has("--exclude")));
}

struct Case {
  std::vector<std::string> args;
  std::string out;    // the --counts lines
  std::string total;  // the total line
};

void Check(const Case& c, const std::string& input) {
  if (!Runnable(c.args)) return;
  std::vector<std::string> args = {"--counts", "--sort", "word", "--encoding", "utf-8"};
  args.insert(args.end(), c.args.begin(), c.args.end());
  args.push_back(input);
  const Ran ran = RunWith(args);
  EXPECT_EQ(ran.status, kExitAllRead) << ran.err;
  EXPECT_EQ(ran.out, c.out) << c.args.front();
  EXPECT_NE(ran.err.find("Results (Total Word Count: " + c.total + ")"), std::string::npos)
      << ran.err;
}

TEST(WordOptions, UnicodeWordsEndAtQuotesDashesAndIdeographs) {
  TempDir dir;
  const auto in = dir.Write("in.txt",
                            "\xE2\x80\x9CHello\xE2\x80\x9D \xC2\xAB"
                            "bonjour\xC2\xBB \xC2\xBFqu\xC3\xA9? word\xE2\x80\x94word "
                            "\xE4\xB8\xAD\xE6\x96\x87 don't rock 'n' roll\n");
  const Case cases[] = {
      {{"--words", "unicode"},
       "1\tHello\r\n1\tbonjour\r\n1\tdon't\r\n1\tn\r\n1\tqu\xC3\xA9\r\n1\trock\r\n1\troll\r\n"
       "2\tword\r\n1\t\xE4\xB8\xAD\r\n1\t\xE6\x96\x87\r\n",
       "11"},
      // The default rule stays the window's: quotes and dashes stay in the words.
      {{"--words", "default"},
       "1\tdont\r\n1\tn\r\n1\trock\r\n1\troll\r\n1\tword\xE2\x80\x94word\r\n"
       "1\t\xC2\xAB"
       "bonjour\xC2\xBB\r\n1\t\xC2\xBFqu\xC3\xA9\r\n1\t\xE2\x80\x9CHello\xE2\x80\x9D\r\n"
       "1\t\xE4\xB8\xAD\xE6\x96\x87\r\n",
       "9"},
  };
  for (const Case& c : cases) Check(c, in.string());
}

TEST(WordOptions, ElisionsSplitOnlyWhenAsked) {
  TempDir dir;
  const auto in = dir.Write("in.txt", "l\xE2\x80\x99histoire dell'arte aujourd'hui\n");
  const Case cases[] = {
      {{"--words", "unicode"},
       "1\taujourd'hui\r\n1\tdell'arte\r\n1\tl\xE2\x80\x99histoire\r\n",
       "3"},
      {{"--words", "unicode", "--split-elisions"},
       "1\tarte\r\n1\taujourd'hui\r\n1\tdell'\r\n1\thistoire\r\n1\tl\xE2\x80\x99\r\n",
       "5"},
  };
  for (const Case& c : cases) Check(c, in.string());
}

TEST(WordOptions, LemmasStemsAndFiltersKeepTheTotal) {
  TempDir dir;
  const auto in = dir.Write("in.txt", "The cats ran and the cat runs running running Connected\n");
  const auto lemmas = dir.Write("lemmas.txt", "# verbs\r\nrun->ran,runs\trunning\r\ncat -> cats\n");
  // Stemming folds the case, as the stemmers expect.
  const Case cases[] = {
      {{"--fold-case", "--lemma-list", lemmas.string()},
       "1\tand\r\n2\tcat\r\n1\tconnected\r\n4\trun\r\n2\tthe\r\n",
       "10"},
      {{"--stem", "english"},
       "1\tand\r\n2\tcat\r\n1\tconnect\r\n1\tran\r\n3\trun\r\n2\tthe\r\n",
       "10"},
      {{"--fold-case", "--stem", "english", "--stem-show", "form"},
       "1\tand\r\n2\tcat\r\n1\tconnected\r\n1\tran\r\n3\trunning\r\n2\tthe\r\n",
       "10"},
      {{"--match", "^r", "--exclude", "s$", "--min-length", "4"}, "2\trunning\r\n", "10"},
      {{"--max-length", "3", "--exclude", "^[a-z]"}, "1\tThe\r\n", "10"},
  };
  for (const Case& c : cases) Check(c, in.string());
}

TEST(WordOptions, KeynessAndDispersionSeeTheGroupedAndFilteredWords) {
  TempDir dir;
  const auto in = dir.Write("in.txt", "cats cat dog dog\n");
  const auto other = dir.Write("other.txt", "cat cats dog\n");
  const auto lemmas = dir.Write("lemmas.txt", "cat -> cats\n");
  const auto reference = dir.Write("ref.csv", "word,count\ncats,3\ncat,1\ndog,4\n");
  // The reference list's forms go under their lemma as the inputs' do.
  Ran ran = RunWith({"-q", "--reference-list", reference.string(), "--lemma-list", lemmas.string(),
                     "--keyness", "both", "--format", "tsv", in.string()});
  EXPECT_EQ(ran.status, kExitAllRead) << ran.err;
  EXPECT_NE(ran.out.find("\ncat\t2\t4\t4\t8\t"), std::string::npos) << ran.out;
  EXPECT_EQ(ran.out.find("cats"), std::string::npos) << ran.out;
  // A filter chooses the rows of a dispersion table as it does those of a list.
  ran = RunWith({"-q", "--dispersion", "files", "--min-length", "4", "--format", "tsv", in.string(),
                 other.string()});
  EXPECT_EQ(ran.status, kExitAllRead) << ran.err;
  EXPECT_EQ(ran.out.rfind("2\tcats\t2\t", 0), 0u) << ran.out;
  EXPECT_EQ(ran.out.find('\n'), ran.out.size() - 1) << ran.out;
}

TEST(WordOptions, UnusableValuesSayWhatIsWrongAndGiveStatus2) {
  TempDir dir;
  const auto in = dir.Write("in.txt", "a b\n");
  const auto twice = dir.Write("twice.txt", "be -> is\nbeing -> is\n");
  const auto bare = dir.Write("bare.txt", "be\n");
  const auto out = dir.Write("out.txt", "untouched");
  const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
      {{"--match", "(ab"}, "invalid regular expression '(ab': missing )"},
      {{"--exclude", "a{2,1}"}, "invalid regular expression 'a{2,1}'"},
      {{"--stem", "klingon"}, "no stemmer for 'klingon'; there are: "},
      {{"--stem-show", "root"}, "unknown --stem-show 'root'"},
      {{"--words", "icu"}, "unknown word rule 'icu'"},
      {{"--split-elisions"}, "--split-elisions goes with --words unicode"},
      {{"--lemma-list", twice.string()}, "twice.txt:2: 'is' is a form of 'be' (line 1)"},
      {{"--lemma-list", bare.string()}, "bare.txt:1:"},
      {{"--lemma-list", dir.path().string()}, "it is a folder"},
      {{"--lemma-list", "/dev/null"}, "it is a device or a socket"},
      {{"--lemma-list", (dir.path() / "none").string()}, "cannot read the lemma list"},
      {{"--min-length", "-1"}, "--min-length: -1 is out of range"},
      {{"--max-length", "0"}, "--max-length: 0 is out of range"},
      {{"--min-length", "5", "--max-length", "2"}, "--min-length is more than --max-length"},
      {{"--per-file", "--format", "tsv", "--stem", "english"}, "--per-file does not go with"},
      {{"--dispersion", "files", "--format", "tsv", "--stem", "english"},
       "--dispersion does not go with"},
      {{"--kwic", "a", "--stem", "english"}, "--kwic goes with none of --lemma-list, --stem"},
  };
  for (const auto& [options, message] : cases) {
    if (!Runnable(options)) continue;
    std::vector<std::string> args = {"-o", out.string()};
    args.insert(args.end(), options.begin(), options.end());
    args.push_back(in.string());
    const Ran ran = RunWith(args);
    EXPECT_EQ(ran.status, kExitUsage) << message;
    EXPECT_NE(ran.err.find(message), std::string::npos) << ran.err;
    EXPECT_EQ(ReadBytes(out), "untouched") << message;
  }
  // Ill-formed UTF-8 in a lemma list is said as for an input file.
  const auto ill = dir.Write("ill.txt", "be -> i\xFFs\n");
  const Ran ran = RunWith({"--encoding", "utf-8", "--lemma-list", ill.string(), in.string()});
  EXPECT_EQ(ran.status, kExitAllRead);
  EXPECT_NE(ran.err.find("ill.txt: 1 ill-formed UTF-8 sequence(s) read as U+FFFD"),
            std::string::npos)
      << ran.err;
}

}  // namespace
}  // namespace lintavel
