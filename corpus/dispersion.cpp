#include "corpus/dispersion.h"

#include "corpus/list_filters.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>

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

SparseDispersion::SparseDispersion(std::span<const std::uint64_t> sizes) : sizes_(sizes) {
  for (const std::uint64_t size : sizes) {
    total_ += static_cast<double>(size);
    if (size != 0) ++with_words_;
  }
}

DispersionScores SparseDispersion::Score(
    std::span<const std::pair<std::uint32_t, std::uint64_t>> counts) const {
  DispersionScores scores;
  double frequency = 0;
  for (const auto& [part, count] : counts) frequency += static_cast<double>(count);
  if (frequency == 0 || total_ == 0) return scores;
  // The parts without the word add their shares of the words to DP's sum, and a
  // relative frequency of 0 to D's.
  double dp = 0;
  double shares = 0;
  double sum = 0;
  for (const auto& [part, count] : counts) {
    const double share = static_cast<double>(sizes_[part]) / total_;
    dp += std::abs(static_cast<double>(count) / frequency - share);
    shares += share;
    sum += static_cast<double>(count) / static_cast<double>(sizes_[part]);
  }
  scores.gries_dp = (dp + std::max(0.0, 1 - shares)) / 2;
  if (with_words_ < 2) return scores;
  const double n = static_cast<double>(with_words_);
  const double mean = sum / n;
  double variance = static_cast<double>(with_words_ - counts.size()) * mean * mean;
  for (const auto& [part, count] : counts) {
    const double x = static_cast<double>(count) / static_cast<double>(sizes_[part]);
    variance += (x - mean) * (x - mean);
  }
  variance /= n;
  scores.juilland_d = 1 - (std::sqrt(variance) / mean) / std::sqrt(n - 1);
  return scores;
}

void PartCounts::Add(std::uint32_t part, std::string_view word, std::uint64_t count) {
  auto found = words_.find(word);
  if (found == words_.end()) found = words_.emplace(arena_.Store(word), 0).first;
  auto& counts = found->second;
  // Words folded to one come more than once in a part.
  if (!counts.empty() && counts.back().first == part) {
    counts.back().second += count;
  } else {
    counts.emplace_back(part, count);
  }
}

void PartCounts::EndPart(std::uint64_t size) { sizes_.push_back(size); }

void PartCounts::AddPart(const CorpusList& part) {
  const auto number = static_cast<std::uint32_t>(sizes_.size());
  for (const CorpusWord& word : part.words) Add(number, word.word, word.count);
  EndPart(part.total);
}

std::span<const std::pair<std::uint32_t, std::uint64_t>> PartCounts::PartsOf(
    std::string_view word) const {
  const auto found = words_.find(word);
  if (found == words_.end()) return {};
  return found->second;
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
  ExtractionOptions counting = options;
  counting.count_files = false;
  const StopWords* stop = stop_words.empty() ? nullptr : &stop_words;
  DispersedRun dispersed;
  std::optional<CorpusMerger> merger;
  std::string folded;
  for (std::size_t i = 0; i < files.size(); ++i) {
    // Each file is a run of the engine; its words are folded and left out here, as
    // ExtractCorpus does, without shaping each part's list.
    ExtractionResult part = ExtractWords(files.subspan(i, 1), counting);
    dispersed.run.reports += part.reports;
    dispersed.run.files_read += part.files_read;
    if (part.cancelled) {
      dispersed.run.cancelled = true;
      return dispersed;
    }
    if (!merger) merger.emplace(part.encoding, false, nullptr);
    const auto number = static_cast<std::uint32_t>(i);
    std::uint64_t size = 0;
    for (const CountedWord& counted : part.words) {
      std::string_view word = counted.word;
      if (settings.fold_case) {
        folded.clear();
        AppendFolded(word, part.encoding, folded);
        word = folded;
      }
      if (stop != nullptr && stop->Contains(word)) continue;
      size += counted.count;
      merger->AddWord(i + 1, word, counted.count);
      dispersed.parts.Add(number, word, counted.count);
    }
    dispersed.parts.EndPart(size);
  }
  if (merger) dispersed.run.list = std::move(*merger).Take();
  if (settings.filter != nullptr) FilterList(dispersed.run.list, *settings.filter);
  ShapeList(dispersed.run.list, settings.min_count, settings.top, settings.order);
  return dispersed;
}

}  // namespace lintavel
