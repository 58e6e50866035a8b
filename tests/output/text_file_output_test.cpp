#include "output/text_file_output.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include "support/qt_printers.h"

#include <filesystem>
#include <stdexcept>

#include "support/qt_paths.h"
#include "support/temp_dir.h"

namespace lintavel {
namespace {

namespace fs = std::filesystem;
using testing::ReadBytes;
using testing::TempDir;

using testing::Q;

TEST(TextFileWriter, WritesWindows1252LinesEndedByCrLf) {
  TempDir dir;
  const fs::path file = dir.path() / "words.txt";
  TextFileWriter writer(Q(file));
  for (const QString& line :
       {QString("apple"), QString("caf\u00e9"), QString("\u20ac\u4e2d"), QString()}) {
    writer.WriteLine(line);
  }
  writer.Commit();
  EXPECT_EQ(ReadBytes(file), std::string("apple\r\ncaf\xe9\r\n\x80?\r\n\r\n"));
  EXPECT_EQ(testing::EntriesIn(dir.path()), 1u);
}

TEST(TextFileWriter, NoLinesGiveAnEmptyFile) {
  TempDir dir;
  const fs::path file = dir.Write("old.txt", "old contents");
  TextFileWriter(Q(file)).Commit();
  EXPECT_EQ(ReadBytes(file), "");
}

TEST(TextFileWriter, TheOldFileStaysUntilCommitAndKeepsItsMode) {
  TempDir dir;
  const fs::path file = dir.Write("keep.txt", "old contents");
  fs::permissions(file, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  {
    TextFileWriter abandoned(Q(file));
    abandoned.WriteLine(QStringLiteral("new"));
  }
  EXPECT_EQ(ReadBytes(file), "old contents");
  EXPECT_EQ(testing::EntriesIn(dir.path()), 1u);  // no temporary file left behind
  TextFileWriter writer(Q(file));
  writer.WriteLine(QStringLiteral("new"));
  writer.Commit();
  EXPECT_EQ(ReadBytes(file), "new\r\n");
  EXPECT_EQ(fs::status(file).permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
}

TEST(TextFileWriter, ALinkIsFollowedToTheFileItNames) {
  TempDir dir;
  const fs::path target = dir.Write("target.txt", "old");
  fs::create_symlink(target, dir.path() / "link.txt");
  TextFileWriter writer(Q(dir.path() / "link.txt"));
  writer.WriteLine(QStringLiteral("through"));
  writer.Commit();
  EXPECT_TRUE(fs::is_symlink(dir.path() / "link.txt"));
  EXPECT_EQ(ReadBytes(target), "through\r\n");
}

TEST(TextFileWriter, FailsAtCreationForAFolderOrAMissingFolder) {
  TempDir dir;
  EXPECT_THROW(TextFileWriter{Q(dir.path())}, std::runtime_error);
  EXPECT_THROW(TextFileWriter{Q(dir.path() / "no/such/words.txt")}, std::runtime_error);
}

TEST(TextFileWriter, AReadOnlyFileIsRefusedAndKept) {
  TempDir dir;
  const fs::path file = dir.Write("locked.txt", "keep me");
  fs::permissions(file, fs::perms::owner_read | fs::perms::group_read);
  EXPECT_THROW(TextFileWriter{Q(file)}, std::runtime_error);
  EXPECT_EQ(ReadBytes(file), "keep me");
  EXPECT_EQ(testing::EntriesIn(dir.path()), 1u);
}

TEST(OverwriteQuestion, NamesTheFile) {
  EXPECT_EQ(OverwriteQuestion("/home/me/words.txt"),
            "Are you sure you wish to overwrite /home/me/words.txt ?");
}

}  // namespace
}  // namespace lintavel
