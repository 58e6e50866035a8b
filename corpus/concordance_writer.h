#pragma once

#include <functional>
#include <span>
#include <string_view>

#include "corpus/concordance.h"
#include "corpus/list_writer.h"

namespace lintavel {

// Calls `write` with `lines` in `format`, UTF-8, CR LF after each line, a few
// hundred kilobytes at a time. Text: aligned columns file, line, left context
// (right-aligned to `width` characters), word, right context. TSV: file, line, left,
// word, right, no header, tabs and line ends in file names as blanks. CSV: the
// header "file,line,left,word,right", fields as the word lists quote them. JSON:
// {"word":...,"total":N,"lines":[{"file","line","left","word","right"},...]}.
void WriteConcordance(std::span<const ConcordanceLine> lines, std::string_view word,
                      ListFormat format, std::size_t width,
                      const std::function<void(std::string_view)>& write);

}  // namespace lintavel
