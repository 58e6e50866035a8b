#include "engine/ngram.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstddef>
#include <cstring>
#include <utility>

#include "engine/byte_scan.h"
#include "engine/text_rules.h"
#include "engine/word_break.h"

namespace lintavel {

namespace {

bool EndsSentence(char c) { return c == '.' || c == '!' || c == '?'; }

// Bytes after the last word that the counter may read: it loads short words 16
// bytes at a time.
constexpr std::size_t kLoadSlack = 16;

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
  // A word of the default rule is never longer than its token, and is followed by
  // one blank where its token was by a separator (or ended the text: one more
  // byte); Unicode words may touch (each ideograph is one), a blank after each.
  const std::size_t words_room =
      cutting.rule == WordRule::kDefault ? text.size() + 1 : 2 * text.size();
  const std::size_t room = words_room + kLoadSlack;
  if (capacity_ < room) {
    capacity_ = std::max(room, 2 * capacity_);
    clean_ = std::make_unique_for_overwrite<char[]>(capacity_);
  }
  char* out = clean_.get();
  const bool at_lines = settings.breaks == NgramBreaks::kLine;
  const bool at_sentences = settings.breaks != NgramBreaks::kNone;
  bool pending = false;  // a sequence ends before the next word
  // Keeps the word just written at `word` (up to `out`), unless it is a stop word.
  const auto keep = [&](char* word) {
    const std::string_view kept(word, static_cast<std::size_t>(out - word));
    if (settings.is_stop && settings.is_stop(kept)) {
      out = word;
      pending = true;
      return;
    }
    words.push_back({kept, pending});
    *out++ = ' ';
    pending = false;
  };
  if (cutting.rule == WordRule::kDefault) {
    // 64 bytes at a time from their separator and dropped-byte masks, as the word
    // counter cuts: a token's bytes are copied whole when none is dropped. Locals
    // only, so that the loop keeps them in registers.
    char* at = out;
    char* word = at;
    bool broken = pending;
    bool in_token = false;
    bool mark = false;  // the token's last byte but tabs is '.', '!' or '?'
    const bool has_stops = static_cast<bool>(settings.is_stop);
    const auto end_token = [&] {
      if (at != word) {
        const std::string_view kept(word, static_cast<std::size_t>(at - word));
        if (has_stops && settings.is_stop(kept)) {
          at = word;
          broken = true;
        } else {
          words.push_back({kept, broken});
          *at++ = ' ';
          broken = false;
        }
      }
      broken = broken || (at_sentences && mark);
      in_token = false;
    };
    char tail[64];
    for (std::size_t base = 0; base < text.size(); base += 64) {
      const char* q = text.data() + base;
      if (text.size() - base < 64) {
        // The end of the text ends its last token: blanks after it.
        std::memset(tail, ' ', sizeof tail);
        std::memcpy(tail, q, text.size() - base);
        q = tail;
      }
      const std::uint64_t separators = SeparatorMask(q);
      const std::uint64_t dropped = DroppedMask(q);
      for (int i = 0; i < 64;) {
        if (!in_token) {
          const std::uint64_t rest = ~separators >> i;
          const int token = rest == 0 ? 64 : i + std::countr_zero(rest);
          for (int k = i; at_lines && k < token; ++k) broken = broken || q[k] != ' ';
          i = token;
          if (i == 64) break;
          in_token = true;
          word = at;
          mark = false;
        }
        const std::uint64_t rest = separators >> i;
        const int stop = rest == 0 ? 64 : i + std::countr_zero(rest);
        const std::uint64_t span =
            (stop - i == 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << (stop - i)) - 1) << i;
        if ((dropped & span) == 0) {
          std::memcpy(at, q + i, static_cast<std::size_t>(stop - i));
          at += stop - i;
          mark = mark && stop == i;
        } else {
          for (int k = i; k < stop; ++k) {
            const ByteClass byte_class = ClassOf(q[k]);
            mark = q[k] == '\t' ? mark : EndsSentence(q[k]);
            *at = q[k];
            at += byte_class == ByteClass::kWord ? 1 : 0;
          }
        }
        i = stop;
        if (i < 64) end_token();
      }
    }
    if (in_token) end_token();
    return broken;
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
    char* const copy = out;
    std::memcpy(out, word.data(), word.size());
    out += word.size();
    keep(copy);
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
  const char* const readable_end =
      words_.empty() ? nullptr : words_.back().word.data() + words_.back().word.size() + 1;
  // The words of a sequence stand one blank apart in the buffer: it is one view.
  std::array<std::string_view, 256> batch;
  std::size_t queued = 0;
  std::size_t run_start = 0;
  for (std::size_t last = 0; last < words_.size(); ++last) {
    if (words_[last].break_before) run_start = last;
    const std::size_t run = last - run_start + 1;
    const char* const end = words_[last].word.data() + words_[last].word.size();
    for (std::size_t n = settings.shortest; n <= settings.longest && n <= run; ++n) {
      const char* const begin = words_[last + 1 - n].word.data();
      batch[queued] = std::string_view(begin, static_cast<std::size_t>(end - begin));
      if (++queued == batch.size()) {
        counter.AddEach(batch, readable_end + kLoadSlack);
        queued = 0;
      }
    }
  }
  counter.AddEach(std::span<const std::string_view>(batch.data(), queued),
                  readable_end == nullptr ? nullptr : readable_end + kLoadSlack);
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
