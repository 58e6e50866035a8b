#include "cli/extract_command.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "lintavel_version.h"
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
  EXPECT_EQ(ran.err, "lintavel-extract: Cannot open '" + missing.string() +
                         "': No such file or directory\n"
                         "Results (Total Word Count: 1)\n");
}

TEST(ExtractCommand, AnOutputThatCannotBeWrittenLeavesTheOldFileAlone) {
  TempDir dir;
  const auto in = dir.Write("in.txt", "word");
  const Ran to_missing_folder =
      RunWith({"-o", (dir.path() / "no/such/dir.txt").string(), in.string()});
  EXPECT_EQ(to_missing_folder.status, kExitSomeFailed);
  EXPECT_NE(to_missing_folder.err.find("Cannot create"), std::string::npos);

  std::filesystem::create_directory(dir.path() / "folder");
  const Ran over_folder = RunWith({"-o", (dir.path() / "folder").string(), in.string()});
  EXPECT_EQ(over_folder.status, kExitSomeFailed);
  EXPECT_TRUE(std::filesystem::is_directory(dir.path() / "folder"));
  // No temporary file is left behind.
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 2);
}

TEST(ExtractCommand, BadArgumentsSayOneLineAndGiveStatus2) {
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{}, std::vector<std::string>{"-o"},
        std::vector<std::string>{"--bogus", "a.txt"}, std::vector<std::string>{"-o", "", "a"},
        std::vector<std::string>{"-o", "out.txt"}}) {
    const Ran ran = RunWith(args);
    EXPECT_EQ(ran.status, kExitUsage);
    EXPECT_EQ(ran.out, "");
    EXPECT_TRUE(ran.err.starts_with("lintavel-extract: ")) << ran.err;
    EXPECT_TRUE(ran.err.ends_with("; try 'lintavel-extract --help'\n")) << ran.err;
    EXPECT_EQ(std::count(ran.err.begin(), ran.err.end(), '\n'), 1) << ran.err;
  }
}

TEST(ExtractCommand, HelpExplainsTheWordRules) {
  const Ran ran = RunWith({"--help"});
  EXPECT_EQ(ran.status, kExitAllRead);
  EXPECT_NE(ran.out.find("punctuation"), std::string::npos);
  EXPECT_NE(ran.out.find("CR LF"), std::string::npos);
}

