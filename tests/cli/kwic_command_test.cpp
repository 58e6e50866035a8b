// lintavel-extract --kwic: its formats, statuses and option checks.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "cli/extract_command.h"
#include "support/cli_run.h"
#include "support/temp_dir.h"

namespace lintavel {
namespace {

using testing::Ran;
using testing::RunWith;

using testing::TempDir;

TEST(KwicCommand, WritesEachFormatWithTheWordListsQuoting) {
  TempDir dir;
  // A quote and a comma in the context, a tab and a line end shown as blanks.
  const std::string file = dir.Write("a,b.txt", "say \"x,\ty\"\r\nLord. z\n").string();
  const struct {
    const char* format;
    std::string expected;
  } kCases[] = {
      {"csv", "file,line,left,word,right\r\n\"" + file + "\",2,\"\"\"x, y\"\"  \",Lord., z \r\n"},
      {"tsv", file + "\t2\t\"x, y\"  \tLord.\t z \r\n"},
      {"json", "{\"word\":\"lord\",\"total\":1,\"lines\":[\n{\"file\":\"" + file +
                   "\",\"line\":2,\"left\":\"\\\"x, y\\\"  \",\"word\":\"Lord.\",\"right\":\" z \"}"
                   "\n]}\n"},
      {"text", file + "  2  \"x, y\"    Lord.   z \r\n"},
  };
  for (const auto& [format, expected] : kCases) {
    const Ran ran =
        RunWith({"--kwic", "lord", "--fold-case", "--kwic-width", "8", "--format", format, file});
    EXPECT_EQ(ran.status, kExitAllRead) << ran.err;
    EXPECT_EQ(ran.out, expected) << format;
  }
}

TEST(KwicCommand, StatusesOfAbsentWordsMissingFilesAndBadOptions) {
  TempDir dir;
  const std::string file = dir.Write("a.txt", "one two\n").string();
  Ran ran = RunWith({"--kwic", "three", "--format", "csv", file});
  EXPECT_EQ(ran.status, kExitAllRead);
  EXPECT_EQ(ran.out, "file,line,left,word,right\r\n");
  ran = RunWith({"--kwic", "two", "--format", "tsv", (dir.path() / "gone.txt").string(), file});
  EXPECT_EQ(ran.status, kExitSomeFailed);
  EXPECT_NE(ran.err.find("gone.txt"), std::string::npos);
  EXPECT_EQ(ran.out, file + "\t1\tone \ttwo\t \r\n");
  for (const std::vector<std::string>& wrong : std::vector<std::vector<std::string>>{
           {"--kwic", "two", "--kwic-width", "1001", file},
           {"--kwic", "two", "--kwic-width", "-1", file},
           {"--kwic", "two", "--kwic-sort", "up", file},
           {"--kwic-sort", "left", file},
           {"--kwic", "two", "--top", "3", file},
       }) {
    ran = RunWith(wrong);
    EXPECT_EQ(ran.status, kExitUsage) << wrong[2];
    EXPECT_EQ(ran.out, "");
  }
}

TEST(KwicCommand, FindsTheWordAsTheChosenWordRuleCutsIt) {
  TempDir dir;
  const std::string file = dir.Write("a.txt", "l’histoire, l’histoire-là\n").string();
  const std::string both = file + "\t1\t\tl’histoire\t, l’histoire-là \r\n" + file +
                           "\t1\tl’histoire, \tl’histoire\t-là \r\n";
  const struct {
    std::vector<std::string> options;
    std::string expected;
  } kCases[] = {
      // The default rule keeps "l’histoire-là" one word.
      {{"--kwic", "l’histoire"}, file + "\t1\t\tl’histoire,\t l’histoire-là \r\n"},
      {{"--words", "unicode", "--kwic", "l’histoire"}, both},
      {{"--words", "unicode", "--split-elisions", "--kwic", "l’histoire"}, ""},
      {{"--words", "unicode", "--split-elisions", "--kwic", "Histoire", "--fold-case",
        "--kwic-width", "3"},
       file + "\t1\tl’\thistoire\t, l\r\n" + file + "\t1\t l’\thistoire\t-là\r\n"},
  };
  for (const auto& [options, expected] : kCases) {
    std::vector<std::string> args = {"--encoding", "utf-8", "--format", "tsv"};
    args.insert(args.end(), options.begin(), options.end());
    args.push_back(file);
    const Ran ran = RunWith(args);
    EXPECT_EQ(ran.status, kExitAllRead) << ran.err;
    EXPECT_EQ(ran.out, expected) << options.back();
  }
}

}  // namespace
}  // namespace lintavel
