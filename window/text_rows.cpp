#include "window/text_rows.h"

#include <algorithm>

#include "engine/code_page.h"

namespace lintavel {

namespace {

void DecodeInto(std::string_view bytes, char16_t* out) {
  for (const char byte : bytes) *out++ = DecodeCp1252(static_cast<unsigned char>(byte));
}

QString Decoded(std::string_view bytes) {
  QString text(static_cast<qsizetype>(bytes.size()), Qt::Uninitialized);
  DecodeInto(bytes, reinterpret_cast<char16_t*>(text.data()));
  return text;
}

}  // namespace

QStringView TextRows::View(std::size_t row, QString& scratch) const {
  if (!IsBytes(row)) return Utf16(rows_[row]);
  scratch = Decoded(long_words_[rows_[row].offset]);
  return scratch;
}

QString TextRows::Text(std::size_t row) const {
  if (!IsBytes(row)) return Utf16(rows_[row]).toString();
  return Decoded(long_words_[rows_[row].offset]);
}

QString TextRows::Start(std::size_t row, std::size_t limit) const {
  const std::size_t length = std::min(Length(row), limit);
  if (!IsBytes(row)) return Utf16(rows_[row]).first(static_cast<qsizetype>(length)).toString();
  return Decoded(long_words_[rows_[row].offset].substr(0, length));
}

bool TextRows::Equals(std::size_t row, QStringView text) const {
  if (!IsBytes(row)) return Utf16(rows_[row]) == text;
  const std::string_view word = long_words_[rows_[row].offset];
  if (word.size() != static_cast<std::size_t>(text.size())) return false;
  for (std::size_t i = 0; i < word.size(); ++i) {
    if (DecodeCp1252(static_cast<unsigned char>(word[i])) != text[static_cast<qsizetype>(i)]) {
      return false;
    }
  }
  return true;
}

void TextRows::Append(QStringView text) {
  rows_.push_back({buffer_.size(), static_cast<std::size_t>(text.size())});
  buffer_.append(reinterpret_cast<const char16_t*>(text.utf16()),
                 static_cast<std::size_t>(text.size()));
}

void TextRows::AppendWords(std::span<const CountedWord> words,
                           std::shared_ptr<const WordArena> storage) {
  const auto is_long = [&storage](const CountedWord& word) {
    return storage && word.word.size() > kLongWordBytes;
  };
  std::size_t characters = 0;
  bool any_long = false;
  for (const CountedWord& word : words) {
    if (is_long(word)) {
      any_long = true;
    } else {
      characters += word.word.size();
    }
  }
  buffer_.reserve(buffer_.size() + characters);
  rows_.reserve(rows_.size() + words.size());
  for (const CountedWord& word : words) {
    if (is_long(word)) {
      rows_.push_back({long_words_.size(), word.word.size() | kBytesRow});
      long_words_.push_back(word.word);
      continue;
    }
    const std::size_t offset = buffer_.size();
    buffer_.resize(offset + word.word.size());
    DecodeInto(word.word, buffer_.data() + offset);
    rows_.push_back({offset, word.word.size()});
  }
  if (any_long) storages_.push_back(std::move(storage));
}

void TextRows::AppendRows(TextRows&& other) {
  if (rows_.empty()) {
    std::swap(*this, other);
    return;
  }
  const std::size_t shift = buffer_.size();
  const std::size_t long_shift = long_words_.size();
  buffer_.append(other.buffer_);
  rows_.reserve(rows_.size() + other.rows_.size());
  for (const Row& row : other.rows_) {
    const bool bytes = (row.length & kBytesRow) != 0;
    rows_.push_back({row.offset + (bytes ? long_shift : shift), row.length});
  }
  long_words_.insert(long_words_.end(), other.long_words_.begin(), other.long_words_.end());
  storages_.insert(storages_.end(), other.storages_.begin(), other.storages_.end());
  unused_ += other.unused_;
  other.Clear();
}

void TextRows::Set(std::size_t row, QStringView text) {
  if (!IsBytes(row)) unused_ += rows_[row].length;
  rows_[row] = {buffer_.size(), static_cast<std::size_t>(text.size())};
  buffer_.append(reinterpret_cast<const char16_t*>(text.utf16()),
                 static_cast<std::size_t>(text.size()));
  if (unused_ > buffer_.size() / 2) Compact();
}

void TextRows::Remove(std::size_t row) {
  if (!IsBytes(row)) unused_ += rows_[row].length;
  rows_.erase(rows_.begin() + static_cast<std::ptrdiff_t>(row));
  if (unused_ > buffer_.size() / 2) Compact();
}

void TextRows::Clear() {
  std::u16string().swap(buffer_);
  std::vector<Row>().swap(rows_);
  std::vector<std::string_view>().swap(long_words_);
  std::vector<std::shared_ptr<const WordArena>>().swap(storages_);
  unused_ = 0;
}

void TextRows::Compact() {
  std::u16string packed;
  packed.reserve(buffer_.size() - unused_);
  for (Row& row : rows_) {
    if ((row.length & kBytesRow) != 0) continue;
    const std::size_t offset = packed.size();
    packed.append(buffer_, row.offset, row.length);
    row.offset = offset;
  }
  buffer_.swap(packed);
  unused_ = 0;
}

}  // namespace lintavel
