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

}  // namespace
}  // namespace lintavel
