#include "window/folder_scan.h"

#include <gtest/gtest.h>

#include "support/qt_printers.h"

#include <QDir>
#include <QFile>
#include <filesystem>
#include <vector>

#include "support/qt_paths.h"
#include "support/temp_dir.h"
#include "window/file_system.h"

namespace lintavel {
namespace {

namespace fs = std::filesystem;

using testing::Q;

struct Scan {
  QStringList rows;
  std::vector<int> reports;
};

// The folder import's scan of `folder` for `pattern`, as the window runs it.
Scan ScanTree(const fs::path& folder, const QString& pattern) {
  Scan scan;
  ScanContext context;
  context.report = [&](const ApplicationError& e) { scan.reports.push_back(e.line); };
  QStringList folders = {Q(folder) + "/"};
  GetSubDirectories2016(folders, true, context);
  ListFilesOfFolders(folders, pattern, context, [&](const QString& row) { scan.rows << row; });
  return scan;
}

QStringList Relative(const Scan& scan, const fs::path& base) {
  QStringList relative;
  for (const QString& row : scan.rows) relative << row.mid(Q(base).size() + 1);
  return relative;
}

void Touch(const fs::path& file) { testing::TempDir::WriteFile(file, ""); }

TEST(HasBadCharacters, FindsControlsC1AndCharactersOutsideTheCodePage) {
  EXPECT_FALSE(HasBadCharacters(u"plain name"));
  EXPECT_FALSE(HasBadCharacters(u"caf\u00e9 na\u00efve"));
  EXPECT_TRUE(HasBadCharacters(u"5\u20ac"));  // the euro sign is code 128
  EXPECT_FALSE(HasBadCharacters(u""));
  EXPECT_TRUE(HasBadCharacters(u"tab\there"));
  EXPECT_TRUE(HasBadCharacters(u"del\u007f"));
  EXPECT_TRUE(HasBadCharacters(u"c1\u0081"));
  EXPECT_TRUE(HasBadCharacters(u"what?"));
  EXPECT_TRUE(HasBadCharacters(u"\u4e2d\u6587"));  // not in the code page: "?"
}

class FolderTree : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* folder : {"a", "b", "a/deep", "a/deep/deeper", "b/inner", ".dot"}) {
      fs::create_directories(root() / folder);
    }
    for (const char* file :
         {"top.txt", "b.doc", "~tmp.txt", ".hidden.txt", "a/one.txt", "a/deep/two.txt",
          "a/deep/deeper/three.txt", "b/four.TXT", "b/inner/five.txt", ".dot/six.txt", "noext"}) {
      Touch(root() / file);
    }
  }
  fs::path root() const { return dir_.path() / "tree"; }

  testing::TempDir dir_;
};

TEST_F(FolderTree, ListsMatchingFilesLevelByLevel) {
  const Scan scan = ScanTree(root(), "*.txt");
  const QStringList rows = Relative(scan, root());
  EXPECT_TRUE(scan.reports.empty());
  // Level 0 first, then level 1 (a, b, .dot in any order the file system gives),
  // then level 2, then level 3.
  const auto level = [](const QString& row) { return row.count('/'); };
  for (qsizetype i = 1; i < rows.size(); ++i)
    EXPECT_LE(level(rows[i - 1]), level(rows[i])) << rows.join(' ').toStdString();
  QStringList sorted = rows;
  sorted.sort();
  // "~tmp.txt" is left out; the hidden ".hidden.txt" (hidden + archive) too.
  EXPECT_EQ(sorted, (QStringList{".dot/six.txt", "a/deep/deeper/three.txt", "a/deep/two.txt",
                                 "a/one.txt", "b/four.TXT", "b/inner/five.txt", "top.txt"}));
}

TEST_F(FolderTree, AStarListsEveryFileAndDocOnlyDocs) {
  QStringList all = Relative(ScanTree(root(), "*.*"), root());
  EXPECT_TRUE(all.contains("noext"));
  EXPECT_TRUE(all.contains("b.doc"));
  EXPECT_FALSE(all.contains("~tmp.txt"));
  EXPECT_EQ(Relative(ScanTree(root(), "*.doc"), root()), QStringList{"b.doc"});
}

