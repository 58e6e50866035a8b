// What the dispersion columns add to the Word Statistics window's run:
//   statistics_dispersion_cost FILE...
// Counts FILE... as the window's run did without them (ExtractCorpus with the files
// of each word) and as it does now (ExtractCorpusByFile, then every word scored),
// three times each in turn, and prints the processor time and the wall-clock time of
// each. The two lists are checked equal, and the scores one for each word, first.
#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <vector>

#include "corpus/corpus_run.h"
#include "corpus/dispersion.h"
#include "corpus/list_dispersion.h"

namespace {

using lintavel::CorpusList;

// The processor time of the process so far (all its threads), in seconds.
double ProcessorSeconds() {
  timespec now{};
  ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

double WallSeconds() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

bool SameList(const CorpusList& a, const CorpusList& b) {
  if (a.total != b.total || a.words.size() != b.words.size()) return false;
  for (std::size_t i = 0; i < a.words.size(); ++i) {
    if (a.words[i].word != b.words[i].word || a.words[i].count != b.words[i].count ||
        a.words[i].files != b.words[i].files) {
      return false;
    }
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: statistics_dispersion_cost FILE...\n");
    return 2;
  }
  const std::vector<std::filesystem::path> files(argv + 1, argv + argc);
  lintavel::ExtractionOptions options;  // the window's defaults: cp1252, the default rule
  lintavel::CorpusSettings settings;
  settings.per_file = true;
  const lintavel::StopWords no_stop_words;
  for (int round = 0; round < 3; ++round) {
    double cpu = ProcessorSeconds();
    double wall = WallSeconds();
    const lintavel::CorpusRun plain =
        lintavel::ExtractCorpus(files, options, settings, no_stop_words);
    const double plain_cpu = ProcessorSeconds() - cpu;
    const double plain_wall = WallSeconds() - wall;
    cpu = ProcessorSeconds();
    wall = WallSeconds();
    const lintavel::DispersedRun dispersed =
        lintavel::ExtractCorpusByFile(files, options, settings, no_stop_words);
    const auto scores = lintavel::ScoreListDispersion(dispersed.run.list, dispersed.parts);
    const double dispersed_cpu = ProcessorSeconds() - cpu;
    const double dispersed_wall = WallSeconds() - wall;
    if (!SameList(plain.list, dispersed.run.list) ||
        scores.size() != dispersed.run.list.words.size()) {
      std::fprintf(stderr, "the run with the scores lists other words than the plain run\n");
      return 1;
    }
    std::printf(
        "%zu files, %zu distinct words: plain run %.2f s processor, %.2f s wall; with the "
        "scores %.2f s processor (%.2fx), %.2f s wall\n",
        files.size(), plain.list.words.size(), plain_cpu, plain_wall, dispersed_cpu,
        dispersed_cpu / plain_cpu, dispersed_wall);
  }
  return 0;
}
