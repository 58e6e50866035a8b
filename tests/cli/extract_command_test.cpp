#include "cli/extract_command.h"

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

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

TEST(ExtractCommand, WritesWordsAsWindows1252LinesAndTheTotalOnErr) {
  TempDir dir;
  const auto a = dir.Write("a.txt", "The cat saw the cat.\n");
  const auto b = dir.Write("b.txt", "caf\xe9 cat");
  const Ran ran = RunWith({a.string(), b.string()});
  EXPECT_EQ(ran.status, kExitAllRead);
  EXPECT_EQ(ran.out, "The\r\ncaf\xe9\r\nsaw\r\nthe\r\ncat\r\n");
  EXPECT_EQ(ran.err, "Results (Total Word Count: 7)\n");
}

TEST(ExtractCommand, OutputFileHoldsExactlyTheWords) {
  TempDir dir;
  const auto in = dir.Write("in.txt", "b a b");
  const auto out = dir.path() / "words.txt";
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"-o", out.string(), in.string()},
        std::vector<std::string>{in.string(), "--output=" + out.string()}}) {
    const Ran ran = RunWith(args);
    EXPECT_EQ(ran.status, kExitAllRead);
    EXPECT_EQ(ran.out, "");
    EXPECT_EQ(ReadBytes(out), "a\r\nb\r\n");
  }
}

TEST(ExtractCommand, AnInputWithNoWordsWritesAnEmptyFile) {
  TempDir dir;
  const auto in = dir.Write("in.txt", " ... \n");
  const auto out = dir.Write("words.txt", "old contents");
  const Ran ran = RunWith({"-o", out.string(), in.string()});
  EXPECT_EQ(ran.status, kExitAllRead);
  EXPECT_EQ(ReadBytes(out), "");
  EXPECT_EQ(ran.err, "Results (Total Word Count: 0)\n");
}

TEST(ExtractCommand, ReportsAFileThatCannotBeReadAndGoesOn) {
  TempDir dir;
  const auto good = dir.Write("good.txt", "word");
  const auto missing = dir.path() / "missing.txt";
  const Ran ran = RunWith({missing.string(), good.string()});
  EXPECT_EQ(ran.status, kExitSomeFailed);
  EXPECT_EQ(ran.out, "word\r\n");
  EXPECT_EQ(ran.err, "Cannot open '" + missing.string() +
                         "': No such file or directory\n"
                         "in Morvesk2021/08/31.Main.ReadFileToStringFSOLineWord at line 102\n\n"
                         "Please email screenshot of this message to support@lintavel.example\n"
                         "Results (Total Word Count: 1)\n");
}

TEST(ExtractCommand, AnOutputThatCannotBeWrittenLeavesTheOldFileAlone) {
  TempDir dir;
  const auto in = dir.Write("in.txt", "word");
  const Ran to_missing_folder =
      RunWith({"-o", (dir.path() / "no/such/dir.txt").string(), in.string()});
  EXPECT_EQ(to_missing_folder.status, kExitSomeFailed);
  EXPECT_NE(to_missing_folder.err.find("cannot write"), std::string::npos);

  std::filesystem::create_directory(dir.path() / "folder");
  const Ran over_folder = RunWith({"-o", (dir.path() / "folder").string(), in.string()});
  EXPECT_EQ(over_folder.status, kExitSomeFailed);
  EXPECT_TRUE(std::filesystem::is_directory(dir.path() / "folder"));
  // No temporary file is left behind.
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 2);
}

TEST(ExtractCommand, BadArgumentsGiveUsageAndStatus2) {
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{}, std::vector<std::string>{"-o"},
        std::vector<std::string>{"--bogus", "a.txt"}, std::vector<std::string>{"-o", "", "a"},
        std::vector<std::string>{"-o", "out.txt"}}) {
    const Ran ran = RunWith(args);
    EXPECT_EQ(ran.status, kExitUsage);
    EXPECT_EQ(ran.out, "");
    EXPECT_NE(ran.err.find("usage: lintavel-extract"), std::string::npos);
  }
}

TEST(ExtractCommand, HelpExplainsTheWordRules) {
  const Ran ran = RunWith({"--help"});
  EXPECT_EQ(ran.status, kExitAllRead);
  EXPECT_NE(ran.out.find("punctuation"), std::string::npos);
  EXPECT_NE(ran.out.find("CR LF"), std::string::npos);
}

TEST(ExtractCommand, DoubleDashMakesTheRestFiles) {
  TempDir dir;
  const auto odd = dir.Write("-o", "dash");
  const std::filesystem::path previous = std::filesystem::current_path();
  std::filesystem::current_path(dir.path());
  const Ran ran = RunWith({"--", "-o"});
  std::filesystem::current_path(previous);
  EXPECT_EQ(ran.status, kExitAllRead);
  EXPECT_EQ(ran.out, "dash\r\n");
}

TEST(ExtractBinary, RunsAsAProgramWithAPipe) {
  TempDir dir;
  const auto in = dir.Write("in.txt", "b a b\n");
  const std::string command =
      std::string(LINTAVEL_EXTRACT_BINARY) + " '" + in.string() + "' 2>/dev/null";
  FILE* pipe = ::popen(command.c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  std::string out;
  char buffer[256];
  while (const std::size_t got = std::fread(buffer, 1, sizeof buffer, pipe))
    out.append(buffer, got);
  const int status = ::pclose(pipe);
  EXPECT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_EQ(out, "a\r\nb\r\n");
}

}  // namespace
}  // namespace lintavel
