#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "cli/extract_command.h"
#include "support/cli_run.h"
#include "support/temp_dir.h"

namespace lintavel {
namespace {

namespace fs = std::filesystem;
using testing::Ran;
using testing::ReadBytes;
using testing::RunWith;
using testing::TempDir;

// Text of `distinct` words from `first` on, some repeated and some in capitals,
// and a long one now and then: past what 16 MiB of tables hold.
std::string ManyWords(int first, int distinct) {
  std::string text;
  for (int i = first; i < first + distinct; ++i) {
    text += (i % 3 == 0 ? "W" : "w") + std::to_string(i);
    if (i % 97 == 0) text += "-and-a-tail-past-sixteen-bytes";
    text += i % 13 == 0 ? "\n" : " ";
    if (i % 5 == 0) text += "w" + std::to_string(i % 1000) + " ";
  }
  return text;
}

// Words that each begin with a Windows-1252 byte whose character comes later in
// UTF-16 than its byte does (0x80 is U+20AC, 0xFF is U+00FF): enough of them that
// the ordering's runs split them, so that their merge must compare as UTF-16 does.
std::string HighBytes(int distinct) {
  std::string text;
  for (int i = 0; i < distinct; ++i)
    text += "\x80" + std::to_string(i) + " \xff" + std::to_string(i) + "\n";
  return text;
}

// The standard error of a run without the line that says what was spilled.
std::string WithoutSpillLine(std::string err) {
  const std::size_t at = err.find("spilled: ");
  if (at != std::string::npos) err.erase(at, err.find('\n', at) + 1 - at);
  return err;
}

TEST(MemoryLimit, SpilledRunsWriteWhatAnUnboundedRunWrites) {
  TempDir dir;
  // Past one block of reading, so that sequences also cross from block to block.
  const std::string a = dir.Write("a.txt", ManyWords(0, 300'000)).string();
  const std::string b = dir.Write("b.txt", ManyWords(90'000, 150'000)).string();
  const std::string c = dir.Write("c.txt", HighBytes(60'000)).string();
  const std::string stop = dir.Write("stop.txt", "w1\nw2\nW3\n").string();
  const fs::path spill_dir = dir.path() / "tmp";
  fs::create_directory(spill_dir);
  // Each case on one thread, or two, alternately.
  const std::vector<std::vector<std::string>> cases = {
      {"--min-count", "2"},
      {"--format", "tsv", "--sort", "word", "--stop-list", stop},
      {"--format", "csv", "--per-file", "--top", "5000"},
      {"--format", "json", "--per-file", "--fold-case", "--sort", "count-desc", "--top", "200000"},
      {"--format", "tsv", "--ngrams", "1-2", "--fold-case"},
      {"--format", "json", "--per-file", "--per-million", "--stop-list", stop, "--max-length", "7"},
      {"--format", "tsv", "--stop-list", stop, "--ngrams", "2-3"},
  };
  for (const std::vector<std::string>& options : cases) {
    std::vector<std::string> args = options;
    args.insert(args.end(), {"--stats", a, b, c});
    const Ran unbounded = RunWith(args);
    ASSERT_EQ(unbounded.status, kExitAllRead) << unbounded.err;
    {
      const std::string threads = &options == &cases[0] || &options == &cases[2] ? "1" : "2";
      SCOPED_TRACE(options.front() + " " + options.back() + ", threads " + threads);
      std::vector<std::string> bounded = {"--threads", threads,      "--memory-limit",
                                          "16M",       "--temp-dir", spill_dir.string()};
      bounded.insert(bounded.end(), args.begin(), args.end());
      const Ran spilled = RunWith(bounded);
      EXPECT_EQ(spilled.status, unbounded.status);
      EXPECT_TRUE(spilled.out == unbounded.out);
      EXPECT_NE(spilled.err.find("spilled: "), std::string::npos) << spilled.err;
      EXPECT_EQ(WithoutSpillLine(spilled.err), unbounded.err);
      EXPECT_EQ(testing::EntriesIn(spill_dir), 0u);
    }
  }
}

TEST(MemoryLimit, BadSizesAndFoldersAreRefusedAndTheOldOutputKept) {
  TempDir dir;
  const std::string in = dir.Write("in.txt", "some words").string();
  const std::string file = dir.Write("file.txt", "x").string();
  const fs::path out = dir.path() / "out.txt";
  struct Case {
    std::vector<std::string> args;
    int status;
    std::string message;
  };
  const Case cases[] = {
      {{"--memory-limit", "0"}, kExitUsage, "too small"},
      {{"--memory-limit", "1M"}, kExitUsage, "too small (at least 16M)"},
      {{"--memory-limit", "abc"}, kExitUsage, "invalid --memory-limit 'abc'"},
      {{"--memory-limit", "-5M"}, kExitUsage, "invalid --memory-limit '-5M'"},
      {{"--memory-limit", "5Q"}, kExitUsage, "invalid --memory-limit '5Q'"},
      {{"--memory-limit", "16777216T"}, kExitUsage, "out of range"},
      {{"--memory-limit"}, kExitUsage, "needs a size"},
      {{"--temp-dir", (dir.path() / "missing").string()},
       kExitSomeFailed,
       "cannot use the temporary folder '" + (dir.path() / "missing").string() +
           "': No such file or directory"},
      {{"--temp-dir", file}, kExitSomeFailed, "'" + file + "': it is not a folder"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args.back());
    TempDir::WriteFile(out, "old results");
    std::vector<std::string> args = {"-o", out.string(), in};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const Ran ran = RunWith(args);
    EXPECT_EQ(ran.status, c.status);
    EXPECT_NE(ran.err.find(c.message), std::string::npos) << ran.err;
    EXPECT_EQ(ReadBytes(out), "old results");
    EXPECT_EQ(testing::EntriesIn(dir.path()), 3u);  // in, file, out: nothing else
  }
}

// The built program ended by a signal as soon as it has spilled, with millions of
// words still to count: the folder of its runs goes with it.
TEST(MemoryLimitBinary, ASignalMidRunLeavesNoTemporaryFolder) {
  for (const int signal_number : {SIGTERM, SIGINT}) {
    SCOPED_TRACE(signal_number);
    TempDir dir;
    const fs::path spill_dir = dir.path() / "tmp";
    fs::create_directory(spill_dir);
    const fs::path in = dir.Write("in.txt", ManyWords(0, 3'000'000));
    const fs::path out = dir.Write("out.txt", "old results");
    const std::string command = "exec " + std::string(LINTAVEL_EXTRACT_BINARY) +
                                " --memory-limit 16M --temp-dir " + spill_dir.string() + " -o " +
                                out.string() + " --threads 1 " + in.string();
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      ::execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
      ::_exit(127);
    }
    int status = 0;
    while (testing::EntriesIn(spill_dir) == 0 && ::waitpid(child, &status, WNOHANG) == 0) {
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    ASSERT_EQ(testing::EntriesIn(spill_dir), 1u) << "ended before it spilled";
    ::kill(child, signal_number);
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal_number) << status;
    EXPECT_EQ(testing::EntriesIn(spill_dir), 0u);
    EXPECT_EQ(ReadBytes(out), "old results");
  }
}

// The runs on a small tmpfs, mounted in a mount namespace of a child of its own
// (which needs the superuser, as CI has): 1 MiB fills while the words are counted;
// half as much again as the counting's runs fills while the merged words are
// ordered in runs of their own. The program fails with the folder and the cause,
// keeps the old output and leaves the disk empty. The child exits with the
// program's status, 3 when something was left on the disk, 77 when it cannot mount.
TEST(MemoryLimitBinary, AFullTemporaryDiskFailsTheRunAndKeepsTheOldOutput) {
  if (::geteuid() != 0) GTEST_SKIP() << "mounting a small tmpfs needs the superuser (CI has it)";
  TempDir dir;
  const fs::path disk = dir.path() / "disk";
  fs::create_directory(disk);
  const std::string in = dir.Write("in.txt", ManyWords(0, 400'000)).string();
  const fs::path out = dir.path() / "out.txt";
  const fs::path err = dir.path() / "err.txt";
  const std::vector<std::string> bounded = {"--threads", "1", "--memory-limit", "16M", "--stats"};
  std::vector<std::string> sizing = bounded;
  sizing.insert(sizing.end(), {"--temp-dir", disk.string(), in});
  const Ran counted = RunWith(sizing);
  const std::size_t at = counted.err.find(" runs, ");
  ASSERT_NE(at, std::string::npos) << counted.err;
  const std::uint64_t run_bytes = std::stoull(counted.err.substr(at + 7));
  for (const std::string& size :
       {std::string("1m"), std::to_string(run_bytes * 3 / 2 / 1024) + "k"}) {
    SCOPED_TRACE(size);
    TempDir::WriteFile(out, "old results");
    std::string command = LINTAVEL_EXTRACT_BINARY;
    for (const std::string& arg : bounded) command += " " + arg;
    command +=
        " --temp-dir " + disk.string() + " -o " + out.string() + " " + in + " 2>" + err.string();
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      const std::string options = "size=" + size + ",mode=0755";
      if (::unshare(CLONE_NEWNS) != 0 ||
          ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
          ::mount("tmpfs", disk.c_str(), "tmpfs", 0, options.c_str()) != 0) {
        ::_exit(77);
      }
      const int status = std::system(command.c_str());
      if (testing::EntriesIn(disk) != 0) ::_exit(3);
      ::_exit(WIFEXITED(status) ? WEXITSTATUS(status) : 4);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == 77) GTEST_SKIP() << "cannot mount a tmpfs here";
    EXPECT_EQ(WEXITSTATUS(status), kExitSomeFailed);
    const std::string said = ReadBytes(err);
    EXPECT_NE(said.find("cannot write to the temporary folder '" + disk.string() + "/lintavel-"),
              std::string::npos)
        << said;
    EXPECT_NE(said.find("No space left on device"), std::string::npos) << said;
    EXPECT_EQ(ReadBytes(out), "old results");
  }
}

}  // namespace
}  // namespace lintavel
