#pragma once

#include <optional>
#include <string>

#include "corpus/word_list.h"

namespace lintavel {

// Reads the word list with counts at `path`, by the rule of side files, into `list`:
// its words in `encoding` (a CSV list is UTF-8; TSV lines are taken as they are),
// folded when `fold_case`, without `stop_words` (may be null). Read are the lists
// that --format tsv and csv write ("count<TAB>word[<TAB>files]" and a
// "word,count[,files]" header), and "word<TAB>count" lines; the layout of a TSV
// list is that of its first line whose one field alone is a number. Blank lines
// are passed over. The total is the sum of the counts kept. Gives the message
// "FILE: line N: ..." for a line of no such layout, or why the file cannot be read.
std::optional<std::string> ReadReferenceList(const std::string& path, WordEncoding encoding,
                                             bool fold_case, const StopWords* stop_words,
                                             CorpusList& list);

}  // namespace lintavel
