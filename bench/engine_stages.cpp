// One micro-benchmark per stage of a run, on the shared corpus (or the file named by
// LINTAVEL_BENCH_INPUT). Each benchmark first checks its stage's result against the
// figures the corpus is known to give, so a stage that gets faster by being wrong
// fails instead of reporting a time.
#include <benchmark/benchmark.h>

#include <boost/unordered/unordered_flat_map.hpp>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>

#include "engine/extraction.h"
#include "engine/input_file.h"
#include "engine/word_counter.h"
#include "engine/word_hash.h"
#include "support/word_cutter.h"

namespace {

using lintavel::CountedWord;
using lintavel::WordCounter;

// Known figures of the shared corpus: words after cleaning and distinct words.
constexpr std::uint64_t kCorpusWords = 820'821;
constexpr std::size_t kCorpusDistinct = 17'532;

std::filesystem::path InputPath() {
  const char* chosen = std::getenv("LINTAVEL_BENCH_INPUT");
  return chosen != nullptr ? std::filesystem::path(chosen) : std::filesystem::path(LINTAVEL_CORPUS);
}

const std::string& Corpus() {
  static const std::string text = [] {
    std::ifstream in(InputPath(), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }();
  return text;
}

bool IsSharedCorpus() { return std::getenv("LINTAVEL_BENCH_INPUT") == nullptr; }

void Fail(benchmark::State& state, const std::string& what) { state.SkipWithError(what.c_str()); }

void BM_Read(benchmark::State& state) {
  std::string buffer(1 << 20, '\0');
  for (auto _ : state) {
    lintavel::InputFile file(InputPath());
    std::uint64_t bytes = 0;
    while (const std::size_t got = file.Read(buffer)) bytes += got;
    if (bytes != Corpus().size()) return Fail(state, "read a different number of bytes");
    benchmark::DoNotOptimize(bytes);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * Corpus().size()));
}

void BM_CutAndClean(benchmark::State& state) {
  std::string scratch;
  for (auto _ : state) {
    std::uint64_t words = 0;
    lintavel::ForEachWord(Corpus(), scratch, [&words](std::string_view) { ++words; });
    if (IsSharedCorpus() && words != kCorpusWords) return Fail(state, "wrong number of words");
    benchmark::DoNotOptimize(words);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * Corpus().size()));
}

void BM_Count(benchmark::State& state) {
  for (auto _ : state) {
    WordCounter counter;
    counter.CountText(Corpus());
    if (IsSharedCorpus() && counter.distinct() != kCorpusDistinct) {
      return Fail(state, "wrong number of distinct words");
    }
    benchmark::DoNotOptimize(counter);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * Corpus().size()));
}

// The same count with the general hash map that the engine's own table replaced,
// its keys views into an arena: the figure the table has to beat.
void BM_CountWithBoostMap(benchmark::State& state) {
  std::string scratch;
  for (auto _ : state) {
    boost::unordered_flat_map<std::string_view, std::uint64_t, lintavel::WordHash> counts;
    lintavel::WordArena storage;
    lintavel::ForEachWord(Corpus(), scratch, [&](std::string_view word) {
      const auto found = counts.find(word);
      if (found != counts.end()) {
        ++found->second;
      } else {
        counts.emplace(storage.Store(word), 1);
      }
    });
    if (IsSharedCorpus() && counts.size() != kCorpusDistinct) {
      return Fail(state, "wrong number of distinct words");
    }
    benchmark::DoNotOptimize(counts);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * Corpus().size()));
}

void BM_Order(benchmark::State& state) {
  WordCounter counter;
  counter.CountText(Corpus());
  lintavel::WordArena storage;
  std::vector<CountedWord> words = std::move(counter).TakeOrdered(storage);
  for (auto _ : state) {
    state.PauseTiming();
    std::vector<CountedWord> shuffled(words.rbegin(), words.rend());
    state.ResumeTiming();
    lintavel::OrderByCountThenWord(shuffled);
    if (shuffled.front().word != words.front().word) return Fail(state, "different order");
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * words.size()));
}

void BM_WholeRun(benchmark::State& state) {
  const std::filesystem::path input = InputPath();
  lintavel::ExtractionOptions options;
  options.threads = static_cast<unsigned>(state.range(0));
  for (auto _ : state) {
    const lintavel::ExtractionResult result = lintavel::ExtractWords({&input, 1}, options);
    if (IsSharedCorpus() && result.total != kCorpusWords) return Fail(state, "wrong total");
    benchmark::DoNotOptimize(result.words.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * Corpus().size()));
}

BENCHMARK(BM_Read)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CutAndClean)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Count)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CountWithBoostMap)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Order)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WholeRun)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
