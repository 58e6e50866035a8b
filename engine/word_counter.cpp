#include "engine/word_counter.h"

#include <algorithm>

#include "engine/code_page.h"
#include "engine/word_cutter.h"

namespace lintavel {

void WordCounter::CountText(std::string_view text) {
  ForEachWord(text, scratch_, [this](std::string_view word) { Add(word); });
}

void WordCounter::MergeFrom(WordCounter&& other) {
  if (other.counts_.size() > counts_.size()) std::swap(*this, other);
  for (const auto& [word, count] : other.counts_) {
    const auto [entry, inserted] = counts_.try_emplace(word, count);
    if (!inserted) entry->second += count;
  }
  // Words new to this counter still point into the other's storage.
  arena_.Absorb(std::move(other.arena_));
  other.counts_.clear();
}

std::vector<CountedWord> WordCounter::TakeOrdered(WordArena& storage, WordEncoding encoding,
                                                  const std::atomic<bool>* cancel) && {
  std::vector<CountedWord> words;
  words.reserve(counts_.size());
  for (const auto& [word, count] : counts_) words.push_back({word, count});
  decltype(counts_)().swap(counts_);
  storage.Absorb(std::move(arena_));
  OrderByCountThenWord(words, encoding, cancel);
  return words;
}

void OrderByCountThenWord(std::vector<CountedWord>& words, WordEncoding encoding,
                          const std::atomic<bool>* cancel) {
  const auto less = encoding == WordEncoding::kUtf8 ? Utf8Utf16Less : Utf16OrdinalLess;
  const auto by_count_then_word = [less](const CountedWord& a, const CountedWord& b) {
    if (a.count != b.count) return a.count < b.count;
    return less(a.word, b.word);
  };
  if (cancel == nullptr) {
    std::sort(words.begin(), words.end(), by_count_then_word);
    return;
  }
  // Millions of words take a good part of a second to order: look at the flag
  // every few thousand comparisons, so that a cancel is seen at once.
  std::uint32_t comparisons = 0;
  std::sort(words.begin(), words.end(), [&](const CountedWord& a, const CountedWord& b) {
    if (++comparisons % 4096 == 0 && cancel->load(std::memory_order_relaxed)) {
      throw OrderingCancelled{};
    }
    return by_count_then_word(a, b);
  });
}

}  // namespace lintavel
