#include "engine/word_rule.h"

#include <array>
#include <cstddef>

#include "engine/word_break.h"

namespace lintavel {

void CountWords(std::string_view text, const WordCutting& cutting, WordCounter& counter) {
  if (cutting.rule == WordRule::kDefault) {
    counter.CountText(text);
    return;
  }
  // Words are handed on a batch at a time, so that the counter prefetches their slots.
  std::array<std::string_view, 256> batch;
  std::size_t queued = 0;
  const char* const end = text.data() + text.size();
  const auto on_word = [&](std::string_view word) {
    batch[queued] = word;
    if (++queued == batch.size()) {
      counter.AddEach(batch, end);
      queued = 0;
    }
  };
  const UnicodeWordOptions options{.split_elisions = cutting.split_elisions};
  if (cutting.cp1252) {
    ForEachUnicodeWordCp1252(text, options, on_word);
  } else {
    ForEachUnicodeWord(text, options, on_word);
  }
  counter.AddEach(std::span<const std::string_view>(batch.data(), queued), end);
}

}  // namespace lintavel
