#include "cli/input_list.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "cli/extract_command.h"
#include "support/temp_dir.h"

namespace lintavel {
namespace {

namespace fs = std::filesystem;
using testing::TempDir;

TEST(InputList, ARecursiveScanSkipsNamesThatAreNotValidUtf8AndSaysSoOnce) {
  TempDir dir;
  fs::create_directory(dir.path() / "sub\xfe");
  TempDir::WriteFile(dir.path() / "sub\xfe/inner.txt", "hidden");
  dir.Write("bad\xff.txt", "lost");
  dir.Write("good.txt", "kept kept");
  dir.Write("other\xff.doc", "not asked for");
  const std::string base = dir.path().string();
  // Folders are searched before their files are listed.
  const std::string said = "lintavel-extract: skipped 2 names that are not valid UTF-8: '" + base +
                           "/sub\\xfe' '" + base + "/bad\\xff.txt'\n";
  std::istringstream unused;
  std::ostringstream skipped;
  const InputSource tree{InputSource::Kind::kFolderTree, base};
  const auto paths = ResolveInputs({&tree, 1}, "txt", unused, skipped);
  ASSERT_TRUE(paths.has_value());
  EXPECT_EQ(*paths, std::vector<fs::path>{dir.path() / "good.txt"});
  EXPECT_EQ(skipped.str(), said);

  std::ostringstream out;
  std::ostringstream err;
  const std::vector<std::string> args = {"--recursive", base, "--ext", "txt"};
  EXPECT_EQ(lintavel::Run(args, out, err), kExitAllRead);
  EXPECT_EQ(out.str(), "kept\r\n");
  EXPECT_EQ(err.str(), said + "Results (Total Word Count: 2)\n");
}

// What the folder rules pass over is said, a line per rule, with the first paths.
TEST(InputList, ARecursiveScanSaysWhatItsRulesPassOver) {
  TempDir dir;
  const std::string base = dir.path().string();
  for (const char* name : {"~a.txt", "~b.txt", "~c.txt", "~d.txt", ".dot.txt", "kept.txt"}) {
    dir.Write(name, "x");
  }
  fs::path deep = dir.path();
  while (deep.string().size() < 300) deep /= std::string(40, 'd');
  fs::create_directories(deep);
  TempDir::WriteFile(deep / "deep.txt", "x");
  std::istringstream unused;
  std::ostringstream said;
  const InputSource tree{InputSource::Kind::kFolderTree, base};
  const auto paths = ResolveInputs({&tree, 1}, "txt", unused, said);
  ASSERT_TRUE(paths.has_value());
  EXPECT_EQ(*paths, std::vector<fs::path>{dir.path() / "kept.txt"});
  const std::string text = said.str();
  EXPECT_NE(text.find("passed over 4 file(s) whose names begin with ~: '" + base + "/~"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find(" and 1 more\n"), std::string::npos) << text;
  // The test made the dot-file, so it may write it: hidden + archive, passed over.
  EXPECT_NE(text.find("passed over 1 hidden file(s) (names beginning with a dot) that this "
                      "user may write: '" +
                      base + "/.dot.txt'\n"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("passed over 1 folder(s) whose paths are 260 characters or longer: '"),
            std::string::npos)
      << text;
}

}  // namespace
}  // namespace lintavel
