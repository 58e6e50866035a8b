#pragma once

#include <functional>
#include <initializer_list>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "engine/packed_sequences.h"
#include "engine/sequence_tables.h"
#include "engine/word_counter.h"
#include "engine/word_rule.h"

namespace lintavel {

// Where a sequence of words ends, besides a file's end and a stop word.
enum class NgramBreaks {
  kSentence,  // after a word whose token ended in '.', '!' or '?' (the default)
  kLine,      // at line ends and sentence ends
  kNone,      // only at a file's end and a stop word
};

// Which sequences of consecutive words are counted in place of the words.
struct NgramSettings {
  unsigned shortest = 1;  // in words, 1 to 8
  unsigned longest = 1;   // from shortest to 8; 1 counts the words themselves
  NgramBreaks breaks = NgramBreaks::kSentence;
  // True for a word (as counted: folded, in the words' encoding) that ends a
  // sequence and is never part of one; unset for none.
  std::function<bool(std::string_view)> is_stop;

  // Whether sequences of more than one word are counted at all.
  bool active() const { return longest > 1; }
};

// What the HTML filter gives out for a block element when sequences are counted:
// a sentence end that holds no word, so the word counts stay and no sequence
// runs across the element.
inline constexpr std::string_view kNgramBlockText = " . ";

// A word of a block and whether a sequence ends just before it.
struct NgramWord {
  std::string_view word;
  bool break_before = false;
};

// The words at the two ends of a block, owned: all the block's words when it holds
// few, else the first and the last (longest - 1), a break between the two.
struct NgramEdges {
  std::vector<std::string> words;
  std::vector<char> break_before;  // per word
  bool break_after = false;        // a sequence ends after the last word of the block
};

// Cuts blocks into words and counts their sequences; one per counting thread.
class NgramCounter {
 public:
  // Counts every sequence of `settings` lying wholly inside `text` (a block that
  // ends after a separator or at its file's end, cut as `cutting` says) into
  // `counter`, and gives the block's edges in `edges` for the sequences that cross
  // into its neighbours.
  void CountBlock(std::string_view text, const WordCutting& cutting, const NgramSettings& settings,
                  WordCounter& counter, NgramEdges& edges);

  // From now on keeps the sequences of two and three words that CountBlock counts
  // as tuples of word numbers, in tables of its own, until FlushInto hands them
  // on; for a counter that counts no files figures. Once the tables hold more
  // than half of `limit_bytes` (0: no bound) or of 64 MiB, CountBlock hands them
  // on, stops packing and adds `limit_bytes` to the counter's spill bound.
  void CountPacked(std::size_t limit_bytes) {
    packed_ = true;
    packed_limit_ = limit_bytes;
  }

  // Keeps packing past the 64 MiB cap, within half of `limit_bytes` only, for a run
  // whose sequences are ordered from their numbers at the end (PackedSequences):
  // there they are never joined one by one.
  void KeepPacked() { keep_packed_ = true; }

  // Whether the sequences are still kept as numbers: none was handed on for the
  // tables' size since CountPacked.
  bool packed() const { return packed_; }

  // The words numbered so far.
  const WordNumbers& numbers() const { return numbers_; }

  // Adds the sequences kept as numbers to `counter`, each once with its count,
  // and empties the tables.
  void FlushInto(WordCounter& counter);

  // Moves the sequences kept as numbers to `to` and drops the numbering, which `to`
  // ranked and copied before; the tables are left empty.
  void HandPackedTo(PackedSequences& to);

  // Cuts `text` as CountBlock does and gives only its words (stop words left out,
  // the breaks marked) in `words`, valid until the next call, each followed by one
  // blank so that consecutive words are one view; true when a sequence ends after
  // the last word.
  bool Cut(std::string_view text, const WordCutting& cutting, const NgramSettings& settings,
           std::vector<NgramWord>& words);

 private:
  // Counts the sequences of `text` as CountBlock does, from its words cut first.
  void CountCut(std::string_view text, const WordCutting& cutting, const NgramSettings& settings,
                WordCounter& counter, NgramEdges& edges);
  // Counts the sequences of two and three words of `text` (default rule) packed,
  // cutting and numbering its words in one pass, and gives its edges.
  void CountNumbered(std::string_view text, const NgramSettings& settings, WordCounter& counter,
                     NgramEdges& edges);
  // Cuts `text` by the default rule into numbered_ (stop words left out),
  // counting their sequences on the way; true when a sequence ends after the last
  // word.
  bool CutNumbered(std::string_view text, const NgramSettings& settings, WordCounter& counter);
  // CutNumbered's body, with the words' slots asked for ahead or not.
  template <bool kBatched>
  bool CutNumberedAs(std::string_view text, const NgramSettings& settings, WordCounter& counter);
  // Counts the sequences of two and three words that end at the block's words from
  // counted_ on.
  void CountSequences(const NgramSettings& settings, WordCounter& counter);
  // Adds the words numbered `numbers`, joined by one blank, to `counter`.
  void AddJoined(std::initializer_list<std::uint64_t> numbers, WordCounter& counter,
                 std::uint64_t count = 1);

  // The words cut, without their dropped bytes, each followed by one blank, and
  // room after them for the counter's 16-byte loads.
  std::unique_ptr<char[]> clean_;
  std::size_t capacity_ = 0;
  std::vector<NgramWord> words_;
  // Counting packed: the words' numbers in this thread, the numbers of the words of
  // the block, and the counts of the packed sequences of two and of three words.
  bool packed_ = false;
  bool keep_packed_ = false;
  std::size_t packed_limit_ = 0;
  WordNumbers numbers_;
  std::vector<std::uint64_t> block_numbers_;
  // Cutting and numbering in one pass: each word of the block as its number, with
  // kBreakBit set where a sequence ends before it. Four bytes a word, written
  // without a bound check, as the block's words are read back from the caches.
  std::unique_ptr<std::uint32_t[]> numbered_;
  std::size_t numbered_size_ = 0;
  std::size_t numbered_capacity_ = 0;
  std::size_t counted_ = 0;                 // the block's words whose sequences were counted
  std::size_t run_start_ = 0;               // the block's word after the last break among those
  std::vector<std::size_t> sentence_ends_;  // in the block's copy without dropped bytes
  std::vector<char> stops_{0};              // per number: the word is a stop word
  std::string joined_;
  PairCounts pairs_;
  TripleCounts triples_;
};

// Joins the blocks of one file taken in order: counts the sequences that cross from
// the blocks before into the next one.
class NgramCarry {
 public:
  // Counts into `counter` every sequence that begins in the blocks joined so far
  // and ends in the block whose edges are `next`, then carries `next` on.
  void Join(const NgramEdges& next, const NgramSettings& settings, WordCounter& counter);

 private:
  NgramEdges carried_;  // the last (longest - 1) words so far
};

// The edges of `words`, of a block after which a sequence ends when `break_after`.
NgramEdges EdgesOf(std::span<const NgramWord> words, bool break_after,
                   const NgramSettings& settings);

}  // namespace lintavel