TEST_F(FolderTree, AReadOnlyHiddenFileIsListed) {
  // Hidden and read-only is not exactly hidden + archive.
  if (::geteuid() == 0) GTEST_SKIP() << "the superuser can write every file";
  fs::permissions(root() / ".hidden.txt", fs::perms::owner_read);
  EXPECT_TRUE(Relative(ScanTree(root(), "*.txt"), root()).contains(".hidden.txt"));
}

TEST_F(FolderTree, LinksAreFollowedButNoFolderIsSearchedTwice) {
  fs::create_directory_symlink(root(), root() / "a/deep/loop");   // back to the top
  fs::create_directory_symlink(root() / "b", root() / "a/to-b");  // to a sibling
  fs::create_directory(dir_.path() / "outside");
  Touch(dir_.path() / "outside/seven.txt");
  fs::create_directory_symlink(dir_.path() / "outside", root() / "b/out");
  const QStringList rows = Relative(ScanTree(root(), "*.txt"), root());
  EXPECT_EQ(rows.count("top.txt"), 1);
  EXPECT_EQ(rows.filter("four.TXT").size(), 1);
  EXPECT_TRUE(rows.contains("b/out/seven.txt"));  // a link to a folder not met is searched
  EXPECT_FALSE(rows.join(' ').contains("loop"));
}

TEST_F(FolderTree, SkipsBadNamesAndOverlongPaths) {
  fs::create_directory(root() / "bad\x01name");
  Touch(root() / "bad\x01name/hidden.txt");
  fs::create_directory(root() / "\xe4\xb8\xad");  // a CJK character, outside Windows-1252
  Touch(root() / "\xe4\xb8\xad/cjk.txt");
  fs::path deep = root() / "long";
  fs::create_directory(deep);
  while (Q(deep).size() < 300) {
    deep /= std::string(40, 'x');
    fs::create_directory(deep);
    Touch(deep / "file.txt");
  }
  const QStringList rows = Relative(ScanTree(root(), "*.txt"), root());
  EXPECT_FALSE(rows.join(' ').contains("hidden.txt"));
  EXPECT_FALSE(rows.join(' ').contains("cjk.txt"));
  for (const QString& row : rows) EXPECT_LT(row.size() + Q(root()).size(), 300 + 10);
  EXPECT_GT(rows.filter("long/").size(), 0);  // the shallower levels are listed
}

TEST_F(FolderTree, NamesThatAreNotValidUtf8AreSkippedSilently) {
  Touch(root() / "\xff.txt");
  Touch(root() / "\xef\xbf\xbd.txt");  // what a lossy decoding of the name above gives
  fs::create_directory(root() / "dir\xfe");
  Touch(root() / "dir\xfe/inner.txt");
  const Scan scan = ScanTree(root(), "*.txt");
  EXPECT_TRUE(scan.reports.empty());
  EXPECT_EQ(scan.rows.count(Q(root()) + "/\uFFFD.txt"), 1);
  EXPECT_FALSE(scan.rows.join(' ').contains("inner.txt"));
  for (const QString& row : scan.rows) EXPECT_TRUE(FileExists(row)) << row.toStdString();
}

TEST_F(FolderTree, AFolderThatCannotBeReadIsDroppedSilently) {
  if (::geteuid() == 0) GTEST_SKIP() << "permissions do not bind the superuser";
  fs::permissions(root() / "b", fs::perms::none);
  const Scan scan = ScanTree(root(), "*.txt");
  fs::permissions(root() / "b", fs::perms::owner_all);
  EXPECT_TRUE(scan.reports.empty());
  EXPECT_FALSE(scan.rows.join(' ').contains("four"));
}

TEST(FolderScan, TheRootGetsASingleSeparator) {
  ScanContext context;
  QStringList folders = {"//"};
  QStringList rows;
  ListFilesOfFolders(folders, "*.*", context, [&](const QString& row) { rows << row; });
  for (const QString& row : rows) EXPECT_FALSE(row.startsWith("//")) << row.toStdString();
}

}  // namespace
}  // namespace lintavel
