#include "window/concordance_lines.h"

#include <QCoreApplication>
#include <QPointer>
#include <QThreadPool>
#include <QtConcurrent>
#include <algorithm>
#include <iterator>

namespace lintavel {

void ConcordanceLines::Append(std::vector<ConcordanceLine>&& lines) {
  for (ConcordanceLine& line : lines) {
    const std::size_t within = size_ % kBlockLines;
    if (within == 0) blocks_.push_back(std::make_shared<ConcordanceLine[]>(kBlockLines));
    blocks_.back()[within] = std::move(line);
    ++size_;
  }
}

std::vector<const ConcordanceLine*> SortedLines(const std::vector<ConcordanceLines::Block>& blocks,
                                                std::size_t count, KwicSort sort) {
  std::vector<const ConcordanceLine*> lines;
  lines.reserve(count);
  for (std::size_t index = 0; index < count; ++index) {
    lines.push_back(
        &blocks[index / ConcordanceLines::kBlockLines][index % ConcordanceLines::kBlockLines]);
  }
  SortConcordance(lines, sort);
  return lines;
}

QThreadPool& ConcordanceWorker() {
  // Owned by the application, which waits for it as it ends.
  static QPointer<QThreadPool> pool;
  if (!pool) {
    pool = new QThreadPool(QCoreApplication::instance());
    // A search, the one before it while it sees it is cancelled, a sort and a freeing.
    pool->setMaxThreadCount(4);
  }
  return *pool;
}

void DiscardLater(ConcordanceLines lines) {
  if (lines.empty() || !QCoreApplication::instance()) return;
  (void)QtConcurrent::run(&ConcordanceWorker(), [doomed = std::move(lines)] {});
}

}  // namespace lintavel
