#include "engine/spill.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <optional>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "engine/extraction.h"
#include "support/file_size_limit.h"
#include "support/temp_dir.h"

namespace lintavel {
namespace {

namespace fs = std::filesystem;
using testing::TempDir;

// Files whose words fill a small bound many times over: short and long (past the
// 16 bytes kept in a slot) words, some in every file, and a word that opens and
// ends each file, so that a file's words land in several runs of one table.
std::vector<fs::path> WriteSpillingFiles(const TempDir& dir) {
  std::mt19937 random(7);
  std::vector<std::string> pool;
  for (int i = 0; i < 12'000; ++i) {
    std::string word(1 + random() % (i % 5 == 0 ? 30 : 9), 'a');
    for (char& c : word) c = static_cast<char>("abcdefgh\xe9\xc4xyz"[random() % 13]);
    pool.push_back(word);
  }
  std::vector<fs::path> files;
  for (int file = 0; file < 4; ++file) {
    std::string text = "edge ";
    for (int i = 0; i < 70'000; ++i) {
      // A skewed draw, so that counts differ and ties are many.
      const std::size_t at = random() % (random() % 2 == 0 ? 200 : pool.size());
      text += pool[at] + (i % 11 == 0 ? "\n" : " ");
    }
    text += " edge\n";
    files.push_back(dir.Write("in" + std::to_string(file) + ".txt", text));
  }
  return files;
}

using Listed = std::vector<std::pair<std::string, std::uint64_t>>;

Listed ListOf(const ExtractionResult& result) {
  Listed listed;
  for (const CountedWord& word : result.words) listed.emplace_back(word.word, word.count);
  return listed;
}

TEST(SpillingRun, GivesTheWordsCountsAndFilesOfAnUnboundedRun) {
  TempDir dir;
  const std::vector<fs::path> files = WriteSpillingFiles(dir);
  const fs::path spill_dir = dir.path() / "tmp";
  fs::create_directory(spill_dir);
  for (const unsigned threads : {1u, 2u}) {
    for (const bool count_files : {false, true}) {
      for (const InputEncoding encoding : {InputEncoding::kCp1252, InputEncoding::kUtf8}) {
        SCOPED_TRACE(::testing::Message() << threads << " threads, files " << count_files
                                          << ", encoding " << static_cast<int>(encoding));
        ExtractionOptions options;
        options.threads = threads;
        options.count_files = count_files;
        options.encoding = encoding;
        const ExtractionResult unbounded = ExtractWords(files, options);
        options.memory_limit = 512 * 1024;
        options.temp_dir = spill_dir;
        const ExtractionResult spilled = ExtractWords(files, options);
        EXPECT_GT(spilled.spill.runs, 4u);
        EXPECT_GT(spilled.spill.entries, unbounded.words.size());
        EXPECT_EQ(unbounded.spill.runs, 0u);
        EXPECT_EQ(ListOf(spilled), ListOf(unbounded));
        EXPECT_EQ(spilled.files, unbounded.files);
        EXPECT_EQ(spilled.total, unbounded.total);
        EXPECT_EQ(testing::EntriesIn(spill_dir), 0u);
      }
    }
  }
}

TEST(SpillingRun, AFolderThatCannotTakeTheRunsFailsTheRunAndLeavesNothing) {
  TempDir dir;
  const std::vector<fs::path> files = WriteSpillingFiles(dir);
  const fs::path spill_dir = dir.path() / "tmp";
  fs::create_directory(spill_dir);
  const fs::path not_a_folder = dir.Write("plain.txt", "x");
  struct Case {
    fs::path folder;
    std::uint64_t file_size_limit;  // 0: none
    std::string message;
  };
  const Case cases[] = {
      {dir.path() / "missing", 0,
       "cannot make a folder in the temporary folder '" + (dir.path() / "missing").string() +
           "': No such file or directory"},
      {not_a_folder, 0, "'" + not_a_folder.string() + "': Not a directory"},
      // A disk that fills up part way through a run.
      {spill_dir, 4096,
       "cannot write to the temporary folder '" + spill_dir.string() + "/lintavel-"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.folder.string());
    ExtractionOptions options;
    options.threads = 2;
    options.count_files = true;
    options.memory_limit = 64 * 1024;
    options.temp_dir = c.folder;
    std::string message;
    {
      std::optional<testing::FileSizeLimit> full;
      if (c.file_size_limit != 0) full.emplace(c.file_size_limit);
      try {
        ExtractWords(files, options);
      } catch (const ExtractionFailure& failure) {
        message = failure.what();
      }
    }
    EXPECT_NE(message.find(c.message), std::string::npos) << message;
    EXPECT_EQ(testing::EntriesIn(spill_dir), 0u);
  }
}

TEST(SpillingRun, RemovesItsFolderOnASignal) {
  TempDir dir;
  Spill spill(dir.path(), false);
  spill.NewRun(kNoFile, kNoFile)->Finish();
  ASSERT_EQ(testing::EntriesIn(dir.path()), 1u);
  const fs::path folder = fs::directory_iterator(dir.path())->path();
  struct stat info {};
  ASSERT_EQ(::stat(folder.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0700u);  // private to its user
  // The run's file has no name: the folder is empty and a handler can remove it.
  RemoveSpillFolders();
  EXPECT_EQ(testing::EntriesIn(dir.path()), 0u);
}

}  // namespace
}  // namespace lintavel
