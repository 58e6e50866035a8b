#include "window/folder_scan.h"

#include <gtest/gtest.h>

#include "support/qt_printers.h"

#include <QFile>
#include <filesystem>
#include <string>
#include <vector>

#include "support/qt_paths.h"
#include "support/temp_dir.h"

namespace lintavel {
namespace {

namespace fs = std::filesystem;

using testing::Q;

// The window's scan gives the rows of the plain scan, as text, in the same order.
TEST(FolderScanWrappers, GiveThePlainScansRowsAsText) {
  testing::TempDir dir;
  for (const char* folder : {"caf\xc3\xa9", "caf\xc3\xa9/\xc3\xa9t\xc3\xa9", "b", "bad\x01"})
    fs::create_directory(dir.path() / folder);
  for (const char* file :
       {"top.txt", "caf\xc3\xa9/one.TXT", "caf\xc3\xa9/\xc3\xa9t\xc3\xa9/two.txt", "b/three.txt",
        "b/\xe4\xb8\xad.txt", "b/x.doc", "bad\x01/four.txt", "b/bad\xff.txt"})
    testing::TempDir::WriteFile(dir.path() / file, "");

  std::vector<std::string> native = {dir.path().string() + "/"};
  ScanContext plain;
  folders::ScanSubFolders(native, true, plain);
  QStringList expected;
  folders::ListFilesOfFolders(native, "*.txt", plain, [&](const std::string& row) {
    expected << QFile::decodeName(QByteArray::fromStdString(row));
  });

  QStringList folders = {Q(dir.path()) + "/"};
  ScanContext context;
  GetSubDirectories2016(folders, true, context);
  EXPECT_EQ(static_cast<std::size_t>(folders.size()), native.size());
  QStringList rows;
  ListFilesOfFolders(folders, "*.txt", context, [&](const QString& row) { rows << row; });
  EXPECT_EQ(rows, expected);
  EXPECT_EQ(rows.size(), 5);
  EXPECT_TRUE(rows.contains(Q(dir.path()) + QString::fromUtf8("/caf\u00e9/\u00e9t\u00e9/two.txt")));
}

TEST(HasBadCharacters, JudgesTextAsTheWindowHoldsIt) {
  EXPECT_FALSE(HasBadCharacters(u"caf\u00e9 na\u00efve"));
  EXPECT_TRUE(HasBadCharacters(u"5\u20ac"));
  EXPECT_TRUE(HasBadCharacters(u"\u4e2d\u6587"));
  EXPECT_TRUE(HasBadCharacters(QString(QChar(0xD800))));  // a lone surrogate: not in the code page
}

}  // namespace
}  // namespace lintavel
