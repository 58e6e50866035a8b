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

}  // namespace
}  // namespace lintavel
