#include "output/safe_file_writer.h"

#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>

#include "support/file_size_limit.h"
#include "support/temp_dir.h"

namespace lintavel {
namespace {

namespace fs = std::filesystem;
using testing::ReadBytes;
using testing::TempDir;

TEST(SafeFileWriter, AFullDiskFailsTheWriteAndKeepsTheOldFile) {
  TempDir dir;
  const fs::path file = dir.Write("results.txt", "old results");
  {
    const testing::FileSizeLimit full(64 * 1024);
    SafeFileWriter writer(file.string());
    EXPECT_THROW(
        {
          for (int i = 0; i < 100'000; ++i) writer.Write("filler words for a full disk\r\n");
          writer.Commit();
        },
        FileWriteError);
  }
  EXPECT_EQ(ReadBytes(file), "old results");
  EXPECT_EQ(testing::EntriesIn(dir.path()), 1u);
}

// A signal that ends the program in the middle of a write leaves no temporary file.
TEST(SafeFileWriter, ATerminatingSignalLeavesNoTemporaryFile) {
  TempDir dir;
  const fs::path file = dir.Write("results.txt", "old results");
  for (const int signal_number : {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGPIPE, SIGUSR1}) {
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      const rlimit no_core{0, 0};  // SIGQUIT would leave a core file
      ::setrlimit(RLIMIT_CORE, &no_core);
      RemoveTemporaryFilesOnSignals();
      SafeFileWriter writer(file.string());
      writer.Write(std::string(1 << 20, 'x'));  // past the buffer: on disk already
      ::raise(signal_number);
      ::_exit(0);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal_number) << status;
    EXPECT_EQ(ReadBytes(file), "old results");
    EXPECT_EQ(testing::EntriesIn(dir.path()), 1u);
  }
}

// The writer's every path (a new file, a replaced one, one written through a link,
// one written in place) on a disk too small for the new text, and in place also
// where it fits. The disk is a 1 MiB tmpfs mounted in a mount namespace of a child
// of its own, which needs the superuser (as CI runs); the child says each fault on
// a pipe, and exits with 77 when it cannot mount.
TEST(SafeFileWriter, EveryPathOnAFullDiskKeepsTheOldFileAndLeavesNothing) {
  if (::geteuid() != 0) GTEST_SKIP() << "mounting a small tmpfs needs the superuser (CI has it)";
  TempDir dir;
  fs::permissions(dir.path(), fs::perms::owner_all | fs::perms::others_exec);  // nobody passes
  const fs::path disk = dir.path() / "disk";
  fs::create_directory(disk);
  int report[2];
  ASSERT_EQ(::pipe(report), 0);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    ::close(report[0]);
    std::string faults;
    const auto say = [&](const std::string& text) {
      if (::write(report[1], text.data(), text.size()) < 0) ::_exit(2);
    };
    if (::unshare(CLONE_NEWNS) != 0 ||
        ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
        ::mount("tmpfs", disk.c_str(), "tmpfs", 0, "size=1m,mode=0755") != 0) {
      say(std::string("cannot mount a tmpfs here: ") + std::strerror(errno));
      ::_exit(77);
    }
    try {
      const std::string old_text(1800, 'o');
      const std::string too_big(2 << 20, 'x');
      // Writes `text` to `path`: true when the writer refused it.
      const auto refused = [](const fs::path& path, const std::string& text) {
        try {
          SafeFileWriter writer(path.string());
          writer.Write(text);
          writer.Commit();
          return false;
        } catch (const FileWriteError&) {
          return true;
        }
      };
      const auto expect = [&](bool holds, const std::string& what) {
        if (!holds) faults += what + "\n";
      };
      fs::create_directory(disk / "fresh");
      expect(refused(disk / "fresh/out.txt", too_big), "fresh: written");
      expect(testing::EntriesIn(disk / "fresh") == 0, "fresh: a file is left");

      fs::create_directory(disk / "replace");
      TempDir::WriteFile(disk / "replace/out.txt", old_text);
      expect(refused(disk / "replace/out.txt", too_big), "replace: written");
      expect(ReadBytes(disk / "replace/out.txt") == old_text, "replace: the old file changed");
      expect(testing::EntriesIn(disk / "replace") == 1, "replace: a temporary file is left");

      fs::create_directory(disk / "link");
      TempDir::WriteFile(disk / "link/target.txt", old_text);
      fs::create_symlink("target.txt", disk / "link/out.txt");
      expect(refused(disk / "link/out.txt", too_big), "link: written");
      expect(ReadBytes(disk / "link/target.txt") == old_text, "link: the old file changed");
      expect(fs::is_symlink(disk / "link/out.txt"), "link: the link is gone");
      expect(testing::EntriesIn(disk / "link") == 2, "link: a temporary file is left");

      // In place: a file that nobody may write in a folder that only root may.
      fs::create_directory(disk / "locked");
      const fs::path locked = disk / "locked/out.txt";
      TempDir::WriteFile(locked, old_text);
      if (::chown(locked.c_str(), 65534, 65534) != 0 || ::setresgid(65534, 65534, 65534) != 0 ||
          ::setresuid(65534, 65534, 65534) != 0) {
        say("cannot become nobody");
        ::_exit(1);
      }
      // The new text waits in an unnamed temporary file, or in memory where there is none.
      for (const char* temp : {"/tmp", "/no/such/folder"}) {
        ::setenv("TMPDIR", temp, 1);
        const std::string where = std::string("in place, TMPDIR=") + temp + ": ";
        TempDir::WriteFile(locked, old_text);
        expect(refused(locked, too_big), where + "written");
        expect(ReadBytes(locked) == old_text, where + "the old file changed");
        for (const std::string& fits : {std::string(3000, 'n'), std::string("short\r\n")}) {
          expect(!refused(locked, fits), where + "refused a text that fits");
          expect(ReadBytes(locked) == fits, where + "a text that fits is not written exactly");
        }
        expect(testing::EntriesIn(disk / "locked") == 1, where + "a temporary file is left");
      }
    } catch (const std::exception& failure) {
      faults += std::string("thrown: ") + failure.what() + "\n";
    }
    say(faults);
    ::_exit(0);
  }
  ::close(report[1]);
  std::string said;
  char buffer[512];
  for (ssize_t got; (got = ::read(report[0], buffer, sizeof buffer)) > 0;) {
    said.append(buffer, static_cast<std::size_t>(got));
  }
  ::close(report[0]);
  int status = 0;
  ::waitpid(child, &status, 0);
  ASSERT_TRUE(WIFEXITED(status)) << status;
  if (WEXITSTATUS(status) == 77) GTEST_SKIP() << said;
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_EQ(said, "");
}

// A rewritten file keeps its mode and sticky bit, but not set-user-ID or
// set-group-ID: the new text is not the program they were given to.
TEST(SafeFileWriter, TheModeIsKeptButSetIdBits) {
  TempDir dir;
  const fs::path file = dir.Write("tool", "old");
  ASSERT_EQ(::chmod(file.c_str(), 06755 | S_ISVTX), 0);
  SafeFileWriter writer(file.string());
  writer.Write("new");
  writer.Commit();
  struct stat info {};
  ASSERT_EQ(::stat(file.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0755u | S_ISVTX);
}

}  // namespace
}  // namespace lintavel
