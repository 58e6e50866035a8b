// The word rules side by side on the same bytes: the default rule (blanks and line
// ends, ASCII punctuation removed), the Unicode word boundaries, and ICU's word
// iterator for comparison; each cuts and counts the shared corpus (or the file named by
// LINTAVEL_BENCH_INPUT) as UTF-8 (every
// repetition of it costs the same per byte, so the ratio is that of the corpus ×250),
// the corpus with "é" and "ä" for "e" and "a" (Latin beyond ASCII), and the Debian
// FAQ in seven languages (a mixed-script corpus with Chinese and Japanese). Before
// it times anything, each benchmark checks its words against the literal reference
// (or the known figures of the corpus).
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "corpus/lemma_list.h"
#include "corpus/list_filters.h"
#include "corpus/stemming.h"
#include "engine/word_break.h"
#include "engine/word_counter.h"
#include "support/word_break_reference.h"

#ifdef LINTAVEL_BENCH_ICU
#include <unicode/ubrk.h>
#include <unicode/utext.h>
#endif

namespace {

using lintavel::WordCounter;

constexpr std::uint64_t kCorpusWords = 820'821;  // by the default rule

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

std::string Gunzip(const std::string& path) {
  std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(("gzip -dc " + path).c_str(), "r"), pclose);
  std::string text;
  char buffer[65536];
  while (const std::size_t got = std::fread(buffer, 1, sizeof buffer, pipe.get()))
    text.append(buffer, got);
  return text;
}

enum Input { kCorpus, kLatin, kMixed };

const std::string& Text(Input input) {
  static const std::string corpus = [] {
    const char* chosen = std::getenv("LINTAVEL_BENCH_INPUT");
    return ReadFile(chosen != nullptr ? chosen : LINTAVEL_CORPUS);
  }();
  static const std::string latin = [] {
    std::string out;
    for (const char c : corpus) {
      if (c == 'e') {
        out += "\xC3\xA9";
      } else if (c == 'a') {
        out += "\xC3\xA4";
      } else {
        out += c;
      }
    }
    return out;
  }();
  static const std::string mixed = [] {
    std::string out;
    for (const char* language : {"en", "de", "fr", "it", "ru", "ja", "zh-cn"})
      out += Gunzip(std::string("/usr/share/doc/debian/FAQ/debian-faq.") + language + ".txt.gz");
    return out;
  }();
  return input == kCorpus ? corpus : input == kLatin ? latin : mixed;
}

// The words of the first 256 KiB (to a line end) must be those of the literal rules.
bool MatchesReference(Input input) {
  const std::string& text = Text(input);
  const std::string head = text.substr(0, text.find('\n', 256 * 1024) + 1);
  std::vector<std::string> words;
  lintavel::ForEachUnicodeWord(head, {}, [&](std::string_view word) { words.emplace_back(word); });
  return !head.empty() && words == lintavel::reference::Words(head);
}

void SetBytes(benchmark::State& state, Input input) {
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * Text(input).size()));
}

