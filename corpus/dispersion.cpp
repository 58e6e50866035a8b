#include "corpus/dispersion.h"

#include <cmath>
#include <limits>

namespace lintavel {

DispersionScores ScoreDispersion(std::span<const std::uint64_t> counts,
                                 std::span<const std::uint64_t> sizes) {
  DispersionScores scores;
  double frequency = 0;
  double total = 0;
  for (std::size_t i = 0; i < counts.size(); ++i) {
    frequency += static_cast<double>(counts[i]);
    total += static_cast<double>(sizes[i]);
  }
  if (frequency == 0 || total == 0) return scores;
  // Gries's DP: half the sum of |observed share - expected share| over the parts.
  double dp = 0;
  for (std::size_t i = 0; i < counts.size(); ++i) {
    dp += std::abs(static_cast<double>(counts[i]) / frequency -
                   static_cast<double>(sizes[i]) / total);
  }
  scores.gries_dp = dp / 2;
  // Juilland's D = 1 - V / sqrt(n - 1), V the population standard deviation of the
  // parts' relative frequencies divided by their mean.
  std::vector<double> relative;
  for (std::size_t i = 0; i < counts.size(); ++i) {
    if (sizes[i] != 0) {
      relative.push_back(static_cast<double>(counts[i]) / static_cast<double>(sizes[i]));
    }
  }
  if (relative.size() < 2) return scores;
  const double n = static_cast<double>(relative.size());
  double mean = 0;
  for (const double x : relative) mean += x;
  mean /= n;
  double variance = 0;
  for (const double x : relative) variance += (x - mean) * (x - mean);
  variance /= n;
  scores.juilland_d = 1 - (std::sqrt(variance) / mean) / std::sqrt(n - 1);
  return scores;
}

void PartCounts::AddPart(const CorpusList& part) {
  const auto number = static_cast<std::uint32_t>(sizes_.size());
  sizes_.push_back(part.total);
  for (const CorpusWord& word : part.words) {
    auto found = words_.find(word.word);
    if (found == words_.end()) found = words_.emplace(arena_.Store(word.word), 0).first;
    found->second.emplace_back(number, word.count);
  }
}

void PartCounts::CountsOf(std::string_view word, std::vector<std::uint64_t>& counts) const {
  counts.assign(sizes_.size(), 0);
  const auto found = words_.find(word);
  if (found == words_.end()) return;
  for (const auto& [part, count] : found->second) counts[part] = count;
}

DispersedRun ExtractCorpusByFile(std::span<const std::filesystem::path> files,
                                 const ExtractionOptions& options, const CorpusSettings& settings,
                                 const StopWords& stop_words) {
  CorpusSettings each = settings;
  each.per_file = false;
  each.min_count = 0;
  each.top.reset();
  DispersedRun dispersed;
  std::optional<CorpusMerger> merger;
  for (std::size_t i = 0; i < files.size(); ++i) {
    CorpusRun part = ExtractCorpus(files.subspan(i, 1), options, each, stop_words);
    if (!merger) merger.emplace(part.list.encoding, false, nullptr);
    dispersed.run.reports += part.reports;
    dispersed.run.files_read += part.files_read;
    if (part.cancelled) {
      dispersed.run.cancelled = true;
      return dispersed;
    }
    for (const CorpusWord& word : part.list.words) merger->AddWord(i + 1, word.word, word.count);
    dispersed.parts.AddPart(part.list);
  }
  if (merger) dispersed.run.list = std::move(*merger).Take();
  ShapeList(dispersed.run.list, settings.min_count, settings.top, settings.order);
  return dispersed;
}

}  // namespace lintavel