TEST(ExtractCommand, VersionIsTheProjectsAndTakesNoValue) {
  const Ran ran = RunWith({"--version"});
  EXPECT_EQ(ran.status, kExitAllRead);
  EXPECT_EQ(ran.out, std::string("lintavel-extract ") + kVersion + "\n");
  EXPECT_THAT(std::string(kVersion), ::testing::MatchesRegex("[0-9]+\\.[0-9]+\\.[0-9]+"));
  EXPECT_EQ(ran.err, "");
  EXPECT_EQ(RunWith({"--version=1"}).status, kExitUsage);
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

Ran RunWithInput(std::vector<std::string> args, const std::string& input) {
  std::istringstream in(input);
  std::ostringstream out;
  std::ostringstream err;
  const int status = Run(args, CommandStreams{in, out, err, false});
  return {status, out.str(), err.str()};
}

TEST(ExtractCommand, CountsPutTheCountBeforeEachWord) {
  TempDir dir;
  const auto in = dir.Write("in.txt", "b a b c b a");
  EXPECT_EQ(RunWith({"--counts", in.string()}).out, "1\tc\r\n2\ta\r\n3\tb\r\n");
}

TEST(ExtractCommand, EncodingsOfInputAndOutput) {
  TempDir dir;
  const auto utf8 = dir.Write("utf8.txt", "caf\xC3\xA9 \xE4\xB8\xAD caf\xC3\xA9");
  const auto cp1252 = dir.Write("cp1252.txt", "caf\xE9");
  const auto utf16 = dir.Write("utf16.txt", std::string("\xFF\xFE"
                                                        "c\0a\0f\0\xE9\0 \0-\0",
                                                        14));
  struct Case {
    std::vector<std::string> args;
    std::string out;
  };
  const Case cases[] = {
      // The window's reading: every byte one character.
      {{utf8.string()}, "\xE4\xB8\xAD\r\ncaf\xC3\xA9\r\n"},
      {{"--output-encoding", "utf-8", utf8.string()},
       "\xC3\xA4\xC2\xB8\xC2\xAD\r\ncaf\xC3\x83\xC2\xA9\r\n"},
      {{"--encoding", "utf-8", utf8.string()}, "\xE4\xB8\xAD\r\ncaf\xC3\xA9\r\n"},
      {{"--encoding=utf-8", "--output-encoding", "cp1252", utf8.string()}, "?\r\ncaf\xE9\r\n"},
      {{"--encoding", "auto", utf8.string(), cp1252.string()}, "\xE4\xB8\xAD\r\ncaf\xC3\xA9\r\n"},
      {{"--output-encoding", "utf-8", cp1252.string()}, "caf\xC3\xA9\r\n"},
      {{"--encoding", "auto", utf16.string(), cp1252.string()}, "caf\xC3\xA9\r\n"},
      {{"--encoding", "utf-16", "--output-encoding", "cp1252", utf16.string()}, "caf\xE9\r\n"},
  };
  for (const Case& c : cases) {
    const Ran ran = RunWith(c.args);
    EXPECT_EQ(ran.status, kExitAllRead);
    EXPECT_EQ(ran.out, c.out) << c.args.front();
  }
}

TEST(ExtractCommand, IllFormedUtf8IsReportedOncePerFileByName) {
  TempDir dir;
  const auto bad = dir.Write("bad.txt", "ok \xFF\xFE x\x80");
  const Ran ran = RunWith({"--encoding", "utf-8", bad.string(), bad.string()});
  EXPECT_EQ(ran.status, kExitAllRead);
  EXPECT_EQ(ran.out, "ok\r\nx\xEF\xBF\xBD\r\n\xEF\xBF\xBD\xEF\xBF\xBD\r\n");
  const std::string note =
      "lintavel-extract: " + bad.string() + ": 3 ill-formed UTF-8 sequence(s) read as U+FFFD\n";
  EXPECT_EQ(ran.err, note + note + "Results (Total Word Count: 6)\n");
}

TEST(ExtractCommand, IllFormedUtf16IsReportedByItsEncoding) {
  TempDir dir;
  const auto bad = dir.Write("bad.txt", std::string("\xFF\xFEo\0k\0 \0\x3D\xD8", 10));
  const Ran ran = RunWith({"--encoding", "auto", bad.string()});
  EXPECT_EQ(ran.status, kExitAllRead);
  EXPECT_EQ(ran.out, "ok\r\n\xEF\xBF\xBD\r\n");
  EXPECT_EQ(ran.err, "lintavel-extract: " + bad.string() +
                         ": 1 ill-formed UTF-16 sequence(s) read as U+FFFD\n"
                         "Results (Total Word Count: 2)\n");
}

TEST(ExtractCommand, FileListsAndFolderTreesAddToTheFilesInTheirOrder) {
  TempDir dir;
  const auto a = dir.Write("a.txt", "alpha");
  const auto b = dir.Write("b.txt", "beta beta");
  std::filesystem::create_directories(dir.path() / "tree/sub");
  dir.Write("tree/one.txt", "gamma gamma gamma");
  dir.Write("tree/sub/two.txt", "delta delta delta delta");
  dir.Write("tree/skip.doc", "skipped");
  const auto list = dir.Write("list.txt", b.string() + "\r" + a.string() + "\n");  // a lone CR
  const Ran ran = RunWith({a.string(), "--files-from", list.string(), "--recursive",
                           (dir.path() / "tree").string(), "--ext", "txt", "--counts"});
  EXPECT_EQ(ran.status, kExitAllRead);
  EXPECT_EQ(ran.out, "2\talpha\r\n2\tbeta\r\n3\tgamma\r\n4\tdelta\r\n");
  const Ran from_stdin = RunWithInput({"--files-from", "-"}, a.string() + "\r\n" + b.string());
  EXPECT_EQ(from_stdin.out, "alpha\r\nbeta\r\n");
  const Ran every = RunWith({"--recursive", (dir.path() / "tree").string(), "--ext", "*"});
  EXPECT_NE(every.out.find("skipped"), std::string::npos);
}

TEST(ExtractCommand, ThreadsGiveTheSameWords) {
  TempDir dir;
  std::string text;
  for (int i = 0; i < 300'000; ++i) text += "w" + std::to_string(i % 977) + (i % 7 ? " " : "\n");
  const auto in = dir.Write("in.txt", text);
  const Ran one = RunWith({"--threads", "1", in.string()});
  const Ran four = RunWith({"--threads=4", in.string()});
  EXPECT_EQ(one.out, four.out);
  EXPECT_EQ(one.err, four.err);
}

TEST(ExtractCommand, BadListsAndOptionsSayWhatIsWrongAndWriteNothing) {
  TempDir dir;
  const auto a = dir.Write("a.txt", "alpha");
  const auto blank = dir.Write("blank.txt", a.string() + "\n\n" + a.string() + "\n");
  const auto nul = dir.Write("nul.txt", a.string() + std::string("\0x\n", 3));
  const auto long_line = dir.Write("long.txt", a.string() + "\n" + std::string(70'000, 'x'));
  const auto out = dir.Write("out.txt", "untouched");
  struct Case {
    std::vector<std::string> args;
    std::string message;
  };
  const Case cases[] = {
      {{"--files-from", blank.string()}, "has an empty line 2"},
      {{"--files-from", nul.string()}, "line 1 of the file list"},
      {{"--files-from", long_line.string()}, "line 2 of the file list"},
      {{"--files-from", (dir.path() / "missing").string()}, "cannot read the file list"},
      {{"--files-from", dir.path().string()}, "it is a folder"},
      {{"--files-from", "/dev/zero"}, "it is a device or a socket"},
      {{"--recursive", (dir.path() / "missing").string(), "--ext", "txt"}, "is missing"},
      {{"--recursive", a.string(), "--ext", "txt"}, "needs a folder"},
      {{"--files-from"}, "needs a file name"},
      {{"--encoding", "latin-9", a.string()}, "unknown encoding 'latin-9'"},
      {{"--output-encoding", "auto", a.string()}, "unknown output encoding"},
      {{"--threads", "0", a.string()}, "--threads: 0 is out of range"},
      {{"--threads", "257", a.string()}, "--threads: 257 is out of range"},
      {{"--threads", "99999999999999999999", a.string()}, "is out of range"},
      {{"--min-count", "99999999999999999999", a.string()}, "is out of range"},
      {{"--min-count", "-1", a.string()}, "--min-count: -1 is out of range"},
      {{"--top", "99999999999999999999", a.string()}, "is out of range"},
      {{"--top", "0", a.string()}, "--top: 0 is out of range"},
      {{"--top", "+5", a.string()}, "--top needs a whole number from 1"},
      {{"--threads", "two", a.string()}, "--threads needs a whole number"},
      {{"--recursive", dir.path().string()}, "--recursive needs --ext"},
      {{"--ext", "txt", a.string()}, "--ext goes with --recursive"},
      {{"--counts=yes", a.string()}, "unknown option --counts=yes"},
      {{"--frobnicate", a.string()}, "unknown option --frobnicate"},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args = {"-o", out.string()};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const Ran ran = RunWith(args);
    EXPECT_EQ(ran.status, kExitUsage) << c.message;
    EXPECT_NE(ran.err.find(c.message), std::string::npos) << ran.err;
    EXPECT_EQ(ReadBytes(out), "untouched") << c.message;
  }

  // An endless list of NUL bytes on standard input is refused from its first piece.
  struct Zeros : std::streambuf {
    int_type underflow() override {
      std::fill(std::begin(block), std::end(block), '\0');
      setg(block, block, std::end(block));
      return 0;
    }
    char block[4096];
  } zeros;
  std::istream endless(&zeros);
  std::ostringstream none;
  std::ostringstream err;
  const std::vector<std::string> args = {"--files-from", "-"};
  EXPECT_EQ(lintavel::Run(args, CommandStreams{endless, none, err, false}), kExitUsage);
  EXPECT_NE(err.str().find("holds a NUL byte"), std::string::npos);
}

TEST(ExtractCommand, AProgressBarOnATerminalOnlyAndNotWithQuiet) {
  TempDir dir;
  const auto a = dir.Write("a.txt", "one two");
  const auto b = dir.Write("b.txt", "three");
  std::istringstream in;
  std::ostringstream out;
  std::ostringstream terminal;
  lintavel::Run(std::vector<std::string>{a.string(), b.string()},
                CommandStreams{in, out, terminal, true});
  EXPECT_NE(terminal.str().find("\r[########################] files 2/2"), std::string::npos)
      << terminal.str();
  EXPECT_NE(terminal.str().find("\r\033[K"), std::string::npos);  // taken off at the end
  EXPECT_TRUE(terminal.str().ends_with("\033[KResults (Total Word Count: 3)\n"));

  std::ostringstream quiet;
  lintavel::Run(std::vector<std::string>{"-q", a.string()}, CommandStreams{in, out, quiet, true});
  EXPECT_EQ(quiet.str(), "Results (Total Word Count: 2)\n");
}

TEST(ExtractBinary, ABrokenPipeEndsQuietly) {
  TempDir dir;
  std::string text;
  for (int i = 0; i < 200'000; ++i) text += "word" + std::to_string(i) + " ";
  const auto in = dir.Write("in.txt", text);
  const std::string command = std::string(LINTAVEL_EXTRACT_BINARY) + " --quiet '" + in.string() +
                              "' 2>" + (dir.path() / "err.txt").string() +
                              " | head -c 10 > /dev/null";
  EXPECT_EQ(std::system(command.c_str()), 0);
  const std::string err = ReadBytes(dir.path() / "err.txt");
  EXPECT_EQ(err.find("cannot write"), std::string::npos) << err;
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

namespace fs = std::filesystem;

// Every kind of -o target: what must be refused is left exactly as it was, what is
// written keeps its link, its mode and its place, and no temporary file stays.
TEST(ExtractCommand, OutputTargetsAreWrittenSafelyOrRefused) {
  TempDir dir;
  const auto in = dir.Write("in.txt", "new words");
  const std::string written = "new\r\nwords\r\n";
  struct Case {
    std::string name;
    std::function<fs::path(const fs::path& folder)> make;  // gives the -o path
    int status;
    std::function<void(const fs::path& target)> check;
  };
  const auto old_text = [](const fs::path& target) { EXPECT_EQ(ReadBytes(target), "old"); };
  const Case cases[] = {
      {"a FIFO",
       [](const fs::path& f) {
         ::mkfifo((f / "fifo").c_str(), 0644);
         return f / "fifo";
       },
       kExitSomeFailed, [](const fs::path& t) { EXPECT_TRUE(fs::is_fifo(t)); }},
      {"a socket",
       [](const fs::path& f) {
         const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
         sockaddr_un address{};
         address.sun_family = AF_UNIX;
         const std::string name = (f / "sock").string();
         name.copy(address.sun_path, sizeof address.sun_path - 1);
         ::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address);
         ::close(fd);
         return f / "sock";
       },
       kExitSomeFailed, [](const fs::path& t) { EXPECT_TRUE(fs::is_socket(t)); }},
      {"a folder",
       [](const fs::path& f) {
         fs::create_directory(f / "sub");
         return f / "sub";
       },
       kExitSomeFailed, [](const fs::path& t) { EXPECT_TRUE(fs::is_directory(t)); }},
      {"a read-only file",
       [](const fs::path& f) {
         const auto t = TempDir::WriteFile(f / "ro.txt", "old");
         fs::permissions(t, fs::perms::owner_read | fs::perms::group_read);
         return t;
       },
       kExitSomeFailed, old_text},
      {"a link to a file",
       [](const fs::path& f) {
         TempDir::WriteFile(f / "real.txt", "old");
         fs::create_symlink("real.txt", f / "link.txt");
         return f / "link.txt";
       },
       kExitAllRead,
       [&](const fs::path& t) {
         EXPECT_TRUE(fs::is_symlink(t));
         EXPECT_EQ(ReadBytes(t.parent_path() / "real.txt"), written);
       }},
      {"a link to a file not yet there",
       [](const fs::path& f) {
         fs::create_symlink("later.txt", f / "dangling.txt");
         return f / "dangling.txt";
       },
       kExitAllRead,
       [&](const fs::path& t) {
         EXPECT_TRUE(fs::is_symlink(t));
         EXPECT_EQ(ReadBytes(t.parent_path() / "later.txt"), written);
       }},
      {"a private file",
       [](const fs::path& f) {
         const auto t = TempDir::WriteFile(f / "private.txt", "old");
         fs::permissions(t, fs::perms::owner_read | fs::perms::owner_write);
         return t;
       },
       kExitAllRead,
       [&](const fs::path& t) {
         EXPECT_EQ(ReadBytes(t), written);
         EXPECT_EQ(fs::status(t).permissions(), fs::perms::owner_read | fs::perms::owner_write);
       }},
      {"a name of 250 bytes", [](const fs::path& f) { return f / std::string(250, 'n'); },
       kExitAllRead, [&](const fs::path& t) { EXPECT_EQ(ReadBytes(t), written); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const fs::path folder = dir.path() / "case";
    fs::create_directory(folder);
    const fs::path target = c.make(folder);
    const std::size_t entries =
        testing::EntriesIn(folder) + (c.status == kExitAllRead && !fs::exists(target));
    const Ran ran = RunWith({"-o", target.string(), in.string()});
    EXPECT_EQ(ran.status, c.status) << ran.err;
    // A refused target is refused before the input is read.
    if (c.status != kExitAllRead) {
      EXPECT_EQ(ran.err.find("Total Word Count"), std::string::npos);
    }
    c.check(target);
    EXPECT_EQ(testing::EntriesIn(folder), entries);
    fs::remove_all(folder);
  }
  // A character device is refused, not replaced by a file.
  EXPECT_EQ(RunWith({"-o", "/dev/null", in.string()}).status, kExitSomeFailed);
  EXPECT_TRUE(fs::is_character_file("/dev/null"));
}

TEST(ExtractCommand, WhenNoInputCouldBeReadTheOldOutputStays) {
  TempDir dir;
  const auto out = dir.Write("out.txt", "old results");
  const Ran none = RunWith({"-o", out.string(), (dir.path() / "gone.txt").string()});
  EXPECT_EQ(none.status, kExitSomeFailed);
  EXPECT_NE(none.err.find("is left as it was"), std::string::npos) << none.err;
  EXPECT_EQ(ReadBytes(out), "old results");
  // Readable inputs without words still give their (empty) result.
  const auto empty = dir.Write("empty.txt", "");
  EXPECT_EQ(RunWith({"-o", out.string(), empty.string()}).status, kExitAllRead);
  EXPECT_EQ(ReadBytes(out), "");
}

// Inputs that name no file at all (an --ext with its dot, an empty list) are a
// mistake to say, not an empty result to write over the old one.
TEST(ExtractCommand, InputsThatNameNoFileAreSaidAndKeepTheOldOutput) {
  TempDir dir;
  dir.Write("a.txt", "alpha");
  const auto out = dir.Write("out.txt", "old results");
  const std::string kept = "; '" + out.string() + "' is left as it was\n";
  const Ran typo =
      RunWithInput({"-o", out.string(), "--recursive", dir.path().string(), "--ext", ".txt"}, "");
  EXPECT_EQ(typo.status, kExitSomeFailed);
  EXPECT_EQ(typo.err,
            "lintavel-extract: the inputs name no file (--ext takes the extension without its "
            "dot: txt, not .txt)" +
                kept);
  const Ran empty = RunWithInput({"-o", out.string(), "--files-from", "-"}, "");
  EXPECT_EQ(empty.status, kExitSomeFailed);
  EXPECT_EQ(empty.err, "lintavel-extract: the inputs name no file" + kept);
  EXPECT_EQ(ReadBytes(out), "old results");
  EXPECT_EQ(testing::EntriesIn(dir.path()), 2u);
}

// A closed standard error (its reader gone at once) ends the run by SIGPIPE at its
// next report, and the temporary file of -o goes with it; the old file stays.
TEST(ExtractBinary, AClosedStandardErrorLeavesNoTemporaryFile) {
  TempDir dir;
  std::string text;
  for (int i = 0; i < 300'000; ++i) text += "word" + std::to_string(i % 5000) + " ";
  const auto big = dir.Write("big.txt", text);
  fs::create_directory(dir.path() / "o");
  const auto out = TempDir::WriteFile(dir.path() / "o/out.txt", "old results");
  const std::string command = "bash -c 'set -o pipefail; " + std::string(LINTAVEL_EXTRACT_BINARY) +
                              " -o " + out.string() + " " + (dir.path() / "missing1").string() +
                              " " + big.string() + " " + (dir.path() / "missing2").string() +
                              " 2>&1 | true'";
  const int status = std::system(command.c_str());
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 128 + SIGPIPE);
  EXPECT_EQ(testing::EntriesIn(dir.path() / "o"), 1u);
  EXPECT_EQ(ReadBytes(out), "old results");
}

#if !LINTAVEL_SANITIZED  // a sanitizer's own reservations exceed any address-space limit
// The built program under limits on memory and threads, through prlimit(1).
TEST(ExtractBinary, RunsOutOfMemoryOrThreadsWithAMessageAndNothingDestroyed) {
  TempDir dir;
  std::string text;
  for (int i = 0; i < 1'000'000; ++i) text += "distinct" + std::to_string(i) + "\n";
  const auto many = dir.Write("many.txt", text);
  std::string repeated;
  for (int i = 0; i < 1'000'000; ++i) repeated += "word\n";
  const auto big = dir.Write("big.txt", repeated);  // more than two blocks
  const auto small = dir.Write("small.txt", "eleven byte");
  struct Case {
    std::string limits;
    std::string args;
    int status;
    std::string message;  // on standard error
  };
  const Case cases[] = {
      {"--as=120000000", many.string(), 1, "out of memory while counting the words"},
      // Counted and ordered, then short of memory for the folded list (110 to 160 MB
      // on the x86-64 CI machine).
      {"--as=135000000", "--threads 1 --fold-case " + many.string(), 1,
       "out of memory while folding the case of the counted words"},
      // Each thread asks for a 1 GB stack: none fits under 900 MB, one under 1.5 GB.
      {"--stack=1000000000 --as=900000000", "--threads 2 " + big.string(), 1,
       "cannot start a counting thread"},
      {"--stack=1000000000 --as=1500000000", "--threads 2 " + big.string(), 0,
       "Total Word Count: 1000000"},
      // Threads and buffers follow the work: 256 asked for an 11-byte file fit in 300 MB.
      {"--as=300000000", "--threads 256 " + small.string(), 0, "Total Word Count: 2"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.limits + " " + c.args);
    const auto out = dir.Write("out.txt", "old results");
    const std::string command = "prlimit " + c.limits + " " + LINTAVEL_EXTRACT_BINARY + " -o " +
                                out.string() + " " + c.args + " 2>" +
                                (dir.path() / "err.txt").string();
    const int status = std::system(command.c_str());
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), c.status);
    const std::string err = ReadBytes(dir.path() / "err.txt");
    EXPECT_NE(err.find(c.message), std::string::npos) << err;
    if (c.status != 0) {
      EXPECT_EQ(ReadBytes(out), "old results");
    }
    EXPECT_EQ(testing::EntriesIn(dir.path()), 5u);  // inputs, out, err: no temporary file
  }
}
#endif

// A writable file in a folder where the user may not create files is written in
// place: the temporary file that would replace it cannot be made there.
TEST(ExtractBinary, AWritableFileInAFolderThatIsNotWritableIsWrittenInPlace) {
  TempDir dir;
  fs::permissions(dir.path(), fs::perms::all);
  const auto in = dir.Write("in.txt", "fresh");
  fs::create_directory(dir.path() / "locked");
  const auto out = TempDir::WriteFile(dir.path() / "locked/out.txt", "a much longer old text");
  fs::permissions(out, fs::perms::all);
  fs::permissions(dir.path() / "locked", fs::perms::owner_read | fs::perms::owner_exec |
                                             fs::perms::others_read | fs::perms::others_exec);
  // The superuser may create files anywhere: run as nobody then.
  const std::string as_user =
      ::geteuid() == 0 ? "setpriv --reuid=65534 --regid=65534 --clear-groups " : "";
  const std::string command = as_user + LINTAVEL_EXTRACT_BINARY + " -o " + out.string() + " " +
                              in.string() + " 2>/dev/null";
  EXPECT_EQ(std::system(command.c_str()), 0);
  EXPECT_EQ(ReadBytes(out), "fresh\r\n");
  EXPECT_EQ(testing::EntriesIn(dir.path() / "locked"), 1u);
}

}  // namespace
}  // namespace lintavel
