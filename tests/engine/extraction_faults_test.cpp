// Input files that change while a run reads them. The run's progress callback comes
// after each block it has read, so it is where the file is changed "mid-read".
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <string>

#include "engine/code_page.h"
#include "engine/extraction.h"
#include "support/temp_dir.h"
#include "support/word_cutter.h"

namespace lintavel {
namespace {

namespace fs = std::filesystem;
using testing::TempDir;

// Several of the run's blocks (2 MiB each; only a word longer than a block makes
// one longer), so that a change after the first block meets a file still being read.
constexpr std::size_t kSeveralBlocks = 12u << 20;
constexpr std::size_t kShrunk = 9'000'000;

// Words of the form w<number>, each once, so that what was read can be told exactly.
std::string Numbered(std::size_t bytes) {
  std::string text;
  for (std::size_t i = 0; text.size() < bytes; ++i) text += "w" + std::to_string(i) + "\n";
  return text;
}

std::map<std::string, std::uint64_t> CountOf(std::string_view text) {
  std::map<std::string, std::uint64_t> counts;
  std::string scratch;
  ForEachWord(text, scratch, [&](std::string_view word) { ++counts[std::string(word)]; });
  return counts;
}

struct Change {
  const char* name;
  std::function<void(const fs::path&)> change;  // applied after the first block
  std::size_t read_bytes;                       // what the run then reads of the file
  std::vector<FailureStage> reports;
};

class ChangedDuringARun : public ::testing::TestWithParam<Change> {};

TEST_P(ChangedDuringARun, ReportsAsTheReaderDoesAndCountsWhatWasRead) {
  TempDir dir;
  const std::string text = Numbered(kSeveralBlocks);
  const fs::path file = dir.Write("changing.txt", text);
  const fs::path after = dir.Write("after.txt", "tail");
  std::vector<FailureStage> reports;
  bool changed = false;
  ExtractionOptions options;
  options.threads = 2;
  options.on_failure = [&](const FileFailure& failure) {
    EXPECT_EQ(failure.path, file);
    reports.push_back(failure.stage);
  };
  options.progress = [&](const ExtractionProgress&) {
    if (!changed) GetParam().change(file);
    changed = true;
  };
  const std::vector<fs::path> files = {file, after};
  const ExtractionResult result = ExtractWords(files, options);
  EXPECT_EQ(reports, GetParam().reports);

  std::map<std::string, std::uint64_t> expected =
      CountOf(std::string_view(text).substr(0, GetParam().read_bytes));
  ++expected["tail"];
  std::map<std::string, std::uint64_t> counted;
  std::uint64_t total = 0;
  for (const CountedWord& word : result.words) {
    counted[std::string(word.word)] = word.count;
    total += word.count;
  }
  EXPECT_EQ(counted, expected);
  EXPECT_EQ(result.total, total);
}

INSTANTIATE_TEST_SUITE_P(
    Changes, ChangedDuringARun,
    ::testing::Values(Change{"Shrinks",
                             [](const fs::path& f) { fs::resize_file(f, kShrunk); },
                             kShrunk,
                             {FailureStage::kRead}},
                      Change{"Vanishes",
                             [](const fs::path& f) { fs::remove(f); },
                             std::string::npos,
                             {FailureStage::kRead}},
                      Change{"LosesItsPermissions",
                             [](const fs::path& f) { fs::permissions(f, fs::perms::none); },
                             std::string::npos,
                             {}},
                      Change{"LosesItsName",
                             [](const fs::path& f) { fs::rename(f, f.string() + ".moved"); },
                             std::string::npos,
                             {}}),
    [](const auto& test_case) { return std::string(test_case.param.name); });

TEST(ChangedDuringARun, GrownWordsAreCountedToo) {
  TempDir dir;
  const fs::path file = dir.Write("grows.txt", Numbered(kSeveralBlocks));
  ExtractionOptions options;
  bool changed = false;
  options.progress = [&](const ExtractionProgress&) {
    if (!changed) std::ofstream(file, std::ios::app) << "grown\n";
    changed = true;
  };
  const ExtractionResult result = ExtractWords({&file, 1}, options);
  const bool has_grown = std::any_of(result.words.begin(), result.words.end(),
                                     [](const CountedWord& w) { return w.word == "grown"; });
  EXPECT_TRUE(has_grown);
}

}  // namespace
}  // namespace lintavel
