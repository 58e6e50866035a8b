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

// The words handed out one by one are exactly the words counted, each with the
// index of its file, also for words that straddle the reader's blocks and for
// files read as HTML.
TEST(WordStream, HandsOutTheWordsThatACountingRunCounts) {
  TempDir dir;
  std::mt19937 random(13);
  const char* const kPieces[] = {"word", "Mot", "don't", "\xE9t\xE9", " ",
                                 "\r\n", "\t",  "<b>",   "<p>",       "&amp;"};
  std::vector<std::filesystem::path> files;
  for (const std::size_t size : {std::size_t{3} << 20, std::size_t{100}, std::size_t{0}}) {
    std::string text;
    while (text.size() < size) text += kPieces[random() % std::size(kPieces)];
    files.push_back(dir.Write("f" + std::to_string(files.size()), text));
  }
  files.push_back(files[1]);
  for (const bool html : {false, true}) {
    ExtractionOptions options;
    options.html = html;
    const ExtractionResult counted = ExtractWords(files, options);
    std::map<std::string, std::uint64_t> expected;
    for (const CountedWord& word : counted.words) expected[std::string(word.word)] = word.count;

    std::map<std::string, std::uint64_t> streamed;
    std::vector<std::size_t> words_per_file(files.size());
    options.on_word = [&](std::size_t file, std::string_view word) {
      ++streamed[std::string(word)];
      ++words_per_file.at(file);
    };
    const ExtractionResult run = ExtractWords(files, options);
    EXPECT_TRUE(run.words.empty());
    EXPECT_EQ(streamed, expected) << "html " << html;
    EXPECT_EQ(words_per_file[1], words_per_file[3]);
    EXPECT_EQ(words_per_file[2], 0u);
  }
}

}  // namespace
}  // namespace lintavel
