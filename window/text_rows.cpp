#include "window/text_rows.h"

#include "engine/code_page.h"

namespace lintavel {

void TextRows::Append(QStringView text) {
  rows_.push_back({buffer_.size(), static_cast<std::size_t>(text.size())});
  buffer_.append(reinterpret_cast<const char16_t*>(text.utf16()),
                 static_cast<std::size_t>(text.size()));
}

void TextRows::AppendWords(std::span<const CountedWord> words) {
  std::size_t characters = 0;
  for (const CountedWord& word : words) characters += word.word.size();
  buffer_.reserve(buffer_.size() + characters);
  rows_.reserve(rows_.size() + words.size());
  for (const CountedWord& word : words) {
    rows_.push_back({buffer_.size(), word.word.size()});
    for (const char byte : word.word)
      buffer_.push_back(DecodeCp1252(static_cast<unsigned char>(byte)));
  }
}

void TextRows::AppendRows(TextRows&& other) {
  if (rows_.empty()) {
    std::swap(*this, other);
    return;
  }
  const std::size_t shift = buffer_.size();
  buffer_.append(other.buffer_);
  rows_.reserve(rows_.size() + other.rows_.size());
  for (const Row& row : other.rows_) rows_.push_back({row.offset + shift, row.length});
  unused_ += other.unused_;
  other.Clear();
}

void TextRows::Set(std::size_t row, QStringView text) {
  unused_ += rows_[row].length;
  rows_[row] = {buffer_.size(), static_cast<std::size_t>(text.size())};
  buffer_.append(reinterpret_cast<const char16_t*>(text.utf16()),
                 static_cast<std::size_t>(text.size()));
  if (unused_ > buffer_.size() / 2) Compact();
}

void TextRows::Remove(std::size_t row) {
  unused_ += rows_[row].length;
  rows_.erase(rows_.begin() + static_cast<std::ptrdiff_t>(row));
  if (unused_ > buffer_.size() / 2) Compact();
}

void TextRows::Clear() {
  std::u16string().swap(buffer_);
  std::vector<Row>().swap(rows_);
  unused_ = 0;
}

void TextRows::Compact() {
  std::u16string packed;
  packed.reserve(buffer_.size() - unused_);
  for (Row& row : rows_) {
    const std::size_t offset = packed.size();
    packed.append(buffer_, row.offset, row.length);
    row.offset = offset;
  }
  buffer_.swap(packed);
  unused_ = 0;
}

}  // namespace lintavel
