#include "window/file_system.h"

#include <gtest/gtest.h>

#include "support/qt_printers.h"

#include <QDir>
#include <QFile>

#include "support/qt_paths.h"
#include "support/temp_dir.h"
#include "window/list_view.h"

namespace lintavel {
namespace {

using testing::Q;

TEST(FileSystemTests, TellFilesFoldersAndMissingPathsApart) {
  testing::TempDir dir;
  const QString file = Q(dir.Write("a.txt", "x"));
  const QString folder = Q(dir.path());
  const QString missing = folder + "/missing.txt";
  EXPECT_TRUE(PathExists(file));
  EXPECT_TRUE(PathExists(folder));
  EXPECT_FALSE(PathExists(missing));
  EXPECT_FALSE(PathExists(QString()));
  EXPECT_TRUE(FileExists(file));
  EXPECT_FALSE(FileExists(folder));
  EXPECT_FALSE(FileExists(missing));
  EXPECT_TRUE(FolderExists(folder));
  EXPECT_FALSE(FolderExists(file));
  EXPECT_FALSE(FolderExists(missing));
}

TEST(AttributeWord, MapsLinuxEntriesToAttributeBits) {
  testing::TempDir dir;
  const QString base = Q(dir.path());
  dir.Write("plain.txt", "x");
  dir.Write(".hidden", "x");
  QDir(base).mkdir("folder");
  QDir(base).mkdir(".hidden-folder");
  QFile::link(base + "/folder", base + "/link");
  EXPECT_EQ(AttributeWord(base + "/plain.txt"), attribute::kArchive);
  EXPECT_EQ(AttributeWord(base + "/.hidden"), attribute::kArchive | attribute::kHidden);
  EXPECT_EQ(AttributeWord(base + "/folder"), attribute::kDirectory);
  EXPECT_EQ(AttributeWord(base + "/folder/"), attribute::kDirectory);
  EXPECT_EQ(AttributeWord(base + "/.hidden-folder"), attribute::kDirectory | attribute::kHidden);
  EXPECT_EQ(AttributeWord(base + "/link"), attribute::kDirectory | attribute::kReparsePoint);
  EXPECT_EQ(AttributeWord(base + "/missing"), std::nullopt);
}

TEST(MatchesWildcard, FollowsTheWildcardRules) {
  struct Case {
    const char* name;
    const char* pattern;
    bool matches;
  };
  const Case cases[] = {
      {"a.txt", "*.txt", true},
      {"A.TXT", "*.txt", true},
      {"a.txt.bak", "*.txt", false},
      {"README", "*.*", true},
      {"a.b.c", "*.*", true},
      {".hidden", "*.*", true},
      {"a.doc", "*.txt", false},
      {"ab.txt", "?.txt", false},
      {"a.txt", "?.txt", true},
      {"notes", "*.txt", false},
      {"x", "*", true},
      {"caf\u00c9.TXT", "caf\u00e9.txt", true},
      {"abcabd", "*abd", true},
      {"", "*", true},
      {"a", "", false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(MatchesWildcard(QString::fromUtf8(c.name), QString::fromUtf8(c.pattern)), c.matches)
        << c.name << " ~ " << c.pattern;
  }
}

TEST(GetFilesInFolder, ListsMatchingFilesButNoFolders) {
  testing::TempDir dir;
  const QString base = Q(dir.path());
  dir.Write("a.txt", "");
  dir.Write("B.TXT", "");
  dir.Write("noextension", "");
  dir.Write(".hidden.txt", "");
  QDir(base).mkdir("sub.txt");
  QStringList all = GetFilesInFolder(base, "*.*");
  all.sort();
  EXPECT_EQ(all, (QStringList{".hidden.txt", "B.TXT", "a.txt", "noextension"}));
  QStringList text = GetFilesInFolder(base + "/", "*.txt");
  text.sort();
  EXPECT_EQ(text, (QStringList{".hidden.txt", "B.TXT", "a.txt"}));
  EXPECT_TRUE(GetFilesInFolder(base + "/missing", "*.*").isEmpty());
  QDir(base).mkdir("empty");
  EXPECT_TRUE(GetFilesInFolder(base + "/empty", "*.*").isEmpty());
}

TEST(FixDoubleBackslashes, FoldsPairsOfSeparatorsInOnePass) {
  const QChar s = PathSeparator();
  const auto path = [s](const char* text) { return QString::fromLatin1(text).replace('|', s); };
  EXPECT_EQ(FixDoubleBackslashes(path("a||data||x.txt")), path("a|data|x.txt"));
  EXPECT_EQ(FixDoubleBackslashes(path("a|||b")), path("a||b"));
  EXPECT_EQ(FixDoubleBackslashes(path("a||||b")), path("a||b"));
  EXPECT_EQ(FixDoubleBackslashes(path("a|b|c")), path("a|b|c"));
  EXPECT_EQ(FixDoubleBackslashes(QString()), QString());
  if (s == '/') {
    EXPECT_EQ(FixDoubleBackslashes("//srv//a.txt"), "/srv/a.txt");
  } else {
    EXPECT_EQ(FixDoubleBackslashes(path("|||server||share|a.txt")), path("||server|share|a.txt"));
    EXPECT_EQ(FixDoubleBackslashes(path("|x")), path("||x"));
  }
}

TEST(ListViewItemExists, ComparesWholeTextsWithCase) {
  ListView list;
  EXPECT_FALSE(ListViewItemExists(list, "/a.txt"));
  list.Append("/data/a.txt");
  list.Append("/data/b.txt");
  EXPECT_TRUE(ListViewItemExists(list, "/data/b.txt"));
  EXPECT_FALSE(ListViewItemExists(list, "/DATA/b.txt"));
  EXPECT_FALSE(ListViewItemExists(list, "/data/b.tx"));
}

}  // namespace
}  // namespace lintavel
