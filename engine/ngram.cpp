#include "engine/ngram.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <utility>

#include "engine/text_rules.h"
#include "engine/word_break.h"

namespace lintavel {

namespace {

bool EndsSentence(char c) { return c == '.' || c == '!' || c == '?'; }

// Joined sequences waiting to be counted, handed to the counter a batch at a time
// so that it prefetches their slots; a view into the buffer is taken only when the
// batch is full, as the buffer may move while it grows.
class KeyBatch {
 public:
  explicit KeyBatch(WordCounter& counter) : counter_(counter) {}

  // Queues the words [first, last] that `word_at` gives, joined by one blank.
  template <class WordAt>
  void Add(const WordAt& word_at, std::size_t first, std::size_t last) {
    if (spans_.size() == kBatch) Flush();
    const std::size_t at = text_.size();
    for (std::size_t k = first; k <= last; ++k) {
      if (k != first) text_.push_back(' ');
      text_.append(word_at(k));
    }
    spans_.emplace_back(at, text_.size() - at);
  }

  // Counts what is queued.
  void Flush() {
    if (spans_.empty()) return;
    views_.clear();
    for (const auto& [at, size] : spans_) views_.emplace_back(text_.data() + at, size);
    counter_.AddEach(views_, text_.data() + text_.size());
    spans_.clear();
    text_.clear();
  }

 private:
  static constexpr std::size_t kBatch = 256;
  WordCounter& counter_;
  std::string text_;
  std::vector<std::pair<std::size_t, std::size_t>> spans_;
  std::vector<std::string_view> views_;
};

// Queues every sequence of `settings` among the `size` words of `word_at` (a
// sequence ending before each word where `break_at` says so) that
// `take(first, last)` accepts.
template <class WordAt, class BreakAt, class Take>
void AddSequences(const WordAt& word_at, const BreakAt& break_at, std::size_t size,
                  const NgramSettings& settings, const Take& take, KeyBatch& batch) {
  std::size_t run_start = 0;
  for (std::size_t last = 0; last < size; ++last) {
    if (break_at(last)) run_start = last;
    const std::size_t run = last - run_start + 1;
    for (std::size_t n = settings.shortest; n <= settings.longest && n <= run; ++n) {
      const std::size_t first = last + 1 - n;
      if (take(first, last)) batch.Add(word_at, first, last);
    }
  }
}

}  // namespace

bool NgramCounter::Cut(std::string_view text, const WordCutting& cutting,
                       const NgramSettings& settings, std::vector<NgramWord>& words) {
  words.clear();
  const bool at_lines = settings.breaks == NgramBreaks::kLine;
  const bool at_sentences = settings.breaks != NgramBreaks::kNone;
  bool pending = false;  // a sequence ends before the next word
  const auto add = [&](std::string_view word) {
    if (settings.is_stop && settings.is_stop(word)) {
      pending = true;
      return;
    }
    words.push_back({word, pending});
    pending = false;
  };
  if (cutting.rule == WordRule::kDefault) {
    // Reserved whole, so that the views into it stay valid.
    clean_.clear();
    clean_.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
      if (ClassOf(text[i]) == ByteClass::kSeparator) {
        pending = pending || (at_lines && (text[i] == '\n' || text[i] == '\r'));
        ++i;
        continue;
      }
      const std::size_t from = clean_.size();
      char last = 0;
      for (; i < text.size() && ClassOf(text[i]) != ByteClass::kSeparator; ++i) {
        if (text[i] != '\t') last = text[i];
        if (ClassOf(text[i]) == ByteClass::kWord) clean_.push_back(text[i]);
      }
      if (clean_.size() != from) add(std::string_view(clean_).substr(from));
      pending = pending || (at_sentences && EndsSentence(last));
    }
    return pending;
  }
  // The Unicode rule's words are views into the text: what lies between two of them
  // tells whether a line or a sentence ended there.
  const char* gap = text.data();
  const auto look = [&](const char* end) {
    for (; gap < end; ++gap) {
      pending = pending || (at_lines && (*gap == '\n' || *gap == '\r')) ||
                (at_sentences && EndsSentence(*gap));
    }
  };
  const auto on_word = [&](std::string_view word) {
    look(word.data());
    gap = word.data() + word.size();
    add(word);
  };
  const UnicodeWordOptions options{.split_elisions = cutting.split_elisions};
  if (cutting.cp1252) {
    ForEachUnicodeWordCp1252(text, options, on_word);
  } else {
    ForEachUnicodeWord(text, options, on_word);
  }
  look(text.data() + text.size());
  return pending;
}

void NgramCounter::CountBlock(std::string_view text, const WordCutting& cutting,
                              const NgramSettings& settings, WordCounter& counter,
                              NgramEdges& edges) {
  const bool break_after = Cut(text, cutting, settings, words_);
  KeyBatch batch(counter);
  const auto word_at = [&](std::size_t i) { return words_[i].word; };
  const auto break_at = [&](std::size_t i) { return words_[i].break_before; };
  AddSequences(
      word_at, break_at, words_.size(), settings, [](std::size_t, std::size_t) { return true; },
      batch);
  batch.Flush();
  edges = EdgesOf(words_, break_after, settings);
}

NgramEdges EdgesOf(std::span<const NgramWord> words, bool break_after,
                   const NgramSettings& settings) {
  NgramEdges edges;
  edges.break_after = break_after;
  const std::size_t reach = settings.longest - 1;
  const auto keep = [&](std::size_t i, bool broken) {
    edges.words.emplace_back(words[i].word);
    edges.break_before.push_back(broken || words[i].break_before ? 1 : 0);
  };
  if (words.size() <= 2 * reach) {
    for (std::size_t i = 0; i < words.size(); ++i) keep(i, false);
    return edges;
  }
  // The sequences between the two ends were counted with the block.
  for (std::size_t i = 0; i < reach; ++i) keep(i, false);
  for (std::size_t i = words.size() - reach; i < words.size(); ++i) {
    keep(i, i == words.size() - reach);
  }
  return edges;
}

void NgramCarry::Join(const NgramEdges& next, const NgramSettings& settings, WordCounter& counter) {
  if (next.words.empty()) {
    carried_.break_after = carried_.break_after || next.break_after;
    return;
  }
  const std::size_t before = carried_.words.size();
  NgramEdges all;
  all.words = carried_.words;
  all.break_before = carried_.break_before;
  all.words.insert(all.words.end(), next.words.begin(), next.words.end());
  all.break_before.insert(all.break_before.end(), next.break_before.begin(),
                          next.break_before.end());
  if (carried_.break_after) all.break_before[before] = 1;
  if (before != 0) {
    KeyBatch batch(counter);
    AddSequences(
        [&](std::size_t i) { return std::string_view(all.words[i]); },
        [&](std::size_t i) { return all.break_before[i] != 0; }, all.words.size(), settings,
        [before](std::size_t first, std::size_t last) { return first < before && last >= before; },
        batch);
    batch.Flush();
  }
  const std::size_t reach = settings.longest - 1;
  const std::size_t from = all.words.size() > reach ? all.words.size() - reach : 0;
  carried_.words.assign(
      std::make_move_iterator(all.words.begin() + static_cast<std::ptrdiff_t>(from)),
      std::make_move_iterator(all.words.end()));
  carried_.break_before.assign(all.break_before.begin() + static_cast<std::ptrdiff_t>(from),
                               all.break_before.end());
  carried_.break_after = next.break_after;
}

}  // namespace lintavel
