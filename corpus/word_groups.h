#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "corpus/word_list.h"

namespace lintavel {

// What a group of words is listed as.
enum class GroupLabel {
  kKey,               // the key the words share (a lemma, a stem)
  kMostFrequentForm,  // its most frequent word (ties: the first in ordinal UTF-16 order)
};

// Gives the key of `word`: a view of `word` itself, of storage that outlives the call
// to GroupWords, or of `scratch`, which it may fill.
using WordKey = std::function<std::string_view(std::string_view word, std::string& scratch)>;

// Puts the words of `list` that have one key together: their counts add up, the files
// figure is the largest of theirs (exact when the list is of one run without files
// counted, where every figure is 1; with files counted, map the words before they
// are counted instead). Calls `key_of` once per listed word. The list stays least
// frequent first, ties in ordinal UTF-16 order; total stays, distinct and once are
// those of the groups.
void GroupWords(CorpusList& list, const WordKey& key_of, GroupLabel label);

}  // namespace lintavel
