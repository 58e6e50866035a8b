#pragma once

#include <functional>
#include <string>
#include <string_view>

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

// Appends `field` to `out` as a CSV field (RFC 4180): quoted, its quotes doubled,
// when it holds a comma, quote or line break.
void AppendCsvField(std::string_view field, std::string& out);

// Appends `text` to `out` as a JSON string: quotes, backslashes and control
// characters escaped.
void AppendJsonString(std::string_view text, std::string& out);

// The figures of the words counted, one a line: total, distinct, seen once, and the
// type-token ratio (distinct / total, 0 for no words).
std::string StatsText(const CorpusList& list);

}  // namespace lintavel
