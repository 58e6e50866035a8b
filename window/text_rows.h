#pragma once

#include <QStringView>
#include <span>
#include <string>
#include <vector>

#include "engine/word_counter.h"

namespace lintavel {

// The rows of a list: an ordered sequence of texts kept in one UTF-16 buffer, so
// that millions of rows cost little more than their characters.
class TextRows {
 public:
  std::size_t size() const { return rows_.size(); }
  bool empty() const { return rows_.empty(); }

  // The text of `row` (0-based); valid until the rows next change.
  QStringView At(std::size_t row) const {
    const Row& r = rows_[row];
    return QStringView(buffer_.data() + r.offset, static_cast<qsizetype>(r.length));
  }

  void Append(QStringView text);
  // Appends one row per word, its Windows-1252 bytes decoded.
  void AppendWords(std::span<const CountedWord> words);
  // Appends every row of `other`, taking over its storage when this has none.
  void AppendRows(TextRows&& other);
  void Set(std::size_t row, QStringView text);
  void Remove(std::size_t row);
  void Clear();

 private:
  struct Row {
    std::size_t offset;
    std::size_t length;
  };

  // Rewrites the buffer without the texts that no row uses any more.
  void Compact();

  std::u16string buffer_;
  std::vector<Row> rows_;
  std::size_t unused_ = 0;  // characters in `buffer_` that no row refers to
};

}  // namespace lintavel
