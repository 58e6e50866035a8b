#include "engine/spilled_words.h"

#include <algorithm>
#include <new>
#include <utility>

#include "engine/code_page.h"
#include "engine/extraction.h"

namespace lintavel {

namespace {

// What a word held for ordering costs besides its bytes: its entry, its files
// figure and its ranked copy while the chunk is sorted.
constexpr std::size_t kHeldWordBytes = sizeof(CountedWord) + 2 * sizeof(std::uint64_t) + 32;

// Runs `step`, turning a failing temporary folder or memory into the run's failure.
template <typename Step>
void AsOrdering(const Step& step) {
  try {
    step();
  } catch (const SpillFailure& failure) {
    throw ExtractionFailure(ExtractionFailure::Stage::kOrdering, failure.what());
  } catch (const std::bad_alloc&) {
    throw ExtractionFailure(ExtractionFailure::Stage::kOrdering,
                            "out of memory while ordering the distinct words");
  }
}

}  // namespace

SpilledWords::SpilledWords(std::unique_ptr<Spill> counted, WordEncoding encoding, bool with_files,
                           std::filesystem::path temp_dir, std::uint64_t memory_limit,
                           unsigned threads, const std::atomic<bool>* cancel)
    : counted_(std::move(counted)),
      encoding_(encoding),
      with_files_(with_files),
      temp_dir_(std::move(temp_dir)),
      memory_limit_(memory_limit),
      threads_(threads),
      cancel_(cancel) {}

SpilledWords::~SpilledWords() = default;

bool SpilledWords::ChunkFull() const {
  // Half the bound: the merge's read buffers and the writer take part of the rest.
  return chunk_bytes_.used() + chunk_.size() * kHeldWordBytes >= memory_limit_ / 2;
}

void SpilledWords::SortChunk() {
  OrderByCountThenWord(chunk_, encoding_, cancel_, threads_, with_files_ ? &chunk_files_ : nullptr);
}

void SpilledWords::SpillChunk() {
  SortChunk();
  if (!ordered_) ordered_ = std::make_unique<Spill>(temp_dir_, with_files_);
  const std::unique_ptr<SpillWriter> run = ordered_->NewRun(kNoFile, kNoFile);
  for (std::size_t i = 0; i < chunk_.size(); ++i) {
    run->Add({chunk_[i].word, chunk_[i].count, with_files_ ? chunk_files_[i] : 0});
  }
  run->Finish();
  chunk_.clear();
  chunk_files_.clear();
  chunk_bytes_ = WordArena();
}

void SpilledWords::Order(const std::function<bool(std::string_view, std::uint64_t)>& keep) {
  AsOrdering([&] {
    const std::uint64_t entries = counted_->stats().entries;
    // Reserved to the most a chunk holds, so that the lists never move as they grow.
    const auto most = static_cast<std::size_t>(
        std::min<std::uint64_t>(entries, memory_limit_ / 2 / kHeldWordBytes + 1));
    chunk_.reserve(most);
    if (with_files_) chunk_files_.reserve(most);
    counted_->Merge(static_cast<std::size_t>(memory_limit_ / 4),
                    [&](std::string_view word, std::uint64_t count, std::uint64_t files) {
                      if (!keep(word, count)) return;
                      if (ChunkFull()) SpillChunk();
                      chunk_.push_back({chunk_bytes_.Store(word), count});
                      if (with_files_) chunk_files_.push_back(files);
                    });
    // Merged: the counting's runs go back to the disk before the last chunk is sorted.
    counted_.reset();
    if (ordered_ && !chunk_.empty()) {
      SpillChunk();
    } else {
      SortChunk();
    }
    if (ordered_) {
      chunk_ = {};
      chunk_files_ = {};
    }
  });
}

void SpilledWords::ForEach(
    const std::function<void(std::string_view, std::uint64_t, std::uint64_t)>& take) {
  AsOrdering([&] {
    if (!ordered_) {
      for (std::size_t i = 0; i < chunk_.size(); ++i) {
        take(chunk_[i].word, chunk_[i].count, with_files_ ? chunk_files_[i] : 0);
      }
      chunk_ = {};
      chunk_files_ = {};
      chunk_bytes_ = WordArena();
      return;
    }
    const auto word_less = encoding_ == WordEncoding::kUtf8 ? Utf8Utf16Less : Utf16OrdinalLess;
    ordered_->Merge(static_cast<std::size_t>(memory_limit_ / 4), take,
                    [word_less](std::string_view a, std::uint64_t a_count, std::string_view b,
                                std::uint64_t b_count) {
                      return a_count != b_count ? a_count < b_count : word_less(a, b);
                    });
    ordered_.reset();
  });
}

}  // namespace lintavel
