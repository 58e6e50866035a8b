#include "corpus/list_writer.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <span>

#include "engine/utf8.h"

namespace lintavel {

namespace {

constexpr std::size_t kChunk = 256 * 1024;

void AppendNumber(std::string_view before, std::uint64_t number, std::string& out) {
  out.append(before);
  out.append(std::to_string(number));
}

// Copies the `n` bytes at `from` to `to`, n from sizeof(Piece) to twice that, as
// two pieces that may overlap: one at the start and one at the end.
template <typename Piece>
void CopyByEnds(const char* from, std::size_t n, char* to) {
  Piece head;
  Piece tail;
  std::memcpy(&head, from, sizeof head);
  std::memcpy(&tail, from + n - sizeof tail, sizeof tail);
  std::memcpy(to, &head, sizeof head);
  std::memcpy(to + n - sizeof tail, &tail, sizeof tail);
}

// Copies a word of at most 16 bytes without a call; never reads or writes past it.
void CopyShort(const char* from, std::size_t n, char* to) {
  if (n >= 8) {
    CopyByEnds<std::uint64_t>(from, n, to);
  } else if (n >= 4) {
    CopyByEnds<std::uint32_t>(from, n, to);
  } else {
    for (std::size_t i = 0; i < n; ++i) to[i] = from[i];
  }
}

// The plain list in the words' own encoding, one a line, the list most often
// written with millions of words: copied straight into a buffer rather than by
// two appends to a string for each word and its line end; `buffer` holds kChunk
// bytes.
void WritePlainWords(std::span<const CorpusWord> words,
                     const std::function<void(std::string_view)>& write, char* buffer) {
  std::size_t used = 0;
  // The words lie where their table put them, not in the order of the list: their
  // bytes are asked for well ahead, or each is a cache miss of its own.
  constexpr std::size_t kAhead = 64;
  for (std::size_t i = 0; i < words.size(); ++i) {
    if (i + kAhead < words.size()) __builtin_prefetch(words[i + kAhead].word.data());
    const std::string_view word = words[i].word;
    if (word.size() + 2 > kChunk - used) {
      if (used != 0) write(std::string_view(buffer, used));
      used = 0;
      if (word.size() + 2 > kChunk) {
        write(word);
        write("\r\n");
        continue;
      }
    }
    char* const at = buffer + used;
    if (word.size() <= 16) {
      CopyShort(word.data(), word.size(), at);
    } else {
      std::memcpy(at, word.data(), word.size());
    }
    at[word.size()] = '\r';
    at[word.size() + 1] = '\n';
    used += word.size() + 2;
  }
  if (used != 0) write(std::string_view(buffer, used));
}

// Appends the `extra` fields, each after `separator`; in JSON as members.
void AppendExtra(const ListColumns& extra, const std::vector<std::string>& fields,
                 ListFormat format, std::string& out) {
  for (std::size_t i = 0; i < extra.names.size(); ++i) {
    if (format == ListFormat::kJson) {
      out.append(",\"").append(extra.names[i]).append("\":");
      out.append(fields[i].empty() ? std::string_view("null") : std::string_view(fields[i]));
    } else {
      out.push_back(format == ListFormat::kCsv ? ',' : '\t');
      out.append(fields[i]);
    }
  }
}

}  // namespace

void AppendWord(std::string_view word, WordEncoding from, WordEncoding to, std::string& out) {
  if (from == to) {
    out.append(word);
  } else if (to == WordEncoding::kUtf8) {
    AppendCp1252AsUtf8(word, out);
  } else {
    out.append(Utf8ToCp1252(word));
  }
}

// RFC 4180: a field with a comma, quote or line break is quoted, its quotes doubled.
void AppendCsvField(std::string_view field, std::string& out) {
  if (field.find_first_of(",\"\r\n") == field.npos) {
    out.append(field);
    return;
  }
  out.push_back('"');
  for (const char c : field) {
    if (c == '"') out.push_back('"');
    out.push_back(c);
  }
  out.push_back('"');
}

void AppendJsonString(std::string_view text, std::string& out) {
  out.push_back('"');
  for (const char c : text) {
    if (c == '"' || c == '\\') {
      out.push_back('\\');
      out.push_back(c);
    } else if (static_cast<unsigned char>(c) < 0x20) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(c));
      out.append(escaped);
    } else {
      out.push_back(c);
    }
  }
  out.push_back('"');
}

void ChunkedRows::EndRow() {
  first_ = false;
  if (chunk_.size() >= kChunk) {
    write_(chunk_);
    chunk_.clear();
  }
}

