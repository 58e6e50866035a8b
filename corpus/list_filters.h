#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "corpus/word_list.h"

namespace lintavel {

// Which words of a list are listed. The filters look at the listed form (folded when
// the case is folded, the lemma or stem when words are grouped) and only choose what
// is listed: every word counted stays in the total, the distinct and the hapax
// figures, so the total is the size of the corpus.
struct ListFilterSettings {
  // RE2 patterns (linear time: no pattern can take exponential time) on the UTF-8 form
  // of the word, found anywhere in it unless anchored with ^ and $. A word is listed
  // when it matches every `match` pattern and no `exclude` pattern.
  std::vector<std::string> match;
  std::vector<std::string> exclude;
  // Lengths in characters: code points of UTF-8 words, bytes of Windows-1252 ones.
  std::optional<std::uint64_t> min_length;
  std::optional<std::uint64_t> max_length;
};

// A pattern that RE2 refuses; the text names the pattern and RE2's reason
// ("invalid regular expression '(ab': missing ): (ab").
class ListFilterError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class ListFilter {
 public:
  // Compiles the patterns of `settings`; throws ListFilterError.
  explicit ListFilter(const ListFilterSettings& settings);
  ~ListFilter();
  ListFilter(ListFilter&&) noexcept;
  ListFilter& operator=(ListFilter&&) noexcept;

  // True when the listed form `word`, in `encoding`, passes every filter. Safe to call
  // from several threads at once.
  bool Keeps(std::string_view word, WordEncoding encoding) const;

  // True when nothing is filtered.
  bool empty() const;

 private:
  struct Patterns;
  std::unique_ptr<Patterns> patterns_;
  std::optional<std::uint64_t> min_length_;
  std::optional<std::uint64_t> max_length_;
};

// Removes from `list` the words `filter` does not keep; the total, distinct and once
// figures stay those of every word counted. Goes before --min-count and --top, which
// then choose among the words that pass.
void FilterList(CorpusList& list, const ListFilter& filter);

}  // namespace lintavel
