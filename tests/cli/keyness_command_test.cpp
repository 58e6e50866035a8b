// Keyness and dispersion at the command line: what is refused, and what is kept.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "cli/extract_command.h"
#include "support/temp_dir.h"

namespace lintavel {
namespace {

using testing::ReadBytes;
using testing::TempDir;

// Bad values and bad lists: exit 2 with one line, the old output as it was.
TEST(KeynessCommand, BadArgumentsAndListsLeaveTheOutputAsItWas) {
  TempDir dir;
  const std::string in = dir.Write("in.txt", "a b a").string();
  const std::string bad = dir.Write("bad.tsv", "3\tthe\r\n4 of\r\n").string();
  const std::string out = dir.Write("out.csv", "old").string();
  struct Case {
    std::vector<std::string> args;
    std::string message;
  };
  const Case cases[] = {
      {{"--reference", in, "--min-ll", "x"}, "option --min-ll needs a number from 0"},
      {{"--reference", in, "--min-ll", "-1"}, "option --min-ll needs a number from 0"},
      {{"--reference", in, "--min-ll", "inf"}, "option --min-ll needs a number from 0"},
      {{"--reference", in, "--keyness", "up"}, "unknown keyness 'up'"},
      {{"--keyness", "both"}, "--keyness and --min-ll need --reference"},
      {{"--format", "csv", "--dispersion", "part=4"}, "unknown dispersion 'part=4'"},
      {{"--format", "csv", "--dispersion", "parts=0"}, "parts from 2 to 1000000, not '0'"},
      {{"--format", "csv", "--dispersion", "parts=1"}, "parts from 2 to 1000000, not '1'"},
      {{"--format", "csv", "--dispersion", "parts=x"}, "parts from 2 to 1000000, not 'x'"},
      {{"--format", "csv", "--dispersion", "parts=1000001"}, "not '1000001'"},
      {{"--format", "csv", "--dispersion", "parts=2", "--html"}, "does not go with --html"},
      {{"--per-million"}, "--per-million and --dispersion need --format tsv"},
      {{"--reference", in, "--sort", "word"}, "a keyness table goes with no"},
      {{"--reference", in, "--reference-list", bad}, "go with no other"},
      {{"--reference-list", bad}, bad + ": line 2: not \"count<TAB>word"},
      {{"--reference-list", dir.path().string()}, "it is a folder"},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args = c.args;
    args.insert(args.end(), {"-o", out, in});
    std::ostringstream written;
    std::ostringstream err;
    EXPECT_EQ(lintavel::Run(args, written, err), kExitUsage) << c.message;
    EXPECT_NE(err.str().find(c.message), std::string::npos) << err.str();
    EXPECT_EQ(ReadBytes(out), "old") << c.message;
  }
}

// A reference file that cannot be read is reported as an input is; with none read,
// nothing is written.
TEST(KeynessCommand, UnreadableReferencesAreReported) {
  TempDir dir;
  const std::string in = dir.Write("in.txt", "a b a").string();
  const std::string ref = dir.Write("ref.txt", "a c").string();
  const std::string missing = (dir.path() / "missing.txt").string();
  const std::string out = dir.Write("out.tsv", "old").string();
  std::ostringstream written;
  std::ostringstream err;
  EXPECT_EQ(lintavel::Run(
                std::vector<std::string>{"--reference", missing, "--format", "tsv", "-o", out, in},
                written, err),
            kExitSomeFailed);
  EXPECT_NE(err.str().find("missing.txt"), std::string::npos) << err.str();
  EXPECT_NE(err.str().find("no reference file could be read"), std::string::npos) << err.str();
  EXPECT_EQ(ReadBytes(out), "old");
  std::ostringstream err2;
  EXPECT_EQ(
      lintavel::Run(std::vector<std::string>{"--reference", missing, "--reference", ref, "--format",
                                             "tsv", "--keyness", "both", "-o", out, in},
                    written, err2),
      kExitSomeFailed);
  EXPECT_EQ(ReadBytes(out).substr(0, 5), "word\t");
  EXPECT_NE(ReadBytes(out).find("\r\nc\t0\t1\t3\t2\t"), std::string::npos) << ReadBytes(out);
}

// Folded words are one word in each part: "the" is 2 of 3 words, then 1 of 2.
// DP = (|2/3 - 3/5| + |1/3 - 2/5|) / 2 = 0.066667; relative frequencies 2/3 and
// 1/2, mean 7/12, sd 1/12, D = 1 - (1/7) / 1 = 0.857143.
TEST(KeynessCommand, DispersionFoldsCaseWithinEachFile) {
  TempDir dir;
  const std::string a = dir.Write("a.txt", "The the x").string();
  const std::string b = dir.Write("b.txt", "THE y").string();
  std::ostringstream written;
  std::ostringstream err;
  ASSERT_EQ(lintavel::Run(std::vector<std::string>{"--fold-case", "--format", "tsv", "--sort",
                                                   "word", "--dispersion", "files", a, b},
                          written, err),
            kExitAllRead);
  EXPECT_EQ(written.str(),
            "3\tthe\t2\t0.857143\t0.066667\r\n1\tx\t1\t0.000000\t0.400000\r\n"
            "1\ty\t1\t0.000000\t0.600000\r\n");
}

// Equal parts by word position, across file ends, worked by hand (D and DP as in
// the test above; s(i) the parts' shares of the words).
TEST(KeynessCommand, DispersionOverEqualParts) {
  TempDir dir;
  struct Case {
    std::vector<std::string> texts;
    std::vector<std::string> args;
    std::string expected;
  };
  const Case cases[] = {
      // [a b a][c a b]: a (2,1): DP (1/6 + 1/6) / 2, x (2/3, 1/3), D 1 - (1/3) / 1.
      {{"a b a", "c, a\nb"},
       {"--dispersion", "parts=2"},
       "3\ta\t0.666667\t0.166667\r\n2\tb\t1.000000\t0.000000\r\n"
       "1\tc\t0.000000\t0.500000\r\n"},
      // [a b][a c][a b]: b (1,0,1): DP (1/6 + 1/3 + 1/6) / 2, x (1/2, 0, 1/2), mean 1/3,
      // sd sqrt(1/18), D 1 - sqrt(2) / sqrt(2).
      {{"a b a", "c, a\nb"},
       {"--dispersion", "parts=3"},
       "3\ta\t1.000000\t0.000000\r\n2\tb\t0.500000\t0.333333\r\n"
       "1\tc\t0.000000\t0.666667\r\n"},
      // 7 words in 3 parts: the first takes the remainder, [a b a][c a][b d]; a (2,1,0):
      // DP (5/21 + 1/21 + 6/21) / 2; x (2/3, 1/2, 0), mean 7/18, sd sqrt(78/972).
      {{"a b a c", "a b d"},
       {"--dispersion", "parts=3"},
       "3\ta\t0.484921\t0.285714\r\n2\tb\t0.470850\t0.285714\r\n"
       "1\tc\t0.000000\t0.714286\r\n1\td\t0.000000\t0.714286\r\n"},
      // Stop words take no place and folded words are one: [the the y][the y].
      {{"The x the Y", "THE y"},
       {"--dispersion", "parts=2", "--fold-case", "--stop-list", "STOP"},
       "3\tthe\t0.857143\t0.066667\r\n2\ty\t0.800000\t0.100000\r\n"},
      // More parts than words: the parts past the words are empty and left out of D.
      {{"a b"},
       {"--dispersion", "parts=4"},
       "1\ta\t0.000000\t0.500000\r\n1\tb\t0.000000\t0.500000\r\n"},
  };
  const std::string stop = dir.Write("stop.txt", "x\r\n").string();
  for (const Case& c : cases) {
    std::vector<std::string> args = {"--format", "tsv", "--sort", "word"};
    for (const std::string& arg : c.args) args.push_back(arg == "STOP" ? stop : arg);
    for (std::size_t i = 0; i < c.texts.size(); ++i) {
      args.push_back(dir.Write("in" + std::to_string(i) + ".txt", c.texts[i]).string());
    }
    for (const char* threads : {"1", "2"}) {
      std::vector<std::string> run = args;
      run.insert(run.begin(), {"--threads", threads});
      std::ostringstream written;
      std::ostringstream err;
      ASSERT_EQ(lintavel::Run(run, written, err), kExitAllRead) << err.str();
      EXPECT_EQ(written.str(), c.expected) << c.args[1] << " threads " << threads;
    }
  }
}

}  // namespace
}  // namespace lintavel