void BM_DefaultRule(benchmark::State& state) {
  const Input input = static_cast<Input>(state.range(0));
  for (auto _ : state) {
    WordCounter counter;
    counter.CountText(Text(input));
    if (input == kCorpus && std::getenv("LINTAVEL_BENCH_INPUT") == nullptr &&
        counter.distinct() != 17'532)
      return state.SkipWithError("wrong number of distinct words");
    benchmark::DoNotOptimize(counter);
  }
  SetBytes(state, input);
}

// Counts the words as a counting thread would: their views gathered a batch at a time
// and added with the counter's prefetching batch insert.
void CountUnicodeWords(std::string_view text, WordCounter& counter, std::uint64_t& total) {
  std::vector<std::string_view> batch;
  batch.reserve(256);
  const char* const end = text.data() + text.size();
  lintavel::ForEachUnicodeWord(text, {}, [&](std::string_view word) {
    batch.push_back(word);
    if (batch.size() == 256) {
      counter.AddEach(batch, end);
      total += batch.size();
      batch.clear();
    }
  });
  counter.AddEach(batch, end);
  total += batch.size();
}

void BM_UnicodeRule(benchmark::State& state) {
  const Input input = static_cast<Input>(state.range(0));
  if (!MatchesReference(input)) return state.SkipWithError("words differ from the reference");
  for (auto _ : state) {
    WordCounter counter;
    std::uint64_t total = 0;
    CountUnicodeWords(Text(input), counter, total);
    // The corpus has 820,821 blank-separated words; "Lord's" and "Israel's" stay one
    // word, and no word holds only punctuation, but "-" joins none.
    if (input == kCorpus && std::getenv("LINTAVEL_BENCH_INPUT") == nullptr && total < kCorpusWords)
      return state.SkipWithError("too few words");
    benchmark::DoNotOptimize(counter);
  }
  SetBytes(state, input);
}

void BM_UnicodeSegmentsOnly(benchmark::State& state) {
  const Input input = static_cast<Input>(state.range(0));
  if (!MatchesReference(input)) return state.SkipWithError("words differ from the reference");
  for (auto _ : state) {
    std::uint64_t total = 0;
    lintavel::ForEachUnicodeWord(Text(input), {}, [&](std::string_view) { ++total; });
    benchmark::DoNotOptimize(total);
  }
  SetBytes(state, input);
}

// What the list options add to a count of the corpus: none, a lemma list, the
// English stemmer (each distinct word stemmed once), the filters.
enum ListStep { kNone, kLemmas, kStems, kFilters };

void BM_CountThenListStep(benchmark::State& state) {
  const auto step = static_cast<ListStep>(state.range(0));
  const lintavel::LemmaList lemmas = lintavel::LemmaList::Parse(
      "be -> is, was, were, am, are, been\nhave -> has, had, hath\nsay -> said, saith\n"
      "come -> came, cometh\ngo -> went, goeth, gone\n",
      "bench", {});
  lintavel::ListFilterSettings settings;
  settings.match = {"^[a-z]"};
  settings.exclude = {"eth$"};
  settings.min_length = 3;
  const lintavel::ListFilter filter(settings);
  const std::string& text = Text(kCorpus);
  for (auto _ : state) {
    WordCounter counter;
    counter.CountText(text);
    lintavel::CorpusList list;
    for (const lintavel::CountedWord& word :
         std::move(counter).TakeOrdered(list.storage, lintavel::WordEncoding::kUtf8, nullptr, 1)) {
      list.words.push_back({word.word, word.count, 1});
      list.total += word.count;
    }
    const std::uint64_t total = list.total;
    const std::size_t distinct = list.words.size();
    if (step == kLemmas) lintavel::ApplyLemmas(list, lemmas);
    if (step == kStems) lintavel::ApplyStemming(list, "english", lintavel::StemShow::kStem);
    if (step == kFilters) lintavel::FilterList(list, filter);
    if (list.total != total) return state.SkipWithError("the total changed");
    if (step != kNone && list.words.size() >= distinct)
      return state.SkipWithError("no words were grouped or filtered");
    benchmark::DoNotOptimize(list);
  }
  SetBytes(state, kCorpus);
}
BENCHMARK(BM_CountThenListStep)
    ->Arg(kNone)
    ->Arg(kLemmas)
    ->Arg(kStems)
    ->Arg(kFilters)
    ->Unit(benchmark::kMillisecond);

#ifdef LINTAVEL_BENCH_ICU
void BM_IcuWordIterator(benchmark::State& state) {
  const Input input = static_cast<Input>(state.range(0));
  const std::string& text = Text(input);
  for (auto _ : state) {
    UErrorCode status = U_ZERO_ERROR;
    UText* utext = utext_openUTF8(nullptr, text.data(), static_cast<int64_t>(text.size()), &status);
    UBreakIterator* words = ubrk_open(UBRK_WORD, "", nullptr, 0, &status);
    ubrk_setUText(words, utext, &status);
    WordCounter counter;
    int32_t start = 0;
    for (int32_t end = ubrk_next(words); end != UBRK_DONE; end = ubrk_next(words)) {
      if (ubrk_getRuleStatus(words) >= UBRK_WORD_NONE_LIMIT)
        counter.Add(std::string_view(text).substr(start, end - start));
      start = end;
    }
    ubrk_close(words);
    utext_close(utext);
    if (!U_SUCCESS(status)) return state.SkipWithError(u_errorName(status));
    benchmark::DoNotOptimize(counter);
  }
  SetBytes(state, input);
}
BENCHMARK(BM_IcuWordIterator)
    ->Arg(kCorpus)
    ->Arg(kLatin)
    ->Arg(kMixed)
    ->Unit(benchmark::kMillisecond);
#endif

BENCHMARK(BM_DefaultRule)->Arg(kCorpus)->Arg(kLatin)->Arg(kMixed)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_UnicodeRule)->Arg(kCorpus)->Arg(kLatin)->Arg(kMixed)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_UnicodeSegmentsOnly)
    ->Arg(kCorpus)
    ->Arg(kLatin)
    ->Arg(kMixed)
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
