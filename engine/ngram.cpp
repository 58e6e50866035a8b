#include "engine/ngram.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <limits>
#include <string>
#include <utility>

#include "engine/byte_scan.h"
#include "engine/sentence_ends.h"
#include "engine/squeeze.h"
#include "engine/text_rules.h"
#include "engine/word_break.h"

namespace lintavel {

namespace {

bool EndsSentence(char c) { return c == '.' || c == '!' || c == '?'; }

// Bytes after the last word that the counter may read: it loads short words 16
// bytes at a time.
constexpr std::size_t kLoadSlack = 16;

// The most that the packed tables hold before their sequences go to the counter
// as joined words.
constexpr std::size_t kPackedCapBytes = std::size_t{64} << 20;

// The words numbered past which their table (then 2^17 slots, 3 MiB) no longer
// fits a core's second-level cache: from then on their slots are asked for ahead.
// Below it, asking ahead costs more than the few misses it hides.
constexpr std::size_t kBatchedNumbers = std::size_t{1} << 15;

// The words numbered between two countings of their sequences, and the words
// numbered past which the tables miss the caches anyway and a block's sequences are
// counted so.
constexpr std::size_t kStretchWords = std::size_t{1} << 12;
constexpr std::size_t kStretchedNumbers = std::size_t{1} << 16;

// The bit of a numbered word that ends a sequence before it; the numbers stay below.
constexpr std::uint32_t kBreakBit = std::uint32_t{1} << 31;

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
  // Each byte may begin a new word: the block's numbers must stay below kBreakBit.
  if (packed_ && cutting.rule == WordRule::kDefault && settings.shortest >= 2 &&
      settings.longest <= 3 && numbers_.size() + text.size() < kBreakBit) {
    CountNumbered(text, settings, counter, edges);
  } else {
    CountCut(text, cutting, settings, counter, edges);
  }
  // Past half the bound, the next growth of a table could pass it; past the cap,
  // the sequences are so many distinct ones that most are seen once, and packing
  // them only adds their joining at the end. Either way the counter takes them,
  // spilling when it must, and counts the rest as joined words within the whole
  // bound.
  const std::size_t cap = keep_packed_ ? std::numeric_limits<std::size_t>::max() : kPackedCapBytes;
  const std::size_t limit = packed_limit_ != 0 ? std::min(packed_limit_, cap) : cap;
  const auto over = [&] {
    return 2 * (numbers_.footprint() + pairs_.footprint() + triples_.footprint()) > limit;
  };
  if (packed_ && over()) {
    // Logged sequences that repeat take less room counted.
    pairs_.Compact();
    triples_.Compact();
  }
  if (packed_ && over()) {
    FlushInto(counter);
    numbers_ = WordNumbers();
    stops_.assign(1, 0);
    packed_ = false;
    counter.SpillOver(counter.spill(), counter.spill_limit() + packed_limit_);
  }
}

void NgramCounter::CountCut(std::string_view text, const WordCutting& cutting,
                            const NgramSettings& settings, WordCounter& counter,
                            NgramEdges& edges) {
  const bool break_after = Cut(text, cutting, settings, words_);
  const char* const readable_end =
      words_.empty() ? nullptr
                     : words_.back().word.data() + words_.back().word.size() + 1 + kLoadSlack;
  const bool packed = packed_ && settings.shortest <= 3 && settings.longest >= 2;
  if (packed) {
    // The slots of a batch of words are asked for before any is looked up, so that
    // their cache misses overlap.
    block_numbers_.resize(words_.size());
    std::array<WordNumbers::Key, 64> keys;
    for (std::size_t from = 0; from < words_.size(); from += keys.size()) {
      const std::size_t batch = std::min(keys.size(), words_.size() - from);
      for (std::size_t i = 0; i < batch; ++i) {
        keys[i] = WordNumbers::KeyOf(words_[from + i].word);
        numbers_.Prefetch(keys[i]);
      }
      for (std::size_t i = 0; i < batch; ++i) block_numbers_[from + i] = numbers_.NumberOf(keys[i]);
    }
  }
  // The words of a sequence stand one blank apart in the buffer: it is one view.
  std::array<std::string_view, 256> batch;
  std::size_t queued = 0;
  std::array<std::uint64_t, 256> pairs;
  std::size_t queued_pairs = 0;
  std::array<std::uint64_t, 256> triples;
  std::size_t queued_triples = 0;
  std::size_t run_start = 0;
  for (std::size_t last = 0; last < words_.size(); ++last) {
    if (words_[last].break_before) run_start = last;
    const std::size_t run = last - run_start + 1;
    const char* const end = words_[last].word.data() + words_[last].word.size();
    for (std::size_t n = settings.shortest; n <= settings.longest && n <= run; ++n) {
      if (packed && n == 2) {
        const std::uint64_t a = block_numbers_[last - 1];
        const std::uint64_t b = block_numbers_[last];
        if (((a | b) >> kPairBits) == 0) {
          pairs[queued_pairs] = a << kPairBits | b;
          if (++queued_pairs == pairs.size()) {
            pairs_.AddEach(pairs);
            queued_pairs = 0;
          }
          continue;
        }
      } else if (packed && n == 3) {
        const std::uint64_t a = block_numbers_[last - 2];
        const std::uint64_t b = block_numbers_[last - 1];
        const std::uint64_t c = block_numbers_[last];
        if (((a | b | c) >> kTripleBits) == 0) {
          triples[queued_triples] = (a << kTripleBits | b) << kTripleBits | c;
          if (++queued_triples == triples.size()) {
            triples_.AddEach(triples);
            queued_triples = 0;
          }
          continue;
        }
      }
      const char* const begin = words_[last + 1 - n].word.data();
      batch[queued] = std::string_view(begin, static_cast<std::size_t>(end - begin));
      if (++queued == batch.size()) {
        counter.AddEach(batch, readable_end);
        queued = 0;
      }
    }
  }
  counter.AddEach(std::span<const std::string_view>(batch.data(), queued), readable_end);
  pairs_.AddEach(std::span<const std::uint64_t>(pairs.data(), queued_pairs));
  triples_.AddEach(std::span<const std::uint64_t>(triples.data(), queued_triples));
  edges = EdgesOf(words_, break_after, settings);
}

void NgramCounter::AddJoined(std::initializer_list<std::uint64_t> numbers, WordCounter& counter,
                             std::uint64_t count) {
  joined_.clear();
  for (const std::uint64_t number : numbers) {
    if (!joined_.empty()) joined_.push_back(' ');
    joined_.append(numbers_.WordOf(number));
  }
  counter.Add(joined_, count);
}

void NgramCounter::FlushInto(WordCounter& counter) {
  if (pairs_.empty() && triples_.empty()) return;
  constexpr std::uint64_t kPairMask = (std::uint64_t{1} << kPairBits) - 1;
  constexpr std::uint64_t kTripleMask = (std::uint64_t{1} << kTripleBits) - 1;
  pairs_.ForEach([&](std::uint64_t key, std::uint64_t count) {
    AddJoined({key >> kPairBits, key & kPairMask}, counter, count);
  });
  triples_.ForEach([&](std::uint64_t key, std::uint64_t count) {
    AddJoined({key >> (2 * kTripleBits), (key >> kTripleBits) & kTripleMask, key & kTripleMask},
              counter, count);
  });
  pairs_ = PairCounts();
  triples_ = TripleCounts();
}

void NgramCounter::HandPackedTo(PackedSequences& to) {
  to.AddTables(std::move(pairs_), std::move(triples_));
  numbers_ = WordNumbers();
  pairs_ = PairCounts();
  triples_ = TripleCounts();
}

template <bool kBatched>
bool NgramCounter::CutNumberedAs(std::string_view text, const NgramSettings& settings,
                                 WordCounter& counter) {
  numbered_size_ = 0;
  counted_ = 0;
  run_start_ = 0;
  const bool by_stretches = numbers_.size() >= kStretchedNumbers;
  const std::size_t size = text.size();
  // The text without its dropped bytes, then blanks that end its last word and let
  // 64-byte masks and 16-byte key loads run past it: its words are the runs between
  // separators, cut as the word counter cuts them.
  constexpr std::size_t kBlanks = 64 + kLoadSlack;
  const std::size_t room = size + std::max(kSqueezeSlack, kBlanks);
  if (capacity_ < room) {
    capacity_ = std::max(room, 2 * capacity_);
    clean_ = std::make_unique_for_overwrite<char[]>(capacity_);
  }
  char* const squeezed = clean_.get();
  sentence_ends_.clear();
  const std::size_t kept =
      settings.breaks == NgramBreaks::kNone
          ? SqueezeDropped(text.data(), size, squeezed)
          : SqueezeFindingSentenceEnds(text.data(), size, squeezed, sentence_ends_);
  std::memset(squeezed + kept, ' ', kBlanks);
  const bool at_lines = settings.breaks == NgramBreaks::kLine;
  sentence_ends_.push_back(std::numeric_limits<std::size_t>::max());
  const bool has_stops = static_cast<bool>(settings.is_stop);
  if (numbered_capacity_ < size / 2 + 1) {
    numbered_capacity_ = size / 2 + 1;
    numbered_ = std::make_unique_for_overwrite<std::uint32_t[]>(numbered_capacity_);
  }
  std::uint32_t* const numbered = numbered_.get();
  // A queued word keeps whether the text ended a sequence before it; `carry` is
  // what the words looked up so far leave for the next one (a stop word ends a
  // sequence).
  struct Queued {
    WordNumbers::Key key;
    bool broken;
  };
  bool carry = false;
  const auto look_up = [&](const Queued& word) __attribute__((always_inline)) {
    carry = carry || word.broken;
    const std::uint64_t number = numbers_.NumberOf(word.key);
    if (has_stops && number == stops_.size()) {
      stops_.push_back(settings.is_stop(numbers_.WordOf(number)) ? 1 : 0);
    }
    if (has_stops && stops_[number] != 0) {
      carry = true;
    } else {
      numbered[numbered_size_++] = static_cast<std::uint32_t>(number) | (carry ? kBreakBit : 0);
      carry = false;
    }
  };
  // With a large numbering a word's slot is asked for when the word is cut and
  // looked up kAhead words later, so that the cache misses of the words between
  // overlap (a power of two: the queue is a ring).
  constexpr std::size_t kAhead = kBatched ? 16 : 1;
  std::array<Queued, kAhead> queue;
  std::size_t queued = 0;
  std::size_t looked_up = 0;
  const std::size_t* next_end = sentence_ends_.data();
  std::size_t gap = 0;  // the separators since the last word begin here
  bool broken = false;  // a sequence ends before the next word
  const auto word = [&](std::size_t from, std::size_t to) __attribute__((always_inline)) {
    for (; at_lines && gap < from; ++gap) broken = broken || squeezed[gap] != ' ';
    gap = to;
    for (; *next_end < from; ++next_end) broken = true;
    const Queued next{WordNumbers::KeyOf(std::string_view(squeezed + from, to - from)), broken};
    broken = false;
    if constexpr (kBatched) {
      numbers_.Prefetch(next.key);
      if (queued - looked_up == kAhead) look_up(queue[looked_up++ % kAhead]);
      queue[queued++ % kAhead] = next;
    } else {
      look_up(next);
    }
    // With a large numbering the sequences are counted a stretch of words at a time,
    // while their numbers are still in the nearest caches; with a small one, after
    // the block, so that its tables take the caches in turn.
    if (by_stretches && numbered_size_ - counted_ >= kStretchWords) {
      CountSequences(settings, counter);
    }
  };
  ForEachSeparatedWord(squeezed, kept, 0, true, word);
  for (; at_lines && gap < kept; ++gap) broken = broken || squeezed[gap] != ' ';
  broken = broken || *next_end != std::numeric_limits<std::size_t>::max();
  while (looked_up < queued) look_up(queue[looked_up++ % kAhead]);
  return carry || broken;
}

bool NgramCounter::CutNumbered(std::string_view text, const NgramSettings& settings,
                               WordCounter& counter) {
  return numbers_.size() >= kBatchedNumbers ? CutNumberedAs<true>(text, settings, counter)
                                            : CutNumberedAs<false>(text, settings, counter);
}

void NgramCounter::CountSequences(const NgramSettings& settings, WordCounter& counter) {
  std::array<std::uint64_t, 256> pairs;
  std::size_t queued_pairs = 0;
  std::array<std::uint64_t, 256> triples;
  std::size_t queued_triples = 0;
  const std::uint32_t* const numbered = numbered_.get();
  const std::size_t end = numbered_size_;
  const bool count_pairs = settings.shortest <= 2 && settings.longest >= 2;
  const bool count_triples = settings.longest >= 3;
  std::size_t run_start = run_start_;
  for (std::size_t last = counted_; last < end; ++last) {
    if ((numbered[last] & kBreakBit) != 0) run_start = last;
    const std::size_t run = last - run_start + 1;
    if (count_pairs && run >= 2) {
      const std::uint64_t a = numbered[last - 1] & ~kBreakBit;
      const std::uint64_t b = numbered[last] & ~kBreakBit;
      if (((a | b) >> kPairBits) == 0) {
        pairs[queued_pairs] = a << kPairBits | b;
        if (++queued_pairs == pairs.size()) {
          pairs_.AddEach(pairs);
          queued_pairs = 0;
        }
      } else {
        AddJoined({a, b}, counter);
      }
    }
    if (count_triples && run >= 3) {
      const std::uint64_t a = numbered[last - 2] & ~kBreakBit;
      const std::uint64_t b = numbered[last - 1] & ~kBreakBit;
      const std::uint64_t c = numbered[last] & ~kBreakBit;
      if (((a | b | c) >> kTripleBits) == 0) {
        triples[queued_triples] = (a << kTripleBits | b) << kTripleBits | c;
        if (++queued_triples == triples.size()) {
          triples_.AddEach(triples);
          queued_triples = 0;
        }
      } else {
        AddJoined({a, b, c}, counter);
      }
    }
  }
  pairs_.AddEach(std::span<const std::uint64_t>(pairs.data(), queued_pairs));
  triples_.AddEach(std::span<const std::uint64_t>(triples.data(), queued_triples));
  counted_ = end;
  run_start_ = run_start;
}

void NgramCounter::CountNumbered(std::string_view text, const NgramSettings& settings,
                                 WordCounter& counter, NgramEdges& edges) {
  const bool break_after = CutNumbered(text, settings, counter);
  CountSequences(settings, counter);
  const std::uint32_t* const numbered = numbered_.get();
  // The edges as EdgesOf gives them: the words at both ends, a break between the
  // two when words lie between them.
  const std::size_t size = numbered_size_;
  const std::size_t reach = settings.longest - 1;
  words_.clear();
  const auto keep = [&](std::size_t i, bool broken) {
    words_.push_back(
        {numbers_.WordOf(numbered[i] & ~kBreakBit), broken || (numbered[i] & kBreakBit) != 0});
  };
  if (size <= 2 * reach) {
    for (std::size_t i = 0; i < size; ++i) keep(i, false);
  } else {
    for (std::size_t i = 0; i < reach; ++i) keep(i, false);
    for (std::size_t i = size - reach; i < size; ++i) keep(i, i == size - reach);
  }
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
