#pragma once

#include <QString>
#include <QStringView>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "engine/word_arena.h"
#include "engine/word_counter.h"

namespace lintavel {

// The rows of a list: an ordered sequence of texts kept in one UTF-16 buffer, so
// that millions of rows cost little more than their characters. A very long word
// stays as the engine's Windows-1252 bytes, shared and never copied: a word of a
// gigabyte then costs the window nothing beyond what the engine gave it.
class TextRows {
 public:
  // Words longer than this many bytes are kept as bytes.
  static constexpr std::size_t kLongWordBytes = 4096;

  std::size_t size() const { return rows_.size(); }
  bool empty() const { return rows_.empty(); }

  // The number of characters of `row` (0-based).
  std::size_t Length(std::size_t row) const { return rows_[row].length & kLengthMask; }

  // The whole text of `row`: a view into the rows, or for a word kept as bytes its
  // decoding, held in `scratch`. Valid until the rows or `scratch` next change.
  QStringView View(std::size_t row, QString& scratch) const;
  // The whole text of `row` as a string of its own.
  QString Text(std::size_t row) const;
  // At most `limit` characters from the start of `row`; never decodes more.
  QString Start(std::size_t row, std::size_t limit) const;
  // True when `row` has exactly `text`.
  bool Equals(std::size_t row, QStringView text) const;

  void Append(QStringView text);
  // Appends one row per word, its Windows-1252 bytes decoded. With `storage`, the
  // arena that holds the words, a word longer than kLongWordBytes is not decoded
  // but kept as a view into it, and the rows share the arena from then on.
  void AppendWords(std::span<const CountedWord> words,
                   std::shared_ptr<const WordArena> storage = nullptr);
  // Appends every row of `other`, taking over its storage when this has none.
  void AppendRows(TextRows&& other);
  void Set(std::size_t row, QStringView text);
  void Remove(std::size_t row);
  void Clear();

 private:
  // A row whose length has this bit set is the word long_words_[offset].
  static constexpr std::size_t kBytesRow = std::size_t{1} << (sizeof(std::size_t) * 8 - 1);
  static constexpr std::size_t kLengthMask = kBytesRow - 1;

  struct Row {
    std::size_t offset;
    std::size_t length;
  };

  bool IsBytes(std::size_t row) const { return (rows_[row].length & kBytesRow) != 0; }
  QStringView Utf16(const Row& r) const {
    return QStringView(buffer_.data() + r.offset, static_cast<qsizetype>(r.length));
  }

  // Rewrites the buffer without the texts that no row uses any more.
  void Compact();

  std::u16string buffer_;
  std::vector<Row> rows_;
  std::vector<std::string_view> long_words_;
  std::vector<std::shared_ptr<const WordArena>> storages_;  // what long_words_ point into
  std::size_t unused_ = 0;  // characters in `buffer_` that no row refers to
};

}  // namespace lintavel
