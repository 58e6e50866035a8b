#include "corpus/list_dispersion.h"

#include <cstdio>
#include <string>

namespace lintavel {

namespace {

std::string Fixed(double value) {
  char text[64];
  std::snprintf(text, sizeof text, "%.6f", value);
  return text;
}

}  // namespace

std::vector<DispersionScores> ScoreListDispersion(const CorpusList& list, const PartCounts& parts,
                                                  const std::atomic<bool>* cancel) {
  std::vector<DispersionScores> scores;
  scores.reserve(list.words.size());
  std::vector<std::uint64_t> counts;
  for (const CorpusWord& word : list.words) {
    // A cancelled run is looked at now and then, not at every word.
    if (cancel != nullptr && (scores.size() & 0xffff) == 0 && *cancel) return {};
    parts.CountsOf(word.word, counts);
    scores.push_back(ScoreDispersion(counts, parts.sizes()));
  }
  return scores;
}

ListColumns DispersionColumns(std::span<const DispersionScores> scores) {
  ListColumns columns;
  columns.names = {"juilland_d", "gries_dp"};
  columns.fill = [scores](std::size_t row, std::vector<std::string>& fields) {
    const DispersionScores& word = scores[row];
    fields[0] = word.juilland_d ? Fixed(*word.juilland_d) : "";
    fields[1] = Fixed(word.gries_dp);
  };
  return columns;
}

}  // namespace lintavel
