// Sequences of consecutive words, held to a literal model on random text.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "corpus/corpus_run.h"
#include "corpus/list_filters.h"
#include "engine/block_text.h"
#include "engine/ngram.h"
#include "support/optional_parts.h"
#include "support/range_split.h"
#include "support/temp_dir.h"
#include "support/word_break_reference.h"

namespace lintavel {
namespace {

using Counts = std::map<std::string, std::uint64_t, std::less<>>;

struct Case {
  const char* name;
  WordRule rule;
  NgramBreaks breaks;
  bool fold_case;
  bool stop_the;  // "the" is a stop word
  unsigned shortest;
  unsigned longest;
};

// The sequences of `text`, one word after another: a run of words that a break,
// a stop word or the end clears, each length taken from its end.
class LiteralSequences {
 public:
  explicit LiteralSequences(const Case& c) : case_(c) {}

  void Word(std::string word) {
    if (case_.stop_the && word == "the") return Break();
    run_.push_back(std::move(word));
    for (unsigned n = case_.shortest; n <= case_.longest && n <= run_.size(); ++n) {
      std::string joined;
      for (std::size_t i = run_.size() - n; i < run_.size(); ++i) {
        joined += (joined.empty() ? "" : " ") + run_[i];
      }
      ++counts_[joined];
    }
  }
  void SentenceEnd() {
    if (case_.breaks != NgramBreaks::kNone) Break();
  }
  void LineEnd() {
    if (case_.breaks == NgramBreaks::kLine) Break();
  }
  void Break() { run_.clear(); }
  const Counts& counts() const { return counts_; }

