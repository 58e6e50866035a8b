#include "engine/text_file_reader.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "engine/line_splitter.h"
#include "support/temp_dir.h"

namespace lintavel {
namespace {

using Lines = std::vector<std::u16string>;

struct ReaderCase {
  const char* name;
  std::string bytes;
  Lines lines;
};

class ReaderLines : public ::testing::TestWithParam<ReaderCase> {};

TEST_P(ReaderLines, GivesTheLinesWithoutTerminatorsAndTabs) {
  testing::TempDir dir;
  const auto file = dir.Write("input.txt", GetParam().bytes);
  std::vector<ApplicationError> reports;
  const Lines lines =
      ReadFileToStringFSOLineWord(file, [&](const ApplicationError& e) { reports.push_back(e); });
  EXPECT_EQ(lines, GetParam().lines);
  EXPECT_TRUE(reports.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Files, ReaderLines,
    ::testing::Values(
        ReaderCase{"Empty", "", {}},
        ReaderCase{"TabEmptyLineAndNoFinalEnd", "a\tb c\n\nlast", {u"ab c", u"", u"last"}},
        ReaderCase{"FinalLineEndAddsNoLine", "one\ntwo\n", {u"one", u"two"}},
        ReaderCase{"CrLf", "one\r\ntwo\r\n", {u"one", u"two"}},
        ReaderCase{"LoneCr", "one\rtwo\r\rthree", {u"one", u"two", u"", u"three"}},
        ReaderCase{"LfCrIsTwoEnds", "one\n\rtwo", {u"one", u"", u"two"}},
        ReaderCase{"OnlyALineEnd", "\n", {u""}},
        ReaderCase{"HighBytesAreWindows1252", "caf\xe9 \x80\x93", {u"caf\u00e9 \u20ac\u201c"}},
        ReaderCase{"Utf8ArrivesAsTwoCharacters", "\xc3\xa9", {u"\u00c3\u00a9"}},
        ReaderCase{
            "NulAndControlsStay", std::string("a\0b\x0c", 4), {std::u16string(u"a\0b\f", 4)}},
        ReaderCase{"OnlyTabs", "\t\t\n\t", {u"", u""}}),
    [](const auto& test_case) { return std::string(test_case.param.name); });

TEST(LineSplitter, FindsTheSameLinesWhereverTheChunksAreCut) {
  const std::string text = "ab\r\ncd\ref\n\ngh\r\r\nij";
  const std::vector<std::string> expected = {"ab", "cd", "ef", "", "gh", "", "ij"};
  for (std::size_t chunk = 1; chunk <= text.size(); ++chunk) {
    LineSplitter splitter;
    std::vector<std::string> lines;
    const auto keep = [&](std::string_view line) { lines.emplace_back(line); };
    for (std::size_t at = 0; at < text.size(); at += chunk) {
      splitter.Feed(std::string_view(text).substr(at, chunk), keep);
    }
    splitter.Finish(keep);
    EXPECT_EQ(lines, expected) << "chunks of " << chunk;
  }
}

struct Recorded {
  std::vector<int> lines;
  ReportSink sink() {
    return [this](const ApplicationError& e) {
      EXPECT_EQ(e.location, location::kReadFile);
      lines.push_back(e.line);
    };
  }
};

TEST(ReadFileToStringFSOLineWord, ReportsAnOpenFailureAtLine102AndGivesNoLines) {
  testing::TempDir dir;
  std::filesystem::create_directory(dir.path() / "folder");
  ASSERT_EQ(::mkfifo((dir.path() / "pipe").c_str(), 0600), 0);
  for (const char* name : {"missing.txt", "folder", "pipe"}) {
    Recorded recorded;
    EXPECT_TRUE(ReadFileToStringFSOLineWord(dir.path() / name, recorded.sink()).empty()) << name;
    EXPECT_EQ(recorded.lines, std::vector<int>{reader_line::kOpen}) << name;
  }
}

TEST(ReadFileToStringFSOLineWord, ReportsAnUnreadableFileAtLine102) {
  if (::geteuid() == 0) GTEST_SKIP() << "permissions do not bind the superuser";
  testing::TempDir dir;
  const auto file = dir.Write("secret.txt", "hidden words");
  std::filesystem::permissions(file, std::filesystem::perms::none);
  Recorded recorded;
  EXPECT_TRUE(ReadFileToStringFSOLineWord(file, recorded.sink()).empty());
  EXPECT_EQ(recorded.lines, std::vector<int>{reader_line::kOpen});
}

// A file changed on disk after its first bytes were read: what the reading then
// gives, and which reports it makes.
struct ChangeCase {
  const char* name;
  std::string contents;
  std::function<void(const std::filesystem::path&)> change;
  std::string read;
  std::vector<int> reports;
};

class ChangedWhileRead : public ::testing::TestWithParam<ChangeCase> {};

TEST_P(ChangedWhileRead, KeepsWhatWasReadAndReportsAtLine110) {
  testing::TempDir dir;
  const auto file = dir.Write("changing.txt", GetParam().contents);
  Recorded recorded;
  TextFileReading reading(file, recorded.sink());
  std::string buffer(4, '\0');
  std::string read(buffer.data(), reading.Read(buffer));
  GetParam().change(file);
  while (const std::size_t got = reading.Read(buffer)) read.append(buffer.data(), got);
  reading.Close();
  EXPECT_EQ(read, GetParam().read);
  EXPECT_EQ(reading.read_failed(), !GetParam().reports.empty());
  EXPECT_EQ(recorded.lines, GetParam().reports);
}

INSTANTIATE_TEST_SUITE_P(
    Changes, ChangedWhileRead,
    ::testing::Values(ChangeCase{"Shrinks",
                                 "first line\nsecond line\n",
                                 [](const auto& file) { std::filesystem::resize_file(file, 8); },
                                 "first li",
                                 {reader_line::kRead}},
                      ChangeCase{"Removed",
                                 "first line\nsecond line\n",
                                 [](const auto& file) { std::filesystem::remove(file); },
                                 "first line\nsecond line\n",
                                 {reader_line::kRead}},
                      ChangeCase{
                          "GrowsAndIsReadToItsNewEnd",
                          "abcdef",
                          [](const auto& file) { std::ofstream(file, std::ios::app) << "ghi"; },
                          "abcdefghi",
                          {}}),
    [](const auto& test_case) { return std::string(test_case.param.name); });

}  // namespace
}  // namespace lintavel
