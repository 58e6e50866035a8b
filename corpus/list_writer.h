#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "corpus/word_list.h"

namespace lintavel {

// How the word list is written.
enum class ListFormat {
  kText,  // the word, CR LF (the window's saved results)
  kTsv,   // count TAB word [TAB files], CR LF
  kCsv,   // RFC 4180: a header "word,count[,files]", CR LF lines, UTF-8
  kJson,  // {"total":N,"distinct":N,"words":[{"word":...,"count":N[,"files":N]},...]}, UTF-8
};

// Calls `write` with the lines of `list` in `format`, a few hundred kilobytes at a
// time, so that no whole document is ever held. Text and TSV are in `output`; CSV
// and JSON always UTF-8. `with_files` adds the number of files of each word (not
// to text).
void WriteList(const CorpusList& list, ListFormat format, WordEncoding output, bool with_files,
               const std::function<void(std::string_view)>& write);

// Figures written after the usual ones on each row of a TSV, CSV or JSON list
// (never in text): `names` head the CSV columns and name the JSON members; `fill`
// gives the row's fields for the word at `row` of the list, already written as
// numbers, an empty field standing for no value (null in JSON).
struct ListColumns {
  std::vector<std::string> names;
  std::function<void(std::size_t row, std::vector<std::string>& fields)> fill;
};

// WriteList with the `extra` columns after the usual ones.
void WriteList(const CorpusList& list, ListFormat format, WordEncoding output, bool with_files,
               const ListColumns& extra, const std::function<void(std::string_view)>& write);

// The rows of a list or table on their way to `write`: the text is handed on a few
// hundred kilobytes at a time, so that no whole document is ever held.
class ChunkedRows {
 public:
  explicit ChunkedRows(const std::function<void(std::string_view)>& write) : write_(write) {}

  // The text not yet written, to append the next row to.
  std::string& chunk() { return chunk_; }
  // Whether no row has ended yet.
  bool first() const { return first_; }
  // Ends a row, and writes the text once it is large.
  void EndRow();
  // Ends the rows, with `json` the array and the object they are in, and writes
  // what is left.
  void Finish(bool json);

 private:
  const std::function<void(std::string_view)>& write_;
  std::string chunk_;
  bool first_ = true;
};

// Writes a list in parts, for a list whose words come a batch at a time: the head
// (the CSV header, the JSON figures) when made, then each batch, then the end.
class ListWriter {
 public:
  // Writes the head of `list` as WriteList would; `list`, `extra` and `write` must
  // outlive the writer.
  ListWriter(const CorpusList& list, ListFormat format, WordEncoding output, bool with_files,
             const ListColumns& extra, const std::function<void(std::string_view)>& write);
  ListWriter(const ListWriter&) = delete;
  ListWriter& operator=(const ListWriter&) = delete;

  // Writes the rows of the words now in the list; `extra` is asked for them by
  // their place in the list now.
  void WriteRows();
  // Writes the end of the list and what is left.
  void Finish();

 private:
  bool plain() const;

  const CorpusList& list_;
  ListFormat format_;
  WordEncoding output_;
  bool with_files_;
  const ListColumns& extra_;
  const std::function<void(std::string_view)>& write_;
  ChunkedRows rows_;
  std::unique_ptr<char[]> plain_buffer_;  // the plain list's rows on their way out
  std::vector<std::string> fields_;
  std::string utf8_;
};

// Appends `word`, written in `from`, to `out` in `to` ("?" for what `to` lacks).
void AppendWord(std::string_view word, WordEncoding from, WordEncoding to, std::string& out);

// Appends `field` as a CSV field (RFC 4180: quoted when it holds a comma, quote or
// line break).
void AppendCsvField(std::string_view field, std::string& out);

// Appends the UTF-8 `text` as a JSON string.
void AppendJsonString(std::string_view text, std::string& out);

// The figures of the words counted, one a line: total, distinct, seen once, and the
// type-token ratio (distinct / total, 0 for no words).
std::string StatsText(const CorpusList& list);

}  // namespace lintavel
