#include "corpus/side_file.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "cli/extract_command.h"
#include "support/temp_dir.h"

namespace lintavel {
namespace {

namespace fs = std::filesystem;
using testing::ReadBytes;
using testing::TempDir;

// Writes `bytes` to the pipe `fifo` once `delay` has passed, as a program that
// makes a list a moment after the reader started.
std::thread LateWriter(const fs::path& fifo, std::string bytes,
                       std::chrono::milliseconds delay = std::chrono::milliseconds(300)) {
  return std::thread([fifo, bytes = std::move(bytes), delay] {
    std::this_thread::sleep_for(delay);
    const int fd = ::open(fifo.c_str(), O_WRONLY | O_CLOEXEC);
    if (fd < 0) return;
    if (::write(fd, bytes.data(), bytes.size()) < 0) {
      // The reader refused the pipe: nothing to do.
    }
    ::close(fd);
  });
}

struct Read {
  std::optional<std::string> bytes;  // nothing when refused
  std::string refusal;
};

Read ReadWhole(const fs::path& path, PipeRule pipes) {
  std::string bytes;
  const auto refusal = ReadSideFile(path.string(), pipes, [&bytes](std::string_view piece) {
    EXPECT_LE(piece.size(), kSideFilePiece);
    bytes.append(piece);
    return true;
  });
  if (refusal) return {std::nullopt, *refusal};
  return {bytes, ""};
}

// Every kind of file the program may be given besides its inputs, under both pipe
// rules: what is read whole, what is refused and why, and that nothing hangs.
TEST(SideFile, EveryKindOfFileIsReadWholeOrRefusedWithItsReason) {
  TempDir dir;
  const std::string huge_line(3 * kSideFilePiece + 17, 'w');
  const fs::path fifo = dir.path() / "pipe";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  struct Case {
    std::string name;
    fs::path path;
    std::optional<std::string> bytes;  // read whole under both rules, or refused
    std::string refusal;
  };
  const Case cases[] = {
      {"regular", dir.Write("list.txt", "a\nb\r\n"), "a\nb\r\n", ""},
      {"empty", dir.Write("empty.txt", ""), "", ""},
      {"huge line", dir.Write("huge.txt", huge_line), huge_line, ""},
      {"non-UTF-8 name", dir.Write("caf\xe9.txt", "caf\xe9"), "caf\xe9", ""},
      {"folder", dir.path(), std::nullopt, "it is a folder"},
      {"missing", dir.path() / "missing\xff", std::nullopt, "No such file or directory"},
      {"/dev/null", "/dev/null", std::nullopt, "it is a device or a socket"},
      {"endless device", "/dev/zero", std::nullopt, "it is a device or a socket"},
  };
  for (const PipeRule pipes : {PipeRule::kRefuse, PipeRule::kWaitForWriter}) {
    for (const Case& c : cases) {
      SCOPED_TRACE(c.name);
      const Read read = ReadWhole(c.path, pipes);
      EXPECT_EQ(read.bytes, c.bytes);
      EXPECT_NE(read.refusal.find(c.refusal), std::string::npos) << read.refusal;
      EXPECT_EQ(SideFileRefusal(c.path.string(), pipes).has_value(), !c.bytes.has_value());
    }
  }
  // A file the system calls empty that still gives bytes is read to its end.
  if (fs::exists("/proc/self/status")) {
    const Read status = ReadWhole("/proc/self/status", PipeRule::kRefuse);
    ASSERT_TRUE(status.bytes.has_value());
    EXPECT_NE(status.bytes->find("Name:"), std::string::npos);
  }

  // A pipe is refused from its stat alone, so a writer that never comes cannot hang
  // a word list...
  const Read refused = ReadWhole(fifo, PipeRule::kRefuse);
  EXPECT_FALSE(refused.bytes.has_value());
  EXPECT_EQ(refused.refusal, "it is a pipe, not a file");
  // ...and a file list waits for its writer, even one that opens the pipe late.
  std::thread writer = LateWriter(fifo, "x.txt\n");
  const Read waited = ReadWhole(fifo, PipeRule::kWaitForWriter);
  writer.join();
  EXPECT_EQ(waited.bytes, "x.txt\n");
}

// The rule as the command line meets it: a file list from a pipe whose writer is
// late is read, a stop list that is a pipe or a device is refused in one line.
TEST(SideFile, TheCommandLineFollowsTheRule) {
  TempDir dir;
  const auto in = dir.Write("in.txt", "b a b");
  const auto out = dir.Write("out.txt", "old results");
  const fs::path fifo = dir.path() / "list";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  std::ostringstream words;
  std::ostringstream err;
  std::thread writer = LateWriter(fifo, in.string() + "\n");
  const std::vector<std::string> from_pipe = {"--files-from", fifo.string(), "-o", out.string()};
  EXPECT_EQ(lintavel::Run(from_pipe, words, err), kExitAllRead) << err.str();
  writer.join();
  EXPECT_EQ(ReadBytes(out), "a\r\nb\r\n");

  for (const std::string& stop_list : {fifo.string(), std::string("/dev/null")}) {
    std::ostringstream said;
    const std::vector<std::string> args = {"--stop-list", stop_list, "-o", out.string(),
                                           in.string()};
    EXPECT_EQ(lintavel::Run(args, words, said), kExitUsage);
    EXPECT_EQ(said.str(), "lintavel-extract: cannot read the stop list '" + stop_list + "': " +
                              (stop_list == "/dev/null" ? "it is a device or a socket, not a file"
                                                        : "it is a pipe, not a file") +
                              "\n");
    EXPECT_EQ(ReadBytes(out), "a\r\nb\r\n");
  }
}

// A list on standard input is refused at its first bad line, while the program
// that writes it is still running.
TEST(SideFile, StandardInputStopsAtTheFirstBadLine) {
  TempDir dir;
  const auto in = dir.Write("s.txt", "word");
  for (const std::string& bad :
       {std::string("\n\n"), std::string("\0\n", 2), std::string(kSideFilePiece + 10, 'x')}) {
    int ends[2];
    ASSERT_EQ(::pipe2(ends, O_CLOEXEC), 0);
    // The writer stays open for 5 s after its list: reading on would wait for it.
    std::thread writer([fd = ends[1], list = in.string() + "\n" + bad] {
      for (std::string_view rest = list; !rest.empty();) {
        const ssize_t put = ::write(fd, rest.data(), rest.size());
        if (put <= 0) break;
        rest.remove_prefix(static_cast<std::size_t>(put));
      }
      std::this_thread::sleep_for(std::chrono::seconds(5));
      ::close(fd);
    });
    std::istringstream unused;
    std::ostringstream words;
    std::ostringstream err;
    const auto begun = std::chrono::steady_clock::now();
    const std::vector<std::string> args = {"--files-from", "-"};
    EXPECT_EQ(lintavel::Run(args, CommandStreams{unused, words, err, false, ends[0]}), kExitUsage);
    EXPECT_LT(std::chrono::steady_clock::now() - begun, std::chrono::seconds(2)) << err.str();
    EXPECT_EQ(words.str(), "");
    writer.join();
    ::close(ends[0]);
  }
}

}  // namespace
}  // namespace lintavel
