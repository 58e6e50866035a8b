#include "folders/folder_scan.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "folders/file_system.h"
#include "support/temp_dir.h"

namespace lintavel::folders {
namespace {

namespace fs = std::filesystem;

struct Scan {
  std::vector<std::string> rows;
  std::vector<int> reports;
  std::vector<std::string> undecodable;
};

// The folder import's scan of `folder` for `pattern`, as the window runs it.
Scan ScanTree(const fs::path& folder, std::string_view pattern) {
  Scan scan;
  ScanContext context;
  context.report = [&](const ApplicationError& e) { scan.reports.push_back(e.line); };
  context.undecodable = [&](const std::string& path) { scan.undecodable.push_back(path); };
  std::vector<std::string> folders = {folder.string() + "/"};
  ScanSubFolders(folders, true, context);
  ListFilesOfFolders(folders, pattern, context,
                     [&](const std::string& row) { scan.rows.push_back(row); });
  return scan;
}

// The rows below `base`, without it.
std::vector<std::string> Relative(const Scan& scan, const fs::path& base) {
  std::vector<std::string> relative;
  for (const std::string& row : scan.rows) relative.push_back(row.substr(base.string().size() + 1));
  return relative;
}

std::vector<std::string> Sorted(std::vector<std::string> rows) {
  std::sort(rows.begin(), rows.end());
  return rows;
}

bool AnyContains(const std::vector<std::string>& rows, std::string_view part) {
  return std::any_of(rows.begin(), rows.end(),
                     [part](const std::string& row) { return row.find(part) != row.npos; });
}

void Touch(const fs::path& file) { testing::TempDir::WriteFile(file, ""); }

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
  const std::vector<std::string> rows = Relative(scan, root());
  EXPECT_TRUE(scan.reports.empty());
  // Level 0 first, then level 1 (a, b, .dot in any order the file system gives),
  // then level 2, then level 3.
  const auto level = [](const std::string& row) { return std::count(row.begin(), row.end(), '/'); };
  for (std::size_t i = 1; i < rows.size(); ++i) EXPECT_LE(level(rows[i - 1]), level(rows[i]));
  // "~tmp.txt" is left out; the hidden ".hidden.txt" (hidden + archive) too.
  EXPECT_EQ(Sorted(rows),
            (std::vector<std::string>{".dot/six.txt", "a/deep/deeper/three.txt", "a/deep/two.txt",
                                      "a/one.txt", "b/four.TXT", "b/inner/five.txt", "top.txt"}));
}

TEST_F(FolderTree, AStarListsEveryFileAndDocOnlyDocs) {
  const std::vector<std::string> all = Relative(ScanTree(root(), "*.*"), root());
  EXPECT_TRUE(AnyContains(all, "noext"));
  EXPECT_TRUE(AnyContains(all, "b.doc"));
  EXPECT_FALSE(AnyContains(all, "~tmp.txt"));
  EXPECT_EQ(Relative(ScanTree(root(), "*.doc"), root()), std::vector<std::string>{"b.doc"});
}

TEST_F(FolderTree, AReadOnlyHiddenFileIsListed) {
  // Hidden and read-only is not exactly hidden + archive.
  if (::geteuid() == 0) GTEST_SKIP() << "the superuser can write every file";
  fs::permissions(root() / ".hidden.txt", fs::perms::owner_read);
  EXPECT_TRUE(AnyContains(Relative(ScanTree(root(), "*.txt"), root()), ".hidden.txt"));
}

TEST_F(FolderTree, LinksAreFollowedButNoFolderIsSearchedTwice) {
  fs::create_directory_symlink(root(), root() / "a/deep/loop");   // back to the top
  fs::create_directory_symlink(root() / "b", root() / "a/to-b");  // to a sibling
  fs::create_directory(dir_.path() / "outside");
  Touch(dir_.path() / "outside/seven.txt");
  fs::create_directory_symlink(dir_.path() / "outside", root() / "b/out");
  const std::vector<std::string> rows = Relative(ScanTree(root(), "*.txt"), root());
  EXPECT_EQ(std::count(rows.begin(), rows.end(), "top.txt"), 1);
  EXPECT_EQ(std::count_if(rows.begin(), rows.end(),
                          [](const std::string& row) { return row.ends_with("four.TXT"); }),
            1);
  EXPECT_TRUE(AnyContains(rows, "b/out/seven.txt"));  // a link to a folder not met is searched
  EXPECT_FALSE(AnyContains(rows, "loop"));
}

TEST_F(FolderTree, SkipsBadNamesAndOverlongPaths) {
  fs::create_directory(root() / "bad\x01name");
  Touch(root() / "bad\x01name/hidden.txt");
  fs::create_directory(root() / "\xe4\xb8\xad");  // a CJK character, outside Windows-1252
  Touch(root() / "\xe4\xb8\xad/cjk.txt");
  fs::create_directory(root() / "caf\xc3\xa9");  // inside it
  Touch(root() / "caf\xc3\xa9/latin.txt");
  // Path lengths count UTF-16 units: 70 two-byte letters are 70 units, not 140.
  fs::path deep = root() / "long";
  fs::create_directory(deep);
  std::string letters;
  for (int i = 0; i < 40; ++i) letters += "\xc3\xa9";
  while (deep.string().size() < 600) {
    deep /= letters;
    fs::create_directory(deep);
    Touch(deep / "file.txt");
  }
  const std::vector<std::string> rows = Relative(ScanTree(root(), "*.txt"), root());
  EXPECT_FALSE(AnyContains(rows, "hidden.txt"));
  EXPECT_FALSE(AnyContains(rows, "cjk.txt"));
  EXPECT_TRUE(AnyContains(rows, "caf\xc3\xa9/latin.txt"));
  std::size_t longest = 0;
  for (const std::string& row : rows) {
    if (row.starts_with("long/")) longest = std::max(longest, row.size());
  }
  // The folders up to 260 units are searched: about 6 levels of 40 letters, in
  // 480 bytes; a count by bytes would stop at 3.
  EXPECT_GT(longest, 400u);
  EXPECT_LT(longest + root().string().size(), 2 * (260 + 10 + 40));
}

TEST_F(FolderTree, NamesThatAreNotValidUtf8AreSkippedAndSaid) {
  Touch(root() / "\xff.txt");
  Touch(root() / "\xef\xbf\xbd.txt");  // what a lossy decoding of the name above gives
  Touch(root() / "\xff.doc");
  fs::create_directory(root() / "dir\xfe");
  Touch(root() / "dir\xfe/inner.txt");
  const Scan scan = ScanTree(root(), "*.txt");
  EXPECT_TRUE(scan.reports.empty());
  EXPECT_EQ(std::count(scan.rows.begin(), scan.rows.end(), root().string() + "/\xef\xbf\xbd.txt"),
            1);
  EXPECT_FALSE(AnyContains(scan.rows, "inner.txt"));
  for (const std::string& row : scan.rows) EXPECT_TRUE(FileExists(row)) << row;
  // Folders are searched before the files are listed; "\xff.doc" does not match.
  EXPECT_EQ(scan.undecodable, (std::vector<std::string>{root().string() + "/dir\xfe",
                                                        root().string() + "/\xff.txt"}));
}

TEST_F(FolderTree, AFolderThatCannotBeReadIsDroppedSilently) {
  if (::geteuid() == 0) GTEST_SKIP() << "permissions do not bind the superuser";
  fs::permissions(root() / "b", fs::perms::none);
  const Scan scan = ScanTree(root(), "*.txt");
  fs::permissions(root() / "b", fs::perms::owner_all);
  EXPECT_TRUE(scan.reports.empty());
  EXPECT_FALSE(AnyContains(scan.rows, "four"));
}

TEST(FolderScan, TheRootGetsASingleSeparator) {
  ScanContext context;
  std::vector<std::string> rows;
  ListFilesOfFolders({"//"}, "*.*", context, [&](const std::string& row) { rows.push_back(row); });
  for (const std::string& row : rows) EXPECT_FALSE(row.starts_with("//")) << row;
}

}  // namespace
}  // namespace lintavel::folders
