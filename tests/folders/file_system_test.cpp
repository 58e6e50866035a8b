#include "folders/file_system.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "support/temp_dir.h"

namespace lintavel::folders {
namespace {

namespace fs = std::filesystem;

std::vector<std::string> Sorted(std::vector<std::string> names) {
  std::sort(names.begin(), names.end());
  return names;
}

TEST(FileSystemTests, TellFilesFoldersAndMissingPathsApart) {
  testing::TempDir dir;
  const std::string file = dir.Write("a.txt", "x");
  const std::string folder = dir.path();
  const std::string missing = folder + "/missing.txt";
  EXPECT_TRUE(PathExists(file));
  EXPECT_TRUE(PathExists(folder));
  EXPECT_FALSE(PathExists(missing));
  EXPECT_FALSE(PathExists(""));
  EXPECT_TRUE(FileExists(file));
  EXPECT_FALSE(FileExists(folder));
  EXPECT_FALSE(FileExists(missing));
  EXPECT_FALSE(FileExists(""));
  EXPECT_TRUE(FolderExists(folder));
  EXPECT_FALSE(FolderExists(file));
  EXPECT_FALSE(FolderExists(missing));
}

TEST(AttributeWord, MapsLinuxEntriesToAttributeBits) {
  testing::TempDir dir;
  const std::string base = dir.path();
  dir.Write("plain.txt", "x");
  dir.Write(".hidden", "x");
  fs::create_directory(base + "/folder");
  fs::create_directory(base + "/.hidden-folder");
  fs::create_directory_symlink(base + "/folder", base + "/link");
  EXPECT_EQ(AttributeWord(base + "/plain.txt"), attribute::kArchive);
  EXPECT_EQ(AttributeWord(base + "/.hidden"), attribute::kArchive | attribute::kHidden);
  EXPECT_EQ(AttributeWord(base + "/folder"), attribute::kDirectory);
  EXPECT_EQ(AttributeWord(base + "/folder/"), attribute::kDirectory);
  EXPECT_EQ(AttributeWord(base + "/.hidden-folder"), attribute::kDirectory | attribute::kHidden);
  EXPECT_EQ(AttributeWord(base + "/.hidden-folder//"), attribute::kDirectory | attribute::kHidden);
  EXPECT_EQ(AttributeWord(base + "/folder/.."), attribute::kDirectory);
  EXPECT_EQ(AttributeWord(base + "/link"), attribute::kDirectory | attribute::kReparsePoint);
  EXPECT_EQ(AttributeWord(base + "/missing"), std::nullopt);
  EXPECT_EQ(AttributeWord(""), std::nullopt);
}

TEST(GetFilesInFolder, ListsMatchingFilesButNoFolders) {
  testing::TempDir dir;
  const std::string base = dir.path();
  dir.Write("a.txt", "");
  dir.Write("B.TXT", "");
  dir.Write("noextension", "");
  dir.Write(".hidden.txt", "");
  dir.Write("caf\xc3\x89.TXT", "");
  fs::create_directory(base + "/sub.txt");
  EXPECT_EQ(Sorted(GetFilesInFolder(base, "*.*")),
            (std::vector<std::string>{".hidden.txt", "B.TXT", "a.txt", "caf\xc3\x89.TXT",
                                      "noextension"}));
  EXPECT_EQ(Sorted(GetFilesInFolder(base + "/", "*.txt")),
            (std::vector<std::string>{".hidden.txt", "B.TXT", "a.txt", "caf\xc3\x89.TXT"}));
  EXPECT_EQ(GetFilesInFolder(base, "*\xc3\xa9.txt"), std::vector<std::string>{"caf\xc3\x89.TXT"});
  EXPECT_TRUE(GetFilesInFolder(base + "/missing", "*.*").empty());
  fs::create_directory(base + "/empty");
  EXPECT_TRUE(GetFilesInFolder(base + "/empty", "*.*").empty());
}

TEST(ListFilesInFolder, PassesOverNamesThatCannotBeCarriedAndSaysWhichMatched) {
  testing::TempDir dir;
  const std::string base = dir.path();
  dir.Write("good.txt", "");
  dir.Write("bad\xff.txt", "");
  dir.Write(
      "\xef\xbb\xbf"
      "bom.txt",
      "");
  dir.Write("bad\xff.doc", "");
  std::vector<std::string> undecodable;
  const std::vector<ListedFile> files = ListFilesInFolder(base, "*.txt", &undecodable);
  ASSERT_EQ(files.size(), 1u);
  EXPECT_EQ(files[0].name, "good.txt");
  EXPECT_TRUE(files[0].regular);
  EXPECT_EQ(Sorted(undecodable),
            (std::vector<std::string>{base + "/bad\xff.txt", base + "/\xef\xbb\xbf"
                                                                    "bom.txt"}));
}

TEST(FoldDoubleSeparators, FoldsPairsOfSeparatorsInOnePass) {
  const auto path = [](std::string text) {
    std::replace(text.begin(), text.end(), '|', kSeparator);
    return text;
  };
  EXPECT_EQ(FoldDoubleSeparators(path("a||data||x.txt")), path("a|data|x.txt"));
  EXPECT_EQ(FoldDoubleSeparators(path("a|||b")), path("a||b"));
  EXPECT_EQ(FoldDoubleSeparators(path("a||||b")), path("a||b"));
  EXPECT_EQ(FoldDoubleSeparators(path("a|b|c")), path("a|b|c"));
  EXPECT_EQ(FoldDoubleSeparators(path("caf\xc3\xa9||x")), path("caf\xc3\xa9|x"));
  EXPECT_EQ(FoldDoubleSeparators(""), "");
  if (kSeparator == '/') {
    EXPECT_EQ(FoldDoubleSeparators("//srv//a.txt"), "/srv/a.txt");
  } else {
    EXPECT_EQ(FoldDoubleSeparators(path("|||server||share|a.txt")), path("||server|share|a.txt"));
    EXPECT_EQ(FoldDoubleSeparators(path("|x")), path("||x"));
  }
}

}  // namespace
}  // namespace lintavel::folders
