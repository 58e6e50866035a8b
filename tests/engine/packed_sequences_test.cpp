// Sequences kept as word numbers to the end of a run are listed in the order of
// their joined strings: held to a literal model of the list on random text.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "engine/block_text.h"
#include "engine/code_page.h"
#include "engine/extraction.h"
#include "engine/packed_sequences.h"
#include "engine/utf8.h"
#include "support/temp_dir.h"

namespace lintavel {
namespace {

struct Case {
  const char* name;
  InputEncoding encoding;
  unsigned shortest;
  unsigned longest;
  NgramBreaks breaks;
  std::uint64_t memory_limit;
  bool control_word;  // a word holds a character below the blank
  // Tens of thousands of words, half of them after one word: that word's
  // sequences are more than the cache holds, and are ordered in parts.
  bool skewed = false;
};

// Words that share beginnings, with characters whose UTF-16 order is not their
// byte order (U+FF21 after U+1F600), and, when asked, one holding U+0001.
std::vector<std::string> Vocabulary(std::mt19937& random, bool control_word, bool skewed) {
  const std::vector<std::string> stems = {
      "a", "ab", "abc", "b", "ba", "\xC3\xA9", "\xEF\xBC\xA1", "\xF0\x9F\x98\x80", "z"};
  std::uniform_int_distribution<std::size_t> stem(0, stems.size() - 1);
  std::vector<std::string> words;
  for (int i = 0; i < (skewed ? 60000 : 150); ++i) {
    std::string word = stems[stem(random)];
    for (int k = skewed ? 5 : i % 3; k > 0; --k) word += stems[stem(random)];
    words.push_back(word);
  }
  if (control_word) words.push_back("a\x01");
  std::sort(words.begin(), words.end());
  words.erase(std::unique(words.begin(), words.end()), words.end());
  return words;
}

// A text of two blocks: words apart by blanks, some ending a sentence, some lines.
std::string RandomText(std::mt19937& random, const std::vector<std::string>& words, bool skewed) {
  std::uniform_int_distribution<std::size_t> pick(0, words.size() - 1);
  std::uniform_int_distribution<int> mark(0, 40);
  std::string text;
  while (text.size() < kBlockBytes + 50000) {
    if (skewed && mark(random) % 2 == 0) text += words.front() + ' ';
    text += words[pick(random)];
    const int m = mark(random);
    text += m == 0 ? ". " : m == 1 ? "\n" : " ";
  }
  return text;
}

// The list as it must come out: every sequence of the text, least frequent first,
// ties in the ordinal UTF-16 order of the joined words.
std::vector<std::pair<std::string, std::uint64_t>> Literal(const std::string& text, const Case& c) {
  std::unordered_map<std::string, std::uint64_t> counts;
  std::vector<std::string_view> run;
  for (std::size_t at = 0; at < text.size();) {
    const std::size_t end = std::min(text.find_first_of(" \n", at), text.size());
    std::string_view word(text.data() + at, end - at);
    const bool sentence = word.ends_with('.');
    if (sentence) word.remove_suffix(1);
    if (!word.empty()) {
      run.push_back(word);
      for (unsigned n = c.shortest; n <= c.longest && n <= run.size(); ++n) {
        std::string joined;
        for (std::size_t i = run.size() - n; i < run.size(); ++i) {
          if (!joined.empty()) joined += ' ';
          joined += run[i];
        }
        ++counts[joined];
      }
    }
    if ((sentence && c.breaks != NgramBreaks::kNone) ||
        (end < text.size() && text[end] == '\n' && c.breaks == NgramBreaks::kLine)) {
      run.clear();
    }
    at = end + 1;
  }
  std::vector<std::pair<std::string, std::uint64_t>> list(counts.begin(), counts.end());
  const auto less = c.encoding == InputEncoding::kUtf8 ? Utf8Utf16Less : Utf16OrdinalLess;
  std::sort(list.begin(), list.end(), [&](const auto& a, const auto& b) {
    return a.second != b.second ? a.second < b.second : less(a.first, b.first);
  });
  return list;
}

TEST(PackedSequences, ListInTheOrderOfTheJoinedWords) {
  constexpr std::uint64_t kNone = 0;
  const Case cases[] = {
      {"bigrams", InputEncoding::kUtf8, 2, 2, NgramBreaks::kSentence, kNone, false},
      {"bigrams, cp1252", InputEncoding::kCp1252, 2, 2, NgramBreaks::kNone, kNone, false},
      {"2-3, lines", InputEncoding::kUtf8, 2, 3, NgramBreaks::kLine, kNone, false},
      {"1-3", InputEncoding::kUtf8, 1, 3, NgramBreaks::kSentence, kNone, false},
      {"trigrams, cp1252", InputEncoding::kCp1252, 3, 3, NgramBreaks::kNone, kNone, false},
      {"bigrams, a control word", InputEncoding::kUtf8, 2, 2, NgramBreaks::kNone, kNone, true},
      {"1-3, a control word", InputEncoding::kCp1252, 1, 3, NgramBreaks::kLine, kNone, true},
      {"bigrams, bounded", InputEncoding::kUtf8, 2, 2, NgramBreaks::kNone, 1 << 20, false},
      {"bigrams, skewed", InputEncoding::kUtf8, 2, 2, NgramBreaks::kNone, kNone, false, true},
      {"2-3, skewed", InputEncoding::kCp1252, 2, 3, NgramBreaks::kSentence, kNone, false, true},
  };
  testing::TempDir dir;
  std::mt19937 random(5);
  for (const Case& c : cases) {
    const std::string text =
        RandomText(random, Vocabulary(random, c.control_word, c.skewed), c.skewed);
    const std::filesystem::path files[] = {dir.Write("text", text)};
    ExtractionOptions options;
    options.threads = 2;
    options.encoding = c.encoding;
    options.ngrams.shortest = c.shortest;
    options.ngrams.longest = c.longest;
    options.ngrams.breaks = c.breaks;
    options.memory_limit = c.memory_limit;
    options.temp_dir = dir.path();
    const ExtractionResult result = ExtractWords(files, options);
    const auto expected = Literal(text, c);
    ASSERT_EQ(result.words.size(), expected.size()) << c.name;
    std::size_t first_wrong = expected.size();
    for (std::size_t i = 0; i < expected.size() && first_wrong == expected.size(); ++i) {
      if (result.words[i].word != expected[i].first ||
          result.words[i].count != expected[i].second) {
        first_wrong = i;
      }
    }
    EXPECT_EQ(first_wrong, expected.size())
        << c.name << ": '" << result.words[first_wrong].word << "' "
        << result.words[first_wrong].count << ", expected '" << expected[first_wrong].first << "' "
        << expected[first_wrong].second;
  }
}

// Past their tables' bound the threads log their pairs: those are summed with the
// pairs the tables counted, across threads, and listed in the same order. The first
// thread never sees the last words, which the two others both number; a thread
// ranked before them got no block at all.
TEST(PackedSequences, SumsLoggedPairsWithCountedOnes) {
  std::mt19937 random(3);
  std::vector<std::string> vocabulary;
  for (int i = 0; i < 500; ++i) {
    std::string word;
    for (int k = i; k > 0 || word.empty(); k /= 7) word += static_cast<char>('a' + k % 7);
    vocabulary.push_back(i % 5 == 0 ? "\xC3\xA9" + word : word);
  }
  std::uniform_int_distribution<std::size_t> pick(0, vocabulary.size() - 1);
  std::unordered_map<std::string, std::uint64_t> model;
  constexpr int kThreads = 3;
  std::vector<WordNumbers> numbers(kThreads);
  std::vector<PairCounts> pairs;
  for (int thread = 0; thread < kThreads; ++thread) pairs.emplace_back(1024, 1 << 14);
  const auto number_of = [&](WordNumbers& table, const std::string& word) {
    char padded[32] = {};
    std::memcpy(padded, word.data(), word.size());
    return table.NumberOf(WordNumbers::KeyOf(std::string_view(padded, word.size())));
  };
  for (int thread = 0; thread < kThreads; ++thread) {
    std::vector<std::uint64_t> keys;
    const std::size_t seen = thread == 0 ? vocabulary.size() * 2 / 3 : vocabulary.size();
    for (int i = 0; i < 60000; ++i) {
      // Skewed: the first words of the vocabulary come far more often.
      const std::string& a = vocabulary[std::min(pick(random), pick(random)) % seen];
      const std::string& b = vocabulary[pick(random) % seen];
      keys.push_back(number_of(numbers[thread], a) << kPairBits | number_of(numbers[thread], b));
      ++model[a + ' ' + b];
    }
    pairs[thread].AddEach(keys);
  }
  ASSERT_GT(pairs[0].logged(), 0U);
  PackedSequences packed;
  const WordNumbers idle;
  const WordNumbers* const ranked[] = {&idle, &numbers[0], &numbers[1], &numbers[2]};
  ASSERT_TRUE(packed.Rank(ranked, WordEncoding::kUtf8, 2));
  packed.AddTables(PairCounts(), TripleCounts());
  for (int thread = 0; thread < kThreads; ++thread) {
    packed.AddTables(std::move(pairs[thread]), TripleCounts());
  }
  WordArena storage;
  const std::vector<CountedWord> words = packed.TakeOrdered(WordCounter(), storage, nullptr, 2);
  std::vector<std::pair<std::string, std::uint64_t>> expected(model.begin(), model.end());
  std::sort(expected.begin(), expected.end(), [](const auto& a, const auto& b) {
    return a.second != b.second ? a.second < b.second : Utf8Utf16Less(a.first, b.first);
  });
  ASSERT_EQ(words.size(), expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i) {
    ASSERT_EQ(words[i].word, expected[i].first) << i;
    ASSERT_EQ(words[i].count, expected[i].second) << i;
  }
}

}  // namespace
}  // namespace lintavel
