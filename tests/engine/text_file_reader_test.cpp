#include "engine/text_file_reader.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "support/line_splitter.h"
#include "support/literal_reader.h"
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
  std::vector<FileFailure> failures;
  const Lines lines =
      ReadLinesAsCp1252(file, [&](const FileFailure& failure) { failures.push_back(failure); });
  EXPECT_EQ(lines, GetParam().lines);
  EXPECT_TRUE(failures.empty());
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

// What one reading of a file gave: its bytes and the failures passed on.
struct Reading {
  std::string bytes;
  std::vector<FileFailure> failures;
};

Reading ReadWhole(const std::filesystem::path& path) {
  Reading result;
  TextFileReading reading(path,
                          [&](const FileFailure& failure) { result.failures.push_back(failure); });
  std::string buffer(4096, '\0');
  while (const std::size_t got = reading.Read(buffer)) result.bytes.append(buffer.data(), got);
  reading.Close();
  return result;
}

// A writer blocked in opening a FIFO until some reader opens it.
class WaitingWriter {
 public:
  explicit WaitingWriter(std::filesystem::path fifo)
      : fifo_(std::move(fifo)), thread_([this] {
          const int fd = ::open(fifo_.c_str(), O_WRONLY | O_CLOEXEC);
          released_ = true;
          if (fd >= 0) ::close(fd);
        }) {
    // Time to reach the open and block in it.
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  ~WaitingWriter() {
    // Our own reader lets it go.
    const int fd = ::open(fifo_.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    thread_.join();
    if (fd >= 0) ::close(fd);
  }
  bool released() const { return released_; }

 private:
  std::filesystem::path fifo_;
  std::atomic<bool> released_{false};
  std::thread thread_;
};

// The first kernel pseudo-file that reports a page as its size, when there is one.
std::optional<std::filesystem::path> SysfsPseudoFile() {
  for (const char* path :
       {"/sys/kernel/mm/transparent_hugepage/enabled", "/sys/devices/system/cpu/online"}) {
    struct stat info {};
    if (::stat(path, &info) == 0 && info.st_size == 4096) return std::filesystem::path(path);
  }
  return std::nullopt;
}

struct KindCase {
  const char* name;
  // Makes the file in `dir` (or names one elsewhere); nothing to skip the case here.
  std::function<std::optional<std::filesystem::path>(testing::TempDir& dir)> make;
  std::string bytes;  // "*" for any bytes, at least one
  std::optional<FailureStage> failure;
  std::string reason;  // "" for any
};

class FileKinds : public ::testing::TestWithParam<KindCase> {};

TEST_P(FileKinds, OpensOnlyRegularFilesAndReadsThemWhole) {
  testing::TempDir dir;
  const std::optional<std::filesystem::path> path = GetParam().make(dir);
  if (!path) GTEST_SKIP() << "no such file here";
  std::optional<WaitingWriter> writer;
  struct stat info {};
  if (::lstat(path->c_str(), &info) == 0 && S_ISFIFO(info.st_mode)) writer.emplace(*path);
  const Reading reading = ReadWhole(*path);
  if (GetParam().bytes == "*") {
    EXPECT_FALSE(reading.bytes.empty());
  } else {
    EXPECT_EQ(reading.bytes, GetParam().bytes);
  }
  if (!GetParam().failure) {
    EXPECT_TRUE(reading.failures.empty())
        << (reading.failures.empty() ? "" : FailureMessage(reading.failures[0]));
  } else {
    ASSERT_EQ(reading.failures.size(), 1u);
    EXPECT_EQ(reading.failures[0].path, *path);
    EXPECT_EQ(reading.failures[0].stage, *GetParam().failure);
    if (!GetParam().reason.empty()) {
      EXPECT_EQ(reading.failures[0].reason, GetParam().reason);
    }
  }
  if (writer) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(writer->released()) << "the pipe was opened";
  }
}

const std::string kNotRegular = "it is not a regular file (a pipe, a device or a socket)";

INSTANTIATE_TEST_SUITE_P(
    Kinds, FileKinds,
    ::testing::Values(
        KindCase{"Regular", [](auto& dir) { return dir.Write("a.txt", "some words\n"); },
                 "some words\n", std::nullopt, ""},
        KindCase{"Empty", [](auto& dir) { return dir.Write("e.txt", ""); }, "", std::nullopt, ""},
        KindCase{"Folder",
                 [](auto& dir) {
                   std::filesystem::create_directory(dir.path() / "folder");
                   return dir.path() / "folder";
                 },
                 "", FailureStage::kOpen, "it is a folder, not a file"},
        KindCase{"FifoWithAWaitingWriter",
                 [](auto& dir) -> std::optional<std::filesystem::path> {
                   const auto fifo = dir.path() / "pipe";
                   if (::mkfifo(fifo.c_str(), 0600) != 0) return std::nullopt;
                   return fifo;
                 },
                 "", FailureStage::kOpen, kNotRegular},
        KindCase{"DevNull", [](auto&) { return std::filesystem::path("/dev/null"); }, "",
                 FailureStage::kOpen, kNotRegular},
        KindCase{"SysfsPseudoFile", [](auto&) { return SysfsPseudoFile(); }, "*", std::nullopt, ""},
        KindCase{"ProcfsPseudoFile",
                 [](auto&) { return std::filesystem::path("/proc/self/status"); }, "*",
                 std::nullopt, ""},
        KindCase{"SymlinkToAFile",
                 [](auto& dir) {
                   const auto target = dir.Write("target.txt", "linked");
                   std::filesystem::create_symlink(target, dir.path() / "link");
                   return dir.path() / "link";
                 },
                 "linked", std::nullopt, ""},
        KindCase{"Missing", [](auto& dir) { return dir.path() / "missing.txt"; }, "",
                 FailureStage::kOpen, "No such file or directory"}),
    [](const auto& test_case) { return std::string(test_case.param.name); });

TEST(TextFileReading, AnUnreadableFileFailsToOpen) {
  if (::geteuid() == 0) GTEST_SKIP() << "permissions do not bind the superuser";
  testing::TempDir dir;
  const auto file = dir.Write("secret.txt", "hidden words");
  std::filesystem::permissions(file, std::filesystem::perms::none);
  const Reading reading = ReadWhole(file);
  ASSERT_EQ(reading.failures.size(), 1u);
  EXPECT_EQ(reading.failures[0].stage, FailureStage::kOpen);
  EXPECT_EQ(reading.failures[0].error_number, EACCES);
}

// A file changed on disk after its first bytes were read: what the reading then
// gives, and which failures it passes on.
struct ChangeCase {
  const char* name;
  std::string contents;
  std::function<void(const std::filesystem::path&)> change;
  std::string read;
  std::vector<FailureStage> failures;
};

class ChangedWhileRead : public ::testing::TestWithParam<ChangeCase> {};

TEST_P(ChangedWhileRead, KeepsWhatWasReadAndFailsTheRead) {
  testing::TempDir dir;
  const auto file = dir.Write("changing.txt", GetParam().contents);
  std::vector<FailureStage> failures;
  TextFileReading reading(file,
                          [&](const FileFailure& failure) { failures.push_back(failure.stage); });
  std::string buffer(4, '\0');
  std::string read(buffer.data(), reading.Read(buffer));
  GetParam().change(file);
  while (const std::size_t got = reading.Read(buffer)) read.append(buffer.data(), got);
  reading.Close();
  EXPECT_EQ(read, GetParam().read);
  EXPECT_EQ(reading.read_failed(), !GetParam().failures.empty());
  EXPECT_EQ(failures, GetParam().failures);
}

INSTANTIATE_TEST_SUITE_P(
    Changes, ChangedWhileRead,
    ::testing::Values(ChangeCase{"Shrinks",
                                 "first line\nsecond line\n",
                                 [](const auto& file) { std::filesystem::resize_file(file, 8); },
                                 "first li",
                                 {FailureStage::kRead}},
                      ChangeCase{"Removed",
                                 "first line\nsecond line\n",
                                 [](const auto& file) { std::filesystem::remove(file); },
                                 "first line\nsecond line\n",
                                 {FailureStage::kRead}},
                      ChangeCase{
                          "GrowsAndIsReadToItsNewEnd",
                          "abcdef",
                          [](const auto& file) { std::ofstream(file, std::ios::app) << "ghi"; },
                          "abcdefghi",
                          {}}),
    [](const auto& test_case) { return std::string(test_case.param.name); });

}  // namespace
}  // namespace lintavel
