#include "window/file_system.h"

#include <gtest/gtest.h>

#include "support/qt_printers.h"

#include <QFile>

#include "folders/file_names.h"
#include "support/qt_paths.h"
#include "support/temp_dir.h"
#include "window/list_view.h"

namespace lintavel {
namespace {

using testing::Q;

// The folder rules once compared letters with Qt's case folding; they must still.
TEST(FoldCase, AgreesWithQtForEveryCodeUnit) {
  int differences = 0;
  for (char32_t unit = 0; unit <= 0xFFFF; ++unit) {
    const auto u = static_cast<char16_t>(unit);
    if (folders::FoldCase(u) != QChar(u).toCaseFolded().unicode()) {
      ADD_FAILURE() << "U+" << std::hex << static_cast<unsigned>(unit);
      if (++differences > 10) break;
    }
  }
}

// And decoded file names as QFile does: the same text, and carried only when it
// gives the same bytes back.
TEST(DecodeName, AgreesWithQtFileNames) {
  const char* const names[] = {"plain",
                               "caf\xc3\xa9",
                               "\xf0\x90\x90\x80",
                               "\xef\xbb\xbf"
                               "a",
                               "a\xef\xbb\xbf",
                               "\xef\xbf\xbe",
                               "\xff.txt",
                               "\xc0\x80",
                               "\xed\xa0\x80",
                               "\xf4\x90\x80\x80",
                               "\xe4\xb8x",
                               "\xe4\xb8\xe4\xb8\xad",
                               "\xf8\x88\x80\x80\x80",
                               "\x80\x80"};
  for (const char* name : names) {
    const QString qt = QFile::decodeName(name);
    EXPECT_EQ(folders::DecodeName(name), Utf16Units(qt)) << name;
    EXPECT_EQ(folders::IsCarriableName(name), QFile::encodeName(qt) == name) << name;
  }
}

TEST(FileSystemWrappers, CarryNamesOutsideAsciiAsText) {
  testing::TempDir dir;
  const QString base = Q(dir.path());
  dir.Write("caf\xc3\xa9.TXT", "x");
  dir.Write("\xe4\xb8\xad.txt", "x");
  dir.Write("other.doc", "x");
  QStringList names = GetFilesInFolder(base, QString::fromUtf8("*.txt"));
  names.sort();
  EXPECT_EQ(names,
            (QStringList{QString::fromUtf8("caf\u00e9.TXT"), QString::fromUtf8("\u4e2d.txt")}));
  EXPECT_EQ(GetFilesInFolder(base + "/", QString::fromUtf8("CAF\u00c9.*")),
            QStringList{QString::fromUtf8("caf\u00e9.TXT")});
  const QString file = base + QString::fromUtf8("/\u4e2d.txt");
  EXPECT_TRUE(FileExists(file));
  EXPECT_TRUE(PathExists(file));
  EXPECT_FALSE(FolderExists(file));
  EXPECT_EQ(AttributeWord(file), attribute::kArchive);
  EXPECT_TRUE(FolderExists(base));
  EXPECT_EQ(FixDoubleBackslashes(QString::fromUtf8("/caf\u00e9//\u4e2d.txt")),
            QString::fromUtf8("/caf\u00e9/\u4e2d.txt"));
  EXPECT_TRUE(MatchesWildcard(u"\u00c9T\u00c9.txt", u"\u00e9t\u00e9.*"));
  EXPECT_FALSE(MatchesWildcard(u"\u00c9T\u00c9.txt", u"\u00e9t\u00e9.doc"));
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
