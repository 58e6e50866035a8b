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

bool SpilledWords::Less(std::string_view a, std::uint64_t a_count, std::string_view b,
                        std::uint64_t b_count) const {
  const auto word_less = encoding_ == WordEncoding::kUtf8 ? Utf8Utf16Less : Utf16OrdinalLess;
  switch (order_) {
    case StreamOrder::kCountThenWord:
      return a_count != b_count ? a_count < b_count : word_less(a, b);
    case StreamOrder::kCountDescThenWord:
      return a_count != b_count ? a_count > b_count : word_less(a, b);
    case StreamOrder::kWord:
      break;
  }
  return word_less(a, b);
}

void SpilledWords::SortChunk() {
  if (order_ == StreamOrder::kCountThenWord) {
    OrderByCountThenWord(chunk_, encoding_, cancel_, threads_,
                         with_files_ ? &chunk_files_ : nullptr);
    return;
  }
  if (cancel_ != nullptr && cancel_->load(std::memory_order_relaxed)) throw OrderingCancelled{};
  // The other orders are asked for less often: one thread, through a permutation
  // that puts the words and their files figures in place together.
  std::vector<std::uint32_t> order(chunk_.size());
  for (std::size_t i = 0; i < order.size(); ++i) order[i] = static_cast<std::uint32_t>(i);
  std::sort(order.begin(), order.end(), [this](std::uint32_t a, std::uint32_t b) {
    return Less(chunk_[a].word, chunk_[a].count, chunk_[b].word, chunk_[b].count);
  });
  std::vector<CountedWord> words;
  words.reserve(chunk_.capacity());
  for (const std::uint32_t i : order) words.push_back(chunk_[i]);
  chunk_.swap(words);
  if (with_files_) {
    std::vector<std::uint64_t> files;
    files.reserve(chunk_files_.capacity());
    for (const std::uint32_t i : order) files.push_back(chunk_files_[i]);
    chunk_files_.swap(files);
  }
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

CountTallies SpilledWords::Order(const WordChoice& choice, StreamOrder order) {
  order_ = order;
  CountTallier tallier;
  AsOrdering([&] {
    const std::uint64_t entries = counted_->stats().entries;
    // Reserved to the most a chunk holds, so that the lists never move as they grow.
    const auto most = static_cast<std::size_t>(
        std::min<std::uint64_t>(entries, memory_limit_ / 2 / kHeldWordBytes + 1));
    chunk_.reserve(most);
    if (with_files_) chunk_files_.reserve(most);
    counted_->Merge(static_cast<std::size_t>(memory_limit_ / 4),
                    [&](std::string_view word, std::uint64_t count, std::uint64_t files) {
                      if (!choice.Counts(word)) return;
                      const bool listed = choice.Lists(word, count);
                      tallier.Add(count, listed);
                      if (!listed) return;
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
  return tallier.Take();
}

void SpilledWords::ForEach(const std::function<void(std::span<const CorpusWord>)>& take) {
  AsOrdering([&] {
    constexpr std::size_t kBatch = 64 * 1024;
    std::vector<CorpusWord> batch;
    batch.reserve(kBatch);
    if (!ordered_) {
      for (std::size_t i = 0; i < chunk_.size(); ++i) {
        batch.push_back({chunk_[i].word, chunk_[i].count, with_files_ ? chunk_files_[i] : 0});
        if (batch.size() == kBatch || i + 1 == chunk_.size()) {
          take(batch);
          batch.clear();
        }
      }
      chunk_ = {};
      chunk_files_ = {};
      chunk_bytes_ = WordArena();
      return;
    }
    // The merge's views last for one word: each batch keeps copies.
    WordArena bytes;
    const auto flush = [&] {
      if (!batch.empty()) take(batch);
      batch.clear();
      bytes = WordArena();
    };
    ordered_->Merge(
        static_cast<std::size_t>(memory_limit_ / 4),
        [&](std::string_view word, std::uint64_t count, std::uint64_t files) {
          batch.push_back({bytes.Store(word), count, files});
          if (batch.size() == kBatch) flush();
        },
        [this](std::string_view a, std::uint64_t a_count, std::string_view b,
               std::uint64_t b_count) { return Less(a, a_count, b, b_count); });
    flush();
    ordered_.reset();
  });
}

}  // namespace lintavel
