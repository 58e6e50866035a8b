#include "output/safe_file_writer.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
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
  for (const int signal_number : {SIGINT, SIGTERM}) {
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
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

}  // namespace
}  // namespace lintavel
