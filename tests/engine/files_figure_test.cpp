#include <gtest/gtest.h>

#include <map>
#include <random>
#include <string>
#include <vector>

#include "engine/extraction.h"
#include "support/temp_dir.h"

namespace lintavel {
namespace {

using testing::TempDir;

std::map<std::string, std::uint64_t> CountsOf(const ExtractionResult& result) {
  std::map<std::string, std::uint64_t> counts;
  for (const CountedWord& word : result.words) counts[std::string(word.word)] = word.count;
  return counts;
}

// Each word's files figure is the number of files whose own run lists it, also
// for words that straddle the reader's blocks, for HTML, for a file given twice
// and whatever the number of counting threads; the counts stay those of a run
// that does not count files.
TEST(FilesFigure, CountsTheFilesEachWordOccursIn) {
  TempDir dir;
  std::mt19937 random(13);
  const char* const kPieces[] = {"word", "Mot", "don't", "\xE9t\xE9", " ",    "\r\n",
                                 "\t",   "<b>", "<p>",   "&amp;",     "<!--", "-->"};
  std::vector<std::filesystem::path> files;
  // Large files of several blocks among small ones: a thread that takes a small
  // file between two blocks of a large one must not count the large one twice.
  for (const std::size_t size : {std::size_t{5} << 20, std::size_t{100}, std::size_t{0},
                                 std::size_t{5} << 20, std::size_t{3000}}) {
    std::string text;
    while (text.size() < size) {
      // Numbered words as well, so that the words are ordered on several threads.
      text += random() % 4 == 0 ? "n" + std::to_string(random() % 50'000) + " "
                                : kPieces[random() % std::size(kPieces)];
    }
    files.push_back(dir.Write("f" + std::to_string(files.size()), text));
  }
  files.push_back(files[1]);
  for (const bool html : {false, true}) {
    ExtractionOptions options;
    options.html = html;
    std::map<std::string, std::uint64_t> expected_files;
    for (const auto& file : files) {
      for (const auto& [word, count] : CountsOf(ExtractWords({&file, 1}, options))) {
        ++expected_files[word];
      }
    }
    const auto expected_counts = CountsOf(ExtractWords(files, options));
    for (const unsigned threads : {1u, 2u, 3u}) {
      options.threads = threads;
      options.count_files = true;
      const ExtractionResult run = ExtractWords(files, options);
      ASSERT_EQ(run.files.size(), run.words.size());
      std::map<std::string, std::uint64_t> counted_files;
      for (std::size_t i = 0; i < run.words.size(); ++i) {
        counted_files[std::string(run.words[i].word)] = run.files[i];
      }
      EXPECT_EQ(CountsOf(run), expected_counts) << "html " << html << ", threads " << threads;
      EXPECT_EQ(counted_files, expected_files) << "html " << html << ", threads " << threads;
    }
  }
}

// Text passed through a transformation is counted as transformed, HTML after its
// filtering: words that differ only in the case the transformation folds are one.
TEST(FilesFigure, CountsTheTransformedText) {
  TempDir dir;
  const std::vector<std::filesystem::path> files = {dir.Write("a", "The the <B>x</B> THE"),
                                                    dir.Write("b", "tHe end")};
  ExtractionOptions options;
  options.html = true;
  options.count_files = true;
  options.transform_text = [](std::string_view text, std::string& out) {
    for (const char c : text) out.push_back(c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c);
  };
  const ExtractionResult run = ExtractWords(files, options);
  std::map<std::string, std::pair<std::uint64_t, std::uint64_t>> got;
  for (std::size_t i = 0; i < run.words.size(); ++i) {
    got[std::string(run.words[i].word)] = {run.words[i].count, run.files[i]};
  }
  const std::map<std::string, std::pair<std::uint64_t, std::uint64_t>> expected = {
      {"the", {4, 2}}, {"x", {1, 1}}, {"end", {1, 1}}};
  EXPECT_EQ(got, expected);
}

}  // namespace
}  // namespace lintavel
