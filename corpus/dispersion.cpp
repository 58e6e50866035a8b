#include "corpus/dispersion.h"

#include "corpus/list_filters.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <limits>
#include <map>
#include <mutex>
#include <string>

namespace lintavel {

namespace {

// Juilland's D = 1 - V / sqrt(n - 1) for the coefficient of variation V over n
// parts, kept within [0, 1]: a word in one part only comes out a rounding error
// below 0, which would be written as -0.000000.
double JuillandD(double variation, double n) {
  return std::clamp(1 - variation / std::sqrt(n - 1), 0.0, 1.0);
}

}  // namespace

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
  scores.juilland_d = JuillandD(std::sqrt(variance) / mean, n);
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
  scores.juilland_d = JuillandD(std::sqrt(variance) / mean, n);
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

void PartCounts::AddWord(std::string_view word,
                         std::vector<std::pair<std::uint32_t, std::uint64_t>>&& counts) {
  if (counts.empty()) return;
  const auto found = words_.find(word);
  if (found == words_.end()) {
    words_.emplace(arena_.Store(word), std::move(counts));
    return;
  }
  for (const auto& [part, count] : counts) Add(part, word, count);
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

namespace {

// The way past the memory bound: each file a run of the engine of its own, whose
// tables spill as the bound says.
DispersedRun ExtractEachFile(std::span<const std::filesystem::path> files,
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

// Puts each file's words together from its blocks, which the counting threads hand
// on in no order, and adds whole files to the parts and the list in the order of
// the files: a file is held only until it and the files before it are counted (a
// file that could not be opened holds the ones after it until the run ends).
// The files held stay within a bound: past it, all is dropped and the run is
// stopped through `stop`, which also passes a cancellation of the caller's on.
class FileGatherer {
 public:
  FileGatherer(std::size_t files, WordEncoding encoding, bool fold_case, const StopWords* stop,
               DispersedRun& dispersed, std::uint64_t limit_bytes, const std::atomic<bool>* cancel,
               std::atomic<bool>& stop_run)
      : files_(files),
        encoding_(encoding),
        fold_case_(fold_case),
        stop_(stop),
        dispersed_(dispersed),
        merger_(encoding, false, nullptr),
        limit_(limit_bytes),
        cancel_(cancel),
        stop_run_(stop_run) {}

  // Takes the words of a block; called from any counting thread.
  void Take(const CountedBlock& block) {
    if (cancel_ != nullptr && cancel_->load(std::memory_order_relaxed)) {
      stop_run_.store(true, std::memory_order_relaxed);
    }
    std::lock_guard lock(mutex_);
    if (overflowed_) return;
    if (block.file == next_ && block.blocks == block.file_blocks) {
      // A file handed on whole needs no table of its own.
      Emit(block.file, block.words);
      ++next_;
    } else {
      Pending& pending = pending_[block.file];
      held_ -= pending.words.footprint();
      // The block's table is the run's to give: taken over, not copied.
      if (pending.words.distinct() == 0) {
        pending.words = std::move(*block.words);
      } else {
        pending.words.MergeFrom(std::move(*block.words));
      }
      held_ += pending.words.footprint();
      pending.blocks += block.blocks;
      if (block.file_end) pending.last = block.file_blocks;
    }
    EmitReady();
    if (limit_ != 0 && held_ > limit_) {
      overflowed_ = true;
      pending_.clear();
      stop_run_.store(true, std::memory_order_relaxed);
    }
  }

  // Whether the files held outgrew the bound, which stopped the run.
  bool overflowed() const { return overflowed_; }

  // Adds the files not added yet, in order, those with no block as empty parts, and
  // gives the list of them all.
  CorpusList Finish() && {
    for (; next_ < files_; ++next_) {
      const auto found = pending_.find(next_);
      Emit(next_, found == pending_.end() ? nullptr : &found->second.words);
      if (found != pending_.end()) pending_.erase(found);
    }
    return std::move(merger_).Take();
  }

 private:
  struct Pending {
    WordCounter words;
    std::uint64_t blocks = 0;                // taken so far
    std::uint64_t last = ~std::uint64_t{0};  // the file's blocks, once its last is taken
  };

  void EmitReady() {
    for (auto found = pending_.find(next_);
         found != pending_.end() && found->second.blocks == found->second.last;
         found = pending_.find(next_)) {
      Emit(next_, &found->second.words);
      held_ -= found->second.words.footprint();
      pending_.erase(found);
      ++next_;
    }
  }

  // Adds the words of file `file` to the list and as its part, folded and without
  // the stop words.
  void Emit(std::size_t file, const WordCounter* words) {
    const auto number = static_cast<std::uint32_t>(file);
    std::uint64_t size = 0;
    if (words != nullptr) {
      words->ForEachWord([&](std::string_view word, std::uint64_t count) {
        if (fold_case_) {
          folded_.clear();
          AppendFolded(word, encoding_, folded_);
          word = folded_;
        }
        if (stop_ != nullptr && stop_->Contains(word)) return;
        size += count;
        merger_.AddWord(file + 1, word, count);
        dispersed_.parts.Add(number, word, count);
      });
    }
    dispersed_.parts.EndPart(size);
  }

  std::size_t files_;
  WordEncoding encoding_;
  bool fold_case_;
  const StopWords* stop_;
  DispersedRun& dispersed_;
  CorpusMerger merger_;
  std::string folded_;
  std::uint64_t limit_;
  const std::atomic<bool>* cancel_;
  std::atomic<bool>& stop_run_;
  std::mutex mutex_;
  std::map<std::size_t, Pending> pending_;
  std::size_t next_ = 0;    // the next file to add
  std::uint64_t held_ = 0;  // bytes of the tables in `pending_`
  bool overflowed_ = false;
};

}  // namespace

DispersedRun ExtractCorpusByFile(std::span<const std::filesystem::path> files,
                                 const ExtractionOptions& options, const CorpusSettings& settings,
                                 const StopWords& stop_words) {
  const WordEncoding encoding =
      options.encoding == InputEncoding::kCp1252 ? WordEncoding::kCp1252 : WordEncoding::kUtf8;
  DispersedRun dispersed;
  // One run hands each file's words out; when the files held would outgrow the
  // tables' bound, it is stopped and each file is counted as a run of its own,
  // whose tables spill.
  std::atomic<bool> stop_run{false};
  FileGatherer gatherer(files.size(), encoding, settings.fold_case,
                        stop_words.empty() ? nullptr : &stop_words, dispersed, options.memory_limit,
                        options.cancel, stop_run);
  ExtractionOptions counting = options;
  counting.count_files = false;
  counting.on_block = [&gatherer](const CountedBlock& block) { gatherer.Take(block); };
  counting.blocks_only = true;
  counting.whole_files = true;
  counting.cancel = &stop_run;
  ExtractionResult counted = ExtractWords(files, counting);
  const bool cancelled =
      options.cancel != nullptr && options.cancel->load(std::memory_order_relaxed);
  if (gatherer.overflowed() && !cancelled) {
    dispersed = DispersedRun();
    return ExtractEachFile(files, options, settings, stop_words);
  }
  dispersed.run.reports = counted.reports;
  dispersed.run.files_read = counted.files_read;
  if (counted.cancelled || cancelled) {
    dispersed.run.cancelled = true;
    return dispersed;
  }
  if (!files.empty()) dispersed.run.list = std::move(gatherer).Finish();
  if (settings.filter != nullptr) FilterList(dispersed.run.list, *settings.filter);
  ShapeList(dispersed.run.list, settings.min_count, settings.top, settings.order);
  return dispersed;
}

}  // namespace lintavel
