#pragma once

#include <cstdint>
#include <map>
#include <string>

#include "corpus/word_list.h"

namespace lintavel::testing {

// A list of the words of `counts`, each seen in one file, in the order of the map.
inline CorpusList ListOf(const std::map<std::string, std::uint64_t>& counts,
                         WordEncoding encoding = WordEncoding::kUtf8) {
  CorpusList list;
  list.encoding = encoding;
  for (const auto& [word, count] : counts) {
    list.words.push_back({list.storage.Store(word), count, 1});
    list.total += count;
  }
  list.distinct = list.words.size();
  return list;
}

// The count of each word of `list`, the counts of a word listed twice added up.
inline std::map<std::string, std::uint64_t> CountsOf(const CorpusList& list) {
  std::map<std::string, std::uint64_t> counts;
  for (const CorpusWord& word : list.words) counts[std::string(word.word)] += word.count;
  return counts;
}

}  // namespace lintavel::testing