void ChunkedRows::Finish(bool json) {
  if (json) chunk_.append(first_ ? "]}\n" : "\n]}\n");
  if (!chunk_.empty()) write_(chunk_);
}

void WriteList(const CorpusList& list, ListFormat format, WordEncoding output, bool with_files,
               const std::function<void(std::string_view)>& write) {
  WriteList(list, format, output, with_files, ListColumns{}, write);
}

void WriteList(const CorpusList& list, ListFormat format, WordEncoding output, bool with_files,
               const ListColumns& extra, const std::function<void(std::string_view)>& write) {
  ListWriter writer(list, format, output, with_files, extra, write);
  writer.WriteRows();
  writer.Finish();
}

ListWriter::ListWriter(const CorpusList& list, ListFormat format, WordEncoding output,
                       bool with_files, const ListColumns& extra,
                       const std::function<void(std::string_view)>& write)
    : list_(list),
      format_(format),
      output_(output),
      with_files_(with_files),
      extra_(extra),
      write_(write),
      rows_(write),
      fields_(extra.names.size()) {
  if (plain()) {
    // Kept for every batch: a buffer this large is mapped afresh each time it is
    // allocated.
    plain_buffer_ = std::make_unique_for_overwrite<char[]>(kChunk);
    return;
  }
  std::string& chunk = rows_.chunk();
  chunk.reserve(kChunk + 256);
  if (format == ListFormat::kCsv) {
    chunk.append(with_files ? "word,count,files" : "word,count");
    for (const std::string& name : extra.names) chunk.append(",").append(name);
    chunk.append("\r\n");
  } else if (format == ListFormat::kJson) {
    AppendNumber("{\"total\":", list.total, chunk);
    AppendNumber(",\"distinct\":", list.distinct, chunk);
    chunk.append(",\"words\":[");
  }
}

bool ListWriter::plain() const { return format_ == ListFormat::kText && output_ == list_.encoding; }

void ListWriter::WriteRows() {
  if (plain()) {
    WritePlainWords(list_.words, write_, plain_buffer_.get());
    return;
  }
  std::string& chunk = rows_.chunk();
  for (std::size_t row = 0; row < list_.words.size(); ++row) {
    const CorpusWord& word = list_.words[row];
    if (!extra_.names.empty() && format_ != ListFormat::kText) extra_.fill(row, fields_);
    switch (format_) {
      case ListFormat::kText:
        AppendWord(word.word, list_.encoding, output_, chunk);
        chunk.append("\r\n");
        break;
      case ListFormat::kTsv:
        AppendNumber("", word.count, chunk);
        chunk.push_back('\t');
        AppendWord(word.word, list_.encoding, output_, chunk);
        if (with_files_) AppendNumber("\t", word.files, chunk);
        AppendExtra(extra_, fields_, format_, chunk);
        chunk.append("\r\n");
        break;
      case ListFormat::kCsv:
        utf8_.clear();
        AppendWord(word.word, list_.encoding, WordEncoding::kUtf8, utf8_);
        AppendCsvField(utf8_, chunk);
        AppendNumber(",", word.count, chunk);
        if (with_files_) AppendNumber(",", word.files, chunk);
        AppendExtra(extra_, fields_, format_, chunk);
        chunk.append("\r\n");
        break;
      case ListFormat::kJson:
        utf8_.clear();
        AppendWord(word.word, list_.encoding, WordEncoding::kUtf8, utf8_);
        chunk.append(rows_.first() ? "\n{\"word\":" : ",\n{\"word\":");
        AppendJsonString(utf8_, chunk);
        AppendNumber(",\"count\":", word.count, chunk);
        if (with_files_) AppendNumber(",\"files\":", word.files, chunk);
        AppendExtra(extra_, fields_, format_, chunk);
        chunk.push_back('}');
        break;
    }
    rows_.EndRow();
  }
}

void ListWriter::Finish() {
  if (!plain()) rows_.Finish(format_ == ListFormat::kJson);
}

std::string StatsText(const CorpusList& list) {
  const double ratio =
      list.total == 0 ? 0.0 : static_cast<double>(list.distinct) / static_cast<double>(list.total);
  char text[160];
  std::snprintf(text, sizeof text,
                "Total words: %llu\nDistinct words: %llu\nWords seen once: %llu\n"
                "Type-token ratio: %.4f\n",
                static_cast<unsigned long long>(list.total),
                static_cast<unsigned long long>(list.distinct),
                static_cast<unsigned long long>(list.once), ratio);
  return text;
}

}  // namespace lintavel
