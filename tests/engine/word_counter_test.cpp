#include "engine/word_counter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "engine/code_page.h"
#include "engine/squeeze.h"
#include "engine/text_rules.h"

namespace lintavel {
namespace {

using Counts = std::vector<std::pair<std::string, std::uint64_t>>;

// Counts one byte at a time straight from the byte class table, then orders by
// count and by the decoded words.
Counts PlainCounts(std::string_view text) {
  std::map<std::string, std::uint64_t> counts;
  std::string word;
  for (const char byte : text) {
    if (ClassOf(byte) == ByteClass::kSeparator) {
      if (!word.empty()) ++counts[word];
      word.clear();
    } else if (ClassOf(byte) == ByteClass::kWord) {
      word.push_back(byte);
    }
  }
  if (!word.empty()) ++counts[word];
  Counts ordered(counts.begin(), counts.end());
  std::stable_sort(ordered.begin(), ordered.end(), [](const auto& a, const auto& b) {
    if (a.second != b.second) return a.second < b.second;
    return DecodeCp1252(a.first) < DecodeCp1252(b.first);
  });
  return ordered;
}

Counts Ordered(WordCounter&& counter, WordEncoding encoding = WordEncoding::kCp1252,
               unsigned threads = 1) {
  WordArena storage;
  Counts counts;
  for (const CountedWord& word :
       std::move(counter).TakeOrdered(storage, encoding, nullptr, threads))
    counts.emplace_back(word.word, word.count);
  return counts;
}

// Random text whose words have every length around the 8- and 16-byte steps of the
// table, with punctuation, tabs, line ends, zero and high bytes.
std::string RandomText(std::mt19937& random, std::size_t words, std::size_t vocabulary) {
  const std::string alphabet =
      std::string("abcdefgh.,'-\t\xe9\x80\xa0\xff", 17) + std::string(1, '\0');
  const std::string separators = "  \n\r";
  std::string text;
  for (std::size_t i = 0; i < words; ++i) {
    std::mt19937 shape(static_cast<unsigned>(random() % vocabulary));
    const std::size_t length = 1 + shape() % 24;
    for (std::size_t k = 0; k < length; ++k) text += alphabet[shape() % alphabet.size()];
    text += separators[random() % separators.size()];
  }
  return text;
}

TEST(WordCounter, CountsAndOrdersAsTheByteByByteCount) {
  struct Case {
    const char* name;
    std::size_t words;
    std::size_t vocabulary;  // a large one makes the table grow past the cache
    unsigned threads;
  };
  const Case cases[] = {
      {"few words", 50, 20, 1},
      {"many pieces", 30'000, 500, 1},
      {"large vocabulary", 200'000, 150'000, 1},
      {"ordered on two threads", 200'000, 150'000, 2},
      {"ordered on three threads", 200'000, 150'000, 3},
  };
  std::mt19937 random(20261207);
  for (const Case& c : cases) {
    const std::string text = RandomText(random, c.words, c.vocabulary);
    WordCounter counter;
    counter.CountText(text);
    EXPECT_EQ(Ordered(std::move(counter), WordEncoding::kCp1252, c.threads), PlainCounts(text))
        << c.name;
  }
}

TEST(WordCounter, AddEachCountsViewsAsTheByteByByteCount) {
  // Views into the text, batched past 64 and through the table's growth; the words
  // that end the text are read without the 16-byte loads.
  std::mt19937 random(26);
  const std::string text = RandomText(random, 40'000, 30'000);
  std::vector<std::string_view> words;
  std::string_view rest = text;
  while (!rest.empty()) {
    const std::size_t end = std::min(rest.find_first_of(" \n\r"), rest.size());
    const std::string_view piece = rest.substr(0, end);
    if (!piece.empty() && piece.find_first_of(".,'-\t") == std::string_view::npos)
      words.push_back(piece);
    rest.remove_prefix(std::min(end + 1, rest.size()));
  }
  std::string kept;
  for (const std::string_view word : words) kept.append(word).append(" ");
  WordCounter counter;
  counter.AddEach(words, text.data() + text.size());
  EXPECT_EQ(Ordered(std::move(counter)), PlainCounts(kept));
}

TEST(WordCounter, AWordLongerThanManyPiecesIsCountedWhole) {
  const std::string long_word(100'000, 'w');
  const std::string text = "a " + long_word + ".,\t" + long_word + "\n" + long_word + "b a";
  WordCounter counter;
  counter.CountText(text);
  EXPECT_EQ(Ordered(std::move(counter)), PlainCounts(text));
}

TEST(WordCounter, MergesCountsOfShortAndLongWords) {
  std::mt19937 random(7);
  const std::string first = RandomText(random, 20'000, 5'000);
  const std::string second = RandomText(random, 30'000, 9'000);
  WordCounter a;
  WordCounter b;
  a.CountText(first);
  b.CountText(second);
  a.Add("anaddedwordlongerthan16", 3);
  a.MergeFrom(std::move(b));
  Counts expected = PlainCounts(first + "\n" + second + "\nanaddedwordlongerthan16" +
                                " anaddedwordlongerthan16 anaddedwordlongerthan16");
  EXPECT_EQ(Ordered(std::move(a)), expected);
}

TEST(OrderByCountThenWord, OrdersUtf8AsUtf16CodeUnits) {
  // U+10000 is a surrogate pair and comes before U+E000 and U+FFFD in UTF-16,
  // though its UTF-8 bytes are larger; words sharing 8 bytes are told apart after.
  std::vector<CountedWord> words = {
      {"\xEF\xBF\xBD", 1}, {"\xEE\x80\x80", 1}, {"\xF0\x90\x80\x80", 1}, {"\xED\x9F\xBF", 1},
      {"abcdefghZ", 1},    {"abcdefgh", 1},     {"abcdefghA", 1},
  };
  OrderByCountThenWord(words, WordEncoding::kUtf8);
  std::vector<std::string_view> order;
  for (const CountedWord& word : words) order.push_back(word.word);
  EXPECT_EQ(order,
            (std::vector<std::string_view>{"abcdefgh", "abcdefghA", "abcdefghZ", "\xED\x9F\xBF",
                                           "\xF0\x90\x80\x80", "\xEE\x80\x80", "\xEF\xBF\xBD"}));
}

TEST(SqueezeDropped, EveryFormKeepsExactlyTheBytesThatAreNotDropped) {
  std::mt19937 random(11);
  for (int round = 0; round < 300; ++round) {
    std::string text(random() % 200, ' ');
    for (char& c : text) c = static_cast<char>(random() % 256);
    // Every byte value once, at a place that moves from round to round.
    if (round < 256) text.insert(random() % (text.size() + 1), 1, static_cast<char>(round));
    std::string expected;
    for (const char c : text) {
      if (ClassOf(c) != ByteClass::kDropped) expected += c;
    }
    const std::vector<SqueezeFunction> forms = SqueezeForms();
    for (std::size_t form = 0; form < forms.size(); ++form) {
      std::string squeezed(text.size() + kSqueezeSlack, '\0');
      squeezed.resize(forms[form](text.data(), text.size(), squeezed.data()));
      ASSERT_EQ(squeezed, expected) << "round " << round << ", form " << form;
    }
  }
}

}  // namespace
}  // namespace lintavel
