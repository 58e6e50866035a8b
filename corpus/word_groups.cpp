#include "corpus/word_groups.h"

#include <algorithm>
#include <vector>

#include <boost/unordered/unordered_flat_map.hpp>

#include "engine/code_page.h"
#include "engine/utf8.h"
#include "engine/word_hash.h"

namespace lintavel {

void GroupWords(CorpusList& list, const WordKey& key_of, GroupLabel label) {
  const auto less = [&](std::string_view a, std::string_view b) {
    return list.encoding == WordEncoding::kCp1252 ? Utf16OrdinalLess(a, b) : Utf8Utf16Less(a, b);
  };
  struct Group {
    CorpusWord listed;             // the label and the summed figures
    std::uint64_t best_count = 0;  // of the most frequent form so far
    std::string_view best_form;
  };
  boost::unordered_flat_map<std::string_view, std::size_t, WordHash,
                            std::equal_to<std::string_view>>
      index;
  std::vector<Group> groups;
  std::string scratch;
  for (const CorpusWord& word : list.words) {
    scratch.clear();
    const std::string_view key = key_of(word.word, scratch);
    auto found = index.find(key);
    if (found == index.end()) {
      const std::string_view stored = key == word.word ? word.word : list.storage.Store(key);
      found = index.emplace(stored, groups.size()).first;
      groups.push_back({{stored, 0, 0}, 0, {}});
    }
    Group& group = groups[found->second];
    group.listed.count += word.count;
    group.listed.files = std::max(group.listed.files, word.files);
    if (group.best_form.empty() || word.count > group.best_count ||
        (word.count == group.best_count && less(word.word, group.best_form))) {
      group.best_count = word.count;
      group.best_form = word.word;
    }
  }
  list.words.clear();
  list.words.reserve(groups.size());
  for (Group& group : groups) {
    if (label == GroupLabel::kMostFrequentForm) group.listed.word = group.best_form;
    list.words.push_back(group.listed);
  }
  std::sort(list.words.begin(), list.words.end(), [&](const CorpusWord& a, const CorpusWord& b) {
    return a.count != b.count ? a.count < b.count : less(a.word, b.word);
  });
  list.distinct = list.words.size();
  list.once = static_cast<std::uint64_t>(std::count_if(
      list.words.begin(), list.words.end(), [](const CorpusWord& w) { return w.count == 1; }));
}

}  // namespace lintavel
