#pragma once

#include <cstddef>
#include <memory>
#include <vector>

#include "corpus/concordance.h"

class QThreadPool;

namespace lintavel {

// Concordance lines in blocks that stay where they are once written: the store grows
// without copying what it holds, and a worker may read the lines already there while
// more are added.
class ConcordanceLines {
 public:
  static constexpr std::size_t kBlockLines = 4096;
  using Block = std::shared_ptr<ConcordanceLine[]>;

  ConcordanceLines() = default;
  ConcordanceLines(ConcordanceLines&&) noexcept = default;
  ConcordanceLines& operator=(ConcordanceLines&&) noexcept = default;

  std::size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  const ConcordanceLine& operator[](std::size_t index) const {
    return blocks_[index / kBlockLines][index % kBlockLines];
  }
  // Moves `lines` in after those already held.
  void Append(std::vector<ConcordanceLine>&& lines);
  // The blocks holding the lines; holding them keeps those lines alive and in place.
  const std::vector<Block>& blocks() const { return blocks_; }

 private:
  std::vector<Block> blocks_;
  std::size_t size_ = 0;
};

// The addresses of the first `count` lines held in `blocks`, in `sort` order.
std::vector<const ConcordanceLine*> SortedLines(const std::vector<ConcordanceLines::Block>& blocks,
                                                std::size_t count, KwicSort sort);

// The threads that search, sort and free concordance lines. Not the global pool:
// Qt's image conversions split their work over it and wait for every part, so work
// of seconds there would hold up the painting of the whole window.
QThreadPool& ConcordanceWorker();

// Frees `lines` on that worker, so that a million lines are not freed on the UI
// thread; at once when there is no application to run the worker.
void DiscardLater(ConcordanceLines lines);

}  // namespace lintavel