 private:
  const Case& case_;
  std::vector<std::string> run_;
  Counts counts_;
};

Counts Reference(std::string text, const Case& c) {
  if (c.fold_case) {
    for (char& ch : text) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
  }
  LiteralSequences sequences(c);
  const auto marks = [&](std::string_view between) {
    for (const char ch : between) {
      if (ch == '.' || ch == '!' || ch == '?') sequences.SentenceEnd();
      if (ch == '\n' || ch == '\r') sequences.LineEnd();
    }
  };
  if (c.rule == WordRule::kUnicode) {
    for (const auto& segment : reference::Segments(text)) {
      if (segment.is_word) {
        sequences.Word(segment.text);
      } else {
        marks(segment.text);
      }
    }
    return sequences.counts();
  }
  std::string token;
  const auto end_token = [&] {
    std::string word;
    for (const char ch : token) {
      if (ch != '\t' && !std::ispunct(static_cast<unsigned char>(ch))) word += ch;
    }
    if (!word.empty()) sequences.Word(word);
    token.erase(std::remove(token.begin(), token.end(), '\t'), token.end());
    if (!token.empty()) marks(token.substr(token.size() - 1));
    token.clear();
  };
  for (const char ch : text) {
    if (ch == ' ' || ch == '\n' || ch == '\r') {
      end_token();
      marks(std::string(1, ch));
    } else {
      token += ch;
    }
  }
  end_token();
  return sequences.counts();
}

// Random text of `tokens` pieces: words in two cases, sentence marks inside and
// around words, line ends, tabs, and (for the Unicode rule) letters beyond ASCII.
std::string RandomText(std::mt19937& random, std::size_t tokens, bool non_ascii) {
  static const std::vector<std::string> kPieces = {
      "a",  "b",    "The", "the", "THE",  "end.", "why?!", "x!", "e.g.", "3.5", "...", "-",
      "\n", "\r\n", "\r",  "\t",  "c\td", "(q)",  ",",     "?",  " ",    "ab:", "'t'"};
  // An ideograph is a word of its own: two are two words with nothing between.
  static const std::vector<std::string> kWide = {"caf\xc3\xa9", "\xe2\x80\x94", "\xc3\xa0.",
                                                 "\xe4\xb8\xad\xe6\x96\x87"};
  std::uniform_int_distribution<std::size_t> pick(0, kPieces.size() + kWide.size() - 1);
  std::string text;
  for (std::size_t i = 0; i < tokens; ++i) {
    const std::size_t k = pick(random);
    if (k < kPieces.size()) {
      text += kPieces[k];
    } else {
      text += non_ascii ? kWide[k - kPieces.size()] : "z";
    }
    text += ' ';
  }
  return text;
}

// The first sequence whose counts differ, or empty.
std::string Difference(const Counts& counted, const Counts& expected) {
  auto a = counted.begin();
  auto b = expected.begin();
  for (; a != counted.end() && b != expected.end() && *a == *b; ++a, ++b) {
  }
  if (a == counted.end() && b == expected.end()) return "";
  const auto said = [](auto it, const Counts& counts) {
    return it == counts.end() ? std::string("(end)")
                              : "'" + it->first + "' " + std::to_string(it->second);
  };
  return "counted " + said(a, counted) + ", expected " + said(b, expected);
}

Counts Counted(const std::filesystem::path& path, const Case& c, unsigned threads, bool per_file) {
  ExtractionOptions options;
  options.encoding = InputEncoding::kUtf8;
  options.words = c.rule;
  options.threads = threads;
  options.ngrams.shortest = c.shortest;
  options.ngrams.longest = c.longest;
  options.ngrams.breaks = c.breaks;
  CorpusSettings settings;
  settings.fold_case = c.fold_case;
  settings.per_file = per_file;
  StopWords stop_words;
  if (c.stop_the) stop_words.Add("the");
  const std::filesystem::path files[] = {path};
  const CorpusRun run = ExtractCorpus(files, options, settings, stop_words);
  Counts counts;
  for (const CorpusWord& word : run.list.words) counts.emplace(word.word, word.count);
  return counts;
}

// The sequences of `text`, counted as one block kept packed, then handed on.
WordCounter CountedPacked(std::string_view text, const NgramSettings& settings) {
  NgramCounter ngrams;
  ngrams.CountPacked(0);
  WordCounter counter;
  NgramEdges edges;
  ngrams.CountBlock(text, WordCutting{}, settings, counter, edges);
  ngrams.FlushInto(counter);
  return counter;
}

constexpr Case kCases[] = {
    {"bigrams", WordRule::kDefault, NgramBreaks::kSentence, false, false, 2, 2},
    {"bigrams, lines", WordRule::kDefault, NgramBreaks::kLine, false, false, 2, 2},
    {"1-3, none, folded, stop", WordRule::kDefault, NgramBreaks::kNone, true, true, 1, 3},
    {"8, none", WordRule::kDefault, NgramBreaks::kNone, false, false, 8, 8},
    {"2-4, lines, stop", WordRule::kDefault, NgramBreaks::kLine, false, true, 2, 4},
    {"2-3, folded, stop", WordRule::kDefault, NgramBreaks::kSentence, true, true, 2, 3},
    {"trigrams, lines, stop", WordRule::kDefault, NgramBreaks::kLine, false, true, 3, 3},
    {"unicode bigrams", WordRule::kUnicode, NgramBreaks::kSentence, false, false, 2, 2},
    {"unicode 1-3, lines, stop", WordRule::kUnicode, NgramBreaks::kLine, false, true, 1, 3},
    {"unicode 3-5, none, folded", WordRule::kUnicode, NgramBreaks::kNone, true, false, 3, 5},
};

TEST(Ngrams, MatchTheLiteralSequencesOnRandomText) {
  testing::TempDir dir;
  std::mt19937 random(7);
  for (const Case& c : kCases) {
    for (int round = 0; round < 4; ++round) {
      const std::string text =
          RandomText(random, 3000, c.rule == WordRule::kUnicode && !c.fold_case);
      const auto path = dir.Write("text", text);
      const Counts expected = Reference(text, c);
      ASSERT_EQ(Difference(Counted(path, c, 1, round % 2 == 1), expected), "")
          << c.name << ", round " << round;
    }
  }
}

// Blocks are counted on several threads; the sequences across their edges, and
// across a block that holds fewer words than a sequence, are joined afterwards
// (or by the one thread that owns the file when the files are counted).
TEST(Ngrams, SequencesAcrossBlocksOfALargeFileAreCountedOnce) {
  testing::TempDir dir;
  std::mt19937 random(11);
  std::string text = RandomText(random, kBlockBytes / 12, false);
  // A word that fills a block of its own, inside a sequence.
  text += "x y ";
  text.append(kBlockBytes + 3, 'w');
  text += " y x ";
  text += RandomText(random, kBlockBytes / 12, false);
  const auto path = dir.Write("large", text);
  for (const bool per_file : {false, true}) {
    for (const Case& c : {kCases[per_file ? 2 : 0], kCases[4]}) {
      const Counts got = Counted(path, c, 2, per_file);
      const Counts want = Reference(text, c);
      EXPECT_EQ(Difference(got, want), "") << c.name << ", per file " << per_file;
    }
  }
}

// Once a thread has numbered many distinct words, a block's sequences are counted
// a stretch of words at a time as they are numbered: the breaks, the stop words and
// the sequences across stretches and blocks come out as the literal ones.
TEST(Ngrams, BlocksAfterAManyWordNumberingMatchTheLiteralSequences) {
  testing::TempDir dir;
  std::mt19937 random(13);
  std::string text;
  for (int i = 0; i < 70000; ++i) text += "w" + std::to_string(i) + (i % 9 == 0 ? ". " : " ");
  text += RandomText(random, kBlockBytes / 3, false);
  const auto path = dir.Write("many", text);
  for (const Case& c : {kCases[0], kCases[5], kCases[6]}) {
    EXPECT_EQ(Difference(Counted(path, c, 1, false), Reference(text, c)), "") << c.name;
  }
}

// A block's words are numbered some words after they are cut: what ends a sequence
// at a block's end (a mark, a line end, a stop word as its last word) still ends
// the sequence that would run on into the next block, wherever the text is split.
TEST(Ngrams, PackedBlocksSplitAnywhereCountAsTheWholeText) {
  constexpr Case kPacked[] = {
      {"2-3, stop", WordRule::kDefault, NgramBreaks::kSentence, false, true, 2, 3},
      {"bigrams, lines, stop", WordRule::kDefault, NgramBreaks::kLine, false, true, 2, 2},
      {"trigrams, none, stop", WordRule::kDefault, NgramBreaks::kNone, false, true, 3, 3},
  };
  std::mt19937 random(5);
  for (const Case& c : kPacked) {
    NgramSettings settings;
    settings.shortest = c.shortest;
    settings.longest = c.longest;
    settings.breaks = c.breaks;
    settings.is_stop = [](std::string_view word) { return word == "the"; };
    const std::string text = RandomText(random, 80, false);
    const Counts expected = Reference(text, c);
    for (std::size_t split = 1; split < text.size(); ++split) {
      if (text[split - 1] != ' ') continue;
      NgramCounter ngrams;
      ngrams.CountPacked(0);
      WordCounter counter;
      NgramCarry carry;
      for (const std::string_view block :
           {std::string_view(text).substr(0, split), std::string_view(text).substr(split)}) {
        NgramEdges edges;
        ngrams.CountBlock(block, WordCutting{}, settings, counter, edges);
        carry.Join(edges, settings, counter);
      }
      ngrams.FlushInto(counter);
      Counts counted;
      counter.ForEachWord(
          [&](std::string_view joined, std::uint64_t count) { counted.emplace(joined, count); });
      ASSERT_EQ(Difference(counted, expected), "") << c.name << ", split at " << split;
    }
  }
}

// Sequences are packed from word numbers of limited width: with more distinct
// words than the width holds, the sequences of the later ones are still counted
// apart, each once here.
TEST(Ngrams, AVocabularyWiderThanThePackedNumbersIsCountedExactly) {
  constexpr std::size_t kWords = (std::size_t{1} << 21) + 500;
  constexpr std::size_t kLetters = 5;
  const auto word_of = [](std::size_t i) {
    std::string word(kLetters, 'a');
    for (char& letter : word) {
      letter = static_cast<char>('a' + i % 26);
      i /= 26;
    }
    return word;
  };
  const auto index_of = [](std::string_view word) {
    std::size_t i = 0;
    for (std::size_t k = word.size(); k-- > 0;)
      i = i * 26 + static_cast<std::size_t>(word[k] - 'a');
    return i;
  };
  std::string text;
  for (std::size_t i = 0; i < kWords; ++i) text += word_of(i) + ' ';
  NgramSettings settings;
  settings.shortest = settings.longest = 3;
  settings.breaks = NgramBreaks::kNone;
  const WordCounter counter = CountedPacked(text, settings);
  EXPECT_EQ(counter.distinct(), kWords - 2);
  std::size_t wrong = 0;
  counter.ForEachWord([&](std::string_view joined, std::uint64_t count) {
    const std::size_t i = index_of(joined.substr(0, kLetters));
    const bool right = joined.size() == 3 * kLetters + 2 && joined[kLetters] == ' ' &&
                       joined[2 * kLetters + 1] == ' ' &&
                       index_of(joined.substr(kLetters + 1, kLetters)) == i + 1 &&
                       index_of(joined.substr(2 * kLetters + 2)) == i + 2 && count == 1;
    wrong += right ? 0 : 1;
  });
  EXPECT_EQ(wrong, 0u);
}

// A packed pair shares its slot with a count of a few bits; a pair seen more often
// than those hold is still counted exactly, also once its table has grown.
TEST(Ngrams, APairSeenMoreOftenThanItsSlotCountsIsCountedExactly) {
  constexpr std::size_t kRepeats = 600000;
  constexpr std::size_t kTail = 5000;
  std::string text;
  for (std::size_t i = 0; i < kRepeats; ++i) text += "a b ";
  for (std::size_t i = 0; i < kTail; ++i) text += "w" + std::to_string(i) + ' ';
  NgramSettings settings;
  settings.shortest = settings.longest = 2;
  Counts counted;
  CountedPacked(text, settings).ForEachWord([&](std::string_view joined, std::uint64_t count) {
    counted.emplace(joined, count);
  });
  EXPECT_EQ(counted.size(), 3 + kTail - 1);
  EXPECT_EQ(counted["a b"], kRepeats);
  EXPECT_EQ(counted["b a"], kRepeats - 1);
  EXPECT_EQ(counted["b w0"], 1u);
  EXPECT_EQ(counted["w4998 w4999"], 1u);
}

// A range counts the sequences whose first word begins in it, reading on past its
// end as far as they reach, even past a word longer than its first look ahead.
TEST(Ngrams, RangesCountedAndMergedEqualTheWholeFile) {
  testing::TempDir dir;
  std::mt19937 random(3);
  std::string text = RandomText(random, 400, false);
  const std::uint64_t before_long = text.size();
  text.append(200 << 10, 'l');
  text += " end of it. " + RandomText(random, 400, false);
  const auto path = dir.Write("text", text);
  std::uniform_int_distribution<std::uint64_t> at(0, text.size());
  for (const Case& c : kCases) {
    if (c.rule != WordRule::kDefault) continue;
    NgramSettings ngrams;
    ngrams.shortest = c.shortest;
    ngrams.longest = c.longest;
    ngrams.breaks = c.breaks;
    CorpusSettings settings;
    settings.fold_case = c.fold_case;
    for (int round = 0; round < 6; ++round) {
      std::vector<std::uint64_t> cuts = {at(random), at(random), before_long - 3, before_long + 1};
      for (int k = 0; k < round; ++k) cuts.push_back(at(random));
      EXPECT_EQ(testing::RangeSplitMismatch(path, InputEncoding::kUtf8, cuts, settings, ngrams), "")
          << c.name << ", round " << round;
    }
  }
}

// Sequences handed out one by one are the list, chosen and ordered as it is: the
// sums split between threads, two counted past 2^16 times, every order and choice.
TEST(Ngrams, StreamedSequencesAreTheListChosenAndOrderedAlike) {
  testing::TempDir dir;
  std::mt19937 random(17);
  std::string text = RandomText(random, 60000, false);
  for (int i = 0; i < 70000; ++i) text += "q r s r q ";
  for (int i = 0; i < 4000; ++i) text += "w" + std::to_string(i % 700) + " v ";
  for (int i = 0; i < 70000; ++i) text += "u" + std::to_string(i) + " ";
  const std::filesystem::path files[] = {dir.Write("text", text)};
  ListFilterSettings matching;
  // Builds without RE2 (the ARM one) filter by length alone.
  if (testing::HaveRegularExpressions()) matching.match = {"^[a-w]"};
  matching.max_length = 6;
  struct Choice {
    WordOrder order;
    std::uint64_t min_count;
    std::optional<std::uint64_t> top;
    bool filter;
    bool stop_the;
    unsigned shortest, longest;
  };
  const Choice choices[] = {
      {WordOrder::kCount, 0, {}, false, false, 2, 2},
      {WordOrder::kCountDesc, 0, {}, false, true, 2, 3},
      {WordOrder::kWord, 3, {}, true, false, 1, 3},
      {WordOrder::kCount, 2, 40, false, true, 3, 3},
      {WordOrder::kCountDesc, 0, 1000, true, true, 2, 2},
  };
  for (const Choice& choice : choices) {
    ExtractionOptions options;
    options.threads = 2;
    options.ngrams.shortest = choice.shortest;
    options.ngrams.longest = choice.longest;
    StopWords stop_words;
    if (choice.stop_the) stop_words.Add("the");
    CorpusSettings settings;
    settings.order = choice.order;
    settings.min_count = choice.min_count;
    settings.top = choice.top;
    if (choice.filter) settings.filter = std::make_shared<ListFilter>(matching);
    const CorpusRun listed = ExtractCorpus(files, options, settings, stop_words);
    settings.stream = true;
    CorpusRun streamed = ExtractCorpus(files, options, settings, stop_words);
    SCOPED_TRACE(std::to_string(&choice - choices));
    ASSERT_NE(streamed.streamed, nullptr);
    EXPECT_EQ(streamed.list.total, listed.list.total);
    EXPECT_EQ(streamed.list.distinct, listed.list.distinct);
    EXPECT_EQ(streamed.list.once, listed.list.once);
    std::vector<std::pair<std::string, std::uint64_t>> got;
    StreamWords(streamed, [&] {
      for (const CorpusWord& word : streamed.list.words) got.emplace_back(word.word, word.count);
    });
    ASSERT_EQ(got.size(), listed.list.words.size());
    for (std::size_t i = 0; i < got.size(); ++i) {
      ASSERT_EQ(got[i].first, listed.list.words[i].word) << i;
      ASSERT_EQ(got[i].second, listed.list.words[i].count) << i;
    }
  }
}

}  // namespace
}  // namespace lintavel
