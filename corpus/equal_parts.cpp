#include "corpus/equal_parts.h"

#include <algorithm>
#include <atomic>
#include <bit>
#include <charconv>
#include <cstring>
#include <fstream>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <system_error>
#include <thread>
#include <type_traits>
#include <utility>
#include <vector>

#include "corpus/word_cuts.h"
#include "engine/block_text.h"
#include "engine/file_decoding.h"
#include "engine/range_extraction.h"
#include "engine/text_rules.h"
#include "engine/word_break.h"
#include "engine/word_counter.h"
#include "engine/word_rule.h"

namespace lintavel {

std::optional<std::string> ReadDispersionOver(std::string_view value, std::uint32_t& parts) {
  if (value == "files") {
    parts = 0;
    return std::nullopt;
  }
  constexpr std::string_view kParts = "parts=";
  if (!value.starts_with(kParts)) {
    return "unknown dispersion '" + std::string(value) + "' (files or parts=N)";
  }
  const std::string_view digits = value.substr(kParts.size());
  std::uint64_t number = 0;
  const char* const end = digits.data() + digits.size();
  const auto [stop, error] = std::from_chars(digits.data(), end, number);
  if (digits.empty() || error != std::errc() || stop != end || number < 2 ||
      number > kMaxEqualParts) {
    return "dispersion parts=N needs a number of parts from 2 to " +
           std::to_string(kMaxEqualParts) + ", not '" + std::string(digits) + "'";
  }
  parts = static_cast<std::uint32_t>(number);
  return std::nullopt;
}

EqualParts::EqualParts(std::uint64_t total, std::uint32_t parts)
    : parts_(parts), base_(total / parts), longer_(static_cast<std::uint32_t>(total % parts)) {}

namespace {

// Each kept word's counts in the parts, by the word's number, the parts in order.
class NumberedParts {
 public:
  void Add(std::uint32_t part, std::uint32_t number, std::uint64_t count) {
    if (number >= words_.size()) words_.resize(std::size_t{number} + 1);
    auto& counts = words_[number];
    if (!counts.empty() && counts.back().first == part) {
      counts.back().second += count;
    } else {
      counts.emplace_back(part, count);
    }
  }

  // Hands every word's counts on to `parts`, the word named by word_of(number).
  template <class WordOf>
  void MoveTo(PartCounts& parts, WordOf&& word_of) {
    for (std::size_t number = 0; number < words_.size(); ++number) {
      parts.AddWord(word_of(static_cast<std::uint32_t>(number)), std::move(words_[number]));
    }
    words_ = {};
  }

 private:
  std::vector<std::vector<std::pair<std::uint32_t, std::uint64_t>>> words_;
};

// The number of a kept word, or kNoNumber.
using NumberOfWord = std::function<std::uint32_t(std::string_view)>;
inline constexpr std::uint32_t kNoNumber = ~std::uint32_t{0};

// Gives each counted word its part by its position among the counted words, and
// hands a part's counts on when the next part begins. The words of a block are
// views into it, or into a copy where tabs or punctuation were taken out: they are
// counted a batch at a time (AddEach prefetches), before the block goes.
class PartAssigner {
 public:
  // With `numbered`, the counts go there by the words' numbers (`number_of`), and
  // to `counts` only the parts' sizes and any word without a number.
  PartAssigner(const EqualParts& parts, const StopWords* stop_words, PartCounts& counts,
               NumberedParts* numbered = nullptr, NumberOfWord number_of = {})
      : parts_(parts),
        stop_words_(stop_words),
        counts_(counts),
        numbered_(numbered),
        number_of_(std::move(number_of)) {
    boundary_ = parts_.SizeOf(0);
    SkipEmptyParts();
  }

  // Begins a block whose words lie in [text, text_end) or [copies, copies_end), each
  // readable to its end.
  void BeginBlock(const char* text_end, const char* copies_end) {
    text_end_ = text_end;
    copies_end_ = copies_end;
  }

  void OnWord(std::string_view word, bool copied) {
    if (stop_words_ != nullptr && stop_words_->Contains(word)) return;
    EndPartIfFull();
    ++position_;
    ++size_;
    std::vector<std::string_view>& pending = copied ? copied_ : plain_;
    pending.push_back(word);
    if (pending.size() == kBatch) Flush();
  }

  // Whether the next block, of `words` counted words whose counts `for_each` hands
  // to the function it is given (stop words left out), lies within one part: its
  // counts are then that part's, and false leaves the block to be given word by word.
  template <class ForEach>
  bool TakeWholeBlock(std::uint64_t words, ForEach&& for_each) {
    if (words == 0) return true;
    EndPartIfFull();
    if (position_ + words > boundary_ && current_ + 1 < parts_.parts()) return false;
    for_each([&](std::string_view word, std::uint64_t count) { counter_.Add(word, count); });
    position_ += words;
    size_ += words;
    return true;
  }

  // TakeWholeBlock for counts by word number.
  bool TakeWholeNumbered(std::uint64_t words,
                         std::span<const std::pair<std::uint32_t, std::uint64_t>> counts) {
    if (words == 0) return true;
    EndPartIfFull();
    if (position_ + words > boundary_ && current_ + 1 < parts_.parts()) return false;
    for (const auto& [number, count] : counts) numbered_->Add(current_, number, count);
    position_ += words;
    size_ += words;
    return true;
  }

  // The next block's `words` counted words cut into the stretches that lie each
  // within one part, in order, as (part, words); parts of no words left out.
  void PiecesOf(std::uint64_t words, std::vector<std::pair<std::uint32_t, std::uint64_t>>& pieces) {
    pieces.clear();
    std::uint32_t part = current_;
    std::uint64_t boundary = boundary_;
    std::uint64_t position = position_;
    while (words != 0) {
      if (position == boundary && part + 1 < parts_.parts()) {
        boundary += parts_.SizeOf(++part);
        continue;
      }
      const std::uint64_t room = part + 1 < parts_.parts() ? boundary - position : words;
      const std::uint64_t taken = std::min(room, words);
      pieces.emplace_back(part, taken);
      position += taken;
      words -= taken;
    }
  }

  // Adds the counts of a stretch of `words` words, by word number, to the part it
  // lies in: the next piece of PiecesOf.
  void TakePiece(std::uint64_t words,
                 std::span<const std::pair<std::uint32_t, std::uint64_t>> counts) {
    EndPartIfFull();
    for (const auto& [number, count] : counts) numbered_->Add(current_, number, count);
    position_ += words;
    size_ += words;
  }

  const StopWords* stop_words() const { return stop_words_; }

  // Counts what the block gave; its views go with it.
  void EndBlock() { Flush(); }

  // Ends the current part and every part after it.
  void Finish() {
    Flush();
    while (current_ < parts_.parts()) EndPart();
  }

 private:
  static constexpr std::size_t kBatch = 256;

  void Flush() {
    // An empty batch would still give the table its first slots.
    if (!plain_.empty()) counter_.AddEach(plain_, text_end_);
    if (!copied_.empty()) counter_.AddEach(copied_, copies_end_);
    plain_.clear();
    copied_.clear();
  }

  // Moves on to the next part when the current one has all its words.
  void EndPartIfFull() {
    if (position_ == boundary_ && current_ + 1 < parts_.parts()) {
      EndPart();
      boundary_ += parts_.SizeOf(current_);
      SkipEmptyParts();
    }
  }

  // Parts of no words (more parts than words) end where they begin.
  void SkipEmptyParts() {
    while (position_ == boundary_ && current_ + 1 < parts_.parts() &&
           parts_.SizeOf(current_) == 0) {
      EndPart();
      boundary_ += parts_.SizeOf(current_);
    }
  }

  void EndPart() {
    Flush();
    // In no order: the parts' counts are looked up by word.
    counter_.ForEachWord([&](std::string_view word, std::uint64_t count) {
      const std::uint32_t number = numbered_ != nullptr ? number_of_(word) : kNoNumber;
      if (number == kNoNumber) {
        counts_.Add(current_, word, count);
      } else {
        numbered_->Add(current_, number, count);
      }
    });
    counter_ = WordCounter();
    counts_.EndPart(size_);
    size_ = 0;
    ++current_;
  }

  const EqualParts& parts_;
  const StopWords* stop_words_;
  PartCounts& counts_;
  NumberedParts* numbered_;
  NumberOfWord number_of_;
  WordCounter counter_;
  std::vector<std::string_view> plain_;
  std::vector<std::string_view> copied_;
  const char* text_end_ = nullptr;
  const char* copies_end_ = nullptr;
  std::uint64_t position_ = 0;
  std::uint64_t boundary_ = 0;  // the position at which the current part ends
  std::uint32_t current_ = 0;
  std::uint64_t size_ = 0;
};

// Hands each word of the decoded `text` to `assigner`, in order, cut as `options`
// say; `copies` holds the words that lose tabs or punctuation.
void AssignWords(std::string_view text, const ExtractionOptions& options, bool cp1252,
                 std::vector<char>& copies, PartAssigner& assigner) {
  if (options.words == WordRule::kUnicode) {
    assigner.BeginBlock(text.data() + text.size(), nullptr);
    const UnicodeWordOptions rule{.split_elisions = options.split_elisions};
    const auto on_word = [&](std::string_view word) { assigner.OnWord(word, false); };
    if (cp1252) {
      ForEachUnicodeWordCp1252(text, rule, on_word);
    } else {
      ForEachUnicodeWord(text, rule, on_word);
    }
    assigner.EndBlock();
    return;
  }
  // Room for every byte of the block and 16 more, so that a copied word can be read
  // 16 bytes at a time.
  copies.resize(text.size() + 16);
  assigner.BeginBlock(text.data() + text.size(), copies.data() + copies.size());
  std::size_t copied = 0;
  ForEachDefaultToken(text, [&](const char* begin, const char* end, bool dropped) {
    if (!dropped) {
      assigner.OnWord(std::string_view(begin, static_cast<std::size_t>(end - begin)), false);
      return;
    }
    const std::size_t first = copied;
    for (const char* c = begin; c != end; ++c) {
      if (ClassOf(*c) == ByteClass::kWord) copies[copied++] = *c;
    }
    if (copied != first) {
      assigner.OnWord(std::string_view(copies.data() + first, copied - first), true);
    }
  });
  assigner.EndBlock();
}

// A block of text, counted (on a thread of its own while the block before it is
// placed, unless `overlap` is off) and then placed in its parts.
class BlockPipeline {
 public:
  BlockPipeline(const ExtractionOptions& options, PartAssigner& assigner, bool overlap)
      : options_(options), assigner_(assigner), overlap_(overlap) {}
  BlockPipeline(const BlockPipeline&) = delete;
  BlockPipeline& operator=(const BlockPipeline&) = delete;
  // A block still counting is waited for.
  ~BlockPipeline() {
    if (pending_ && pending_->counted.valid()) pending_->counted.wait();
  }

  void Add(std::string_view text, bool cp1252) {
    auto next = std::make_unique<Block>();
    next->text.assign(text);
    next->cp1252 = cp1252;
    next->cutting = {options_.words, options_.split_elisions, cp1252};
    if (overlap_) {
      try {
        next->counted = std::async(std::launch::async, [block = next.get()] {
          WordCounter counter;
          CountWords(block->text, block->cutting, counter);
          return counter;
        });
      } catch (const std::system_error&) {
        // No thread to be had: the block is counted when it is placed.
      }
    }
    if (pending_) Place(*pending_);
    pending_ = std::move(next);
  }

  void Finish() {
    if (pending_) Place(*pending_);
    pending_.reset();
  }

 private:
  struct Block {
    std::string text;
    bool cp1252 = false;
    WordCutting cutting;
    std::future<WordCounter> counted;
  };

  // Most blocks lie within one part: counted as the engine counts, only the blocks
  // across a part's end are placed word by word.
  void Place(Block& block) {
    WordCounter counter;
    if (block.counted.valid()) {
      counter = block.counted.get();
    } else {
      CountWords(block.text, block.cutting, counter);
    }
    const StopWords* stop = assigner_.stop_words();
    std::uint64_t words = 0;
    counter.ForEachWord([&](std::string_view word, std::uint64_t count) {
      if (stop == nullptr || !stop->Contains(word)) words += count;
    });
    const auto for_each = [&](const auto& add) {
      counter.ForEachWord([&](std::string_view word, std::uint64_t count) {
        if (stop == nullptr || !stop->Contains(word)) add(word, count);
      });
    };
    if (!assigner_.TakeWholeBlock(words, for_each)) {
      AssignWords(block.text, options_, block.cp1252, copies_, assigner_);
    }
  }

  const ExtractionOptions& options_;
  PartAssigner& assigner_;
  bool overlap_;
  std::unique_ptr<Block> pending_;
  std::vector<char> copies_;
};

// Reads `files` a second time, in order, to place the words of `dispersed.run`
// in `parts` equal parts: the way when the blocks' counts would outgrow the
// memory bound.
void ReadInParts(std::span<const std::filesystem::path> files, const ExtractionOptions& options,
                 const CorpusSettings& settings, const StopWords& stop_words, std::uint32_t parts,
                 DispersedRun& dispersed) {
  const EqualParts equal(dispersed.run.list.total, parts);
  const WordEncoding encoding = dispersed.run.list.encoding;
  // The second reading reports nothing: the first has said what failed.
  ExtractionOptions reading = options;
  reading.progress = nullptr;
  if (settings.fold_case) {
    // Folded in the text before it is cut, as a count of files per word folds it.
    reading.transform_text = [encoding](std::string_view text, std::string& out) {
      AppendFolded(text, encoding, out);
    };
  }
  PartAssigner assigner(equal, stop_words.empty() ? nullptr : &stop_words, dispersed.parts);
  BlockPipeline pipeline(options, assigner, options.threads != 1);
  for (const std::filesystem::path& file : files) {
    const FileDecoding decoding = DecodingOf(file, options.encoding);
    const bool cp1252 = decoding == FileDecoding::kCp1252;
    const bool read = ReadFileText(file, decoding, reading, nullptr,
                                   [&](std::string_view text) { pipeline.Add(text, cp1252); });
    if (!read) {
      dispersed.run.cancelled = true;
      return;
    }
  }
  pipeline.Finish();
  assigner.Finish();
}

// The counts of one block, kept until the words before it are all counted: only
// then is its first word's place, and so its part, known.
struct KeptBlock {
  std::size_t file = 0;
  std::uint64_t sequence = 0;
  std::uint64_t offset = 0;
  std::size_t size = 0;
  FileDecoding decoding = FileDecoding::kCp1252;
  bool file_start = false;
  bool file_end = false;
  bool big_endian = false;
  std::uint64_t words = 0;                                      // counted, stop words left out
  std::vector<std::pair<std::uint32_t, std::uint64_t>> counts;  // by word number
};

// Keeps the counts of each block that the counting threads hand on (from several at
// once, in no order), its words folded and stop words left out, each word kept
// once and named by its number.
class BlockKeeper {
 public:
  // Keeps at most about `limit_bytes` (0: no bound). With `listing_bound`, takes the
  // blocks' words away from the counting threads, the list to be made from the
  // blocks (TakeList), for as long as a thread's table holding every word kept
  // would stay within that many bytes (0: no bound); past it they are handed back.
  BlockKeeper(WordEncoding encoding, bool fold_case, const StopWords* stop,
              std::uint64_t limit_bytes, std::optional<std::uint64_t> listing_bound)
      : encoding_(encoding),
        fold_case_(fold_case),
        stop_(stop),
        limit_(limit_bytes),
        listing_(listing_bound.has_value()),
        listing_bound_(listing_bound.value_or(0)) {}

  // Keeps the counts of `block`; once they would outgrow the bound, drops all and
  // keeps nothing more.
  void Take(const CountedBlock& block) {
    WordCounter taken;  // freed once the lock is given back
    std::lock_guard lock(mutex_);
    if (overflowed_) return;
    KeptBlock kept{.file = block.file,
                   .sequence = block.sequence,
                   .offset = block.offset,
                   .size = block.size,
                   .decoding = block.decoding,
                   .file_start = block.file_start,
                   .file_end = block.file_end,
                   .big_endian = block.big_endian,
                   .words = 0,
                   .counts = {}};
    kept.counts.reserve(block.words->distinct());
    block.words->ForEachWord([&](std::string_view word, std::uint64_t count) {
      if (fold_case_) {
        folded_.clear();
        AppendFolded(word, encoding_, folded_);
        word = folded_;
      }
      if (stop_ != nullptr && stop_->Contains(word)) return;
      kept.counts.emplace_back(NumberOf(word), count);
      kept.words += count;
    });
    const std::size_t earlier = blocks_.size();
    // A block of no words takes no place.
    if (kept.words != 0) {
      held_ += kept.counts.capacity() * sizeof(kept.counts[0]) + sizeof(KeptBlock);
      blocks_.push_back(std::move(kept));
    }
    const bool overflow = limit_ != 0 && held_ + WordBytes() > limit_;
    if (listing_) {
      if (overflow || TableCouldOutgrow()) {
        HandBack(*block.words, earlier);
      } else {
        taken = std::move(*block.words);
      }
    }
    if (overflow) {
      overflowed_ = true;
      blocks_ = {};
      numbers_ = {};
      short_numbers_ = {};
      words_ = {};
      arena_ = WordArena();
    }
  }

  // Whether the list is to be made from the blocks: the threads were left no words.
  bool listing() const { return listing_; }

  // Whether the counts outgrew the bound and were dropped.
  bool overflowed() const { return overflowed_; }

  // The blocks kept, in the order of the files and of each file.
  std::vector<KeptBlock>& InOrder() {
    std::sort(blocks_.begin(), blocks_.end(), [](const KeptBlock& a, const KeptBlock& b) {
      return a.file != b.file ? a.file < b.file : a.sequence < b.sequence;
    });
    return blocks_;
  }

  std::string_view WordOf(std::uint32_t number) const { return words_[number]; }

  // The number of a word kept, or kNoNumber.
  std::uint32_t Find(std::string_view word) const {
    if (word.size() <= kShortWord) {
      const auto found = short_numbers_.find(ShortOf(word));
      return found == short_numbers_.end() ? kNoNumber : found->second;
    }
    const auto found = numbers_.find(word);
    return found == numbers_.end() ? kNoNumber : found->second;
  }

  std::size_t words() const { return words_.size(); }

  // The list of the words kept, as the engine would give it from counts of its own
  // (least frequent first, ties in ordinal order), which takes the words' bytes:
  // WordOf and Find still name them. Throws OrderingCancelled once `cancel` is set.
  CorpusList TakeList(const std::atomic<bool>* cancel, unsigned threads) {
    std::vector<std::uint64_t> totals(words_.size(), 0);
    for (const KeptBlock& block : blocks_) {
      for (const auto& [number, count] : block.counts) totals[number] += count;
    }
    ExtractionResult result;
    result.encoding = encoding_;
    result.words.reserve(words_.size());
    for (std::size_t number = 0; number < words_.size(); ++number) {
      result.words.push_back({words_[number], totals[number]});
    }
    totals = {};
    OrderByCountThenWord(result.words, encoding_, cancel, threads);
    result.storage = std::move(arena_);
    return ListOfRun(std::move(result), nullptr);
  }

 private:
  // What the words kept once each take: their bytes, their numbers and the table.
  std::uint64_t WordBytes() const {
    return arena_.used() + words_.capacity() * sizeof(std::string_view) +
           numbers_.bucket_count() * (sizeof(std::string_view) + sizeof(std::uint32_t) + 1) +
           short_numbers_.bucket_count() * (sizeof(ShortWord) + sizeof(std::uint32_t) + 1);
  }

  // Whether a counting thread's table of every word kept so far, and of every stop
  // word, could take more than listing_bound_: slots of 24 bytes at most half full,
  // an old and a new table at once while it grows, and the words' bytes.
  bool TableCouldOutgrow() const {
    if (listing_bound_ == 0) return false;
    const std::size_t words = words_.size() + (stop_ != nullptr ? stop_->size() : 0);
    const std::uint64_t slots = std::bit_ceil(std::max<std::size_t>(2048, 4 * words + 4));
    return 3 * 24 * slots + arena_.used() > listing_bound_;
  }

  // Puts the counts of the first `blocks` blocks kept into `words`, for the
  // counting thread to take with them: from now on the threads count as they do
  // without a keeper.
  void HandBack(WordCounter& words, std::size_t blocks) {
    listing_ = false;
    std::vector<std::uint64_t> totals(words_.size(), 0);
    for (std::size_t i = 0; i < blocks; ++i) {
      for (const auto& [number, count] : blocks_[i].counts) totals[number] += count;
    }
    for (std::size_t number = 0; number < totals.size(); ++number) {
      if (totals[number] != 0) words.Add(words_[number], totals[number]);
    }
  }

  // A word of up to 16 bytes, zero-padded, and its length: found without a look at
  // the word's bytes in the arena, which would be a second cache miss a word.
  struct ShortWord {
    std::uint64_t head = 0;
    std::uint64_t tail = 0;
    std::uint64_t length = 0;
    bool operator==(const ShortWord&) const = default;
  };
  struct ShortWordHash {
    using is_avalanching = std::true_type;
    std::size_t operator()(const ShortWord& word) const {
      return static_cast<std::size_t>(
          WordHash::Mix(word.head ^ WordHash::kSeed1, word.tail ^ WordHash::kSeed0 ^ word.length));
    }
  };
  static constexpr std::size_t kShortWord = 16;

  static ShortWord ShortOf(std::string_view word) {
    char padded[kShortWord] = {};
    std::memcpy(padded, word.data(), word.size());
    ShortWord key;
    std::memcpy(&key.head, padded, 8);
    std::memcpy(&key.tail, padded + 8, 8);
    key.length = word.size();
    return key;
  }

  std::uint32_t NumberOf(std::string_view word) {
    if (word.size() <= kShortWord) {
      const auto [at, added] =
          short_numbers_.try_emplace(ShortOf(word), static_cast<std::uint32_t>(words_.size()));
      if (added) words_.push_back(arena_.Store(word));
      return at->second;
    }
    const auto found = numbers_.find(word);
    if (found != numbers_.end()) return found->second;
    const auto number = static_cast<std::uint32_t>(words_.size());
    words_.push_back(arena_.Store(word));
    numbers_.emplace(words_.back(), number);
    return number;
  }

  WordEncoding encoding_;
  bool fold_case_;
  const StopWords* stop_;
  std::uint64_t limit_;
  std::uint64_t held_ = 0;  // bytes of the blocks' counts
  bool overflowed_ = false;
  bool listing_;
  std::uint64_t listing_bound_;
  std::mutex mutex_;
  std::string folded_;
  WordArena arena_;
  std::vector<std::string_view> words_;
  boost::unordered_flat_map<std::string_view, std::uint32_t, WordHash,
                            std::equal_to<std::string_view>>
      numbers_;  // the longer words
  boost::unordered_flat_map<ShortWord, std::uint32_t, ShortWordHash> short_numbers_;
  std::vector<KeptBlock> blocks_;
};

// The counting threads that `asked` gives at most.
unsigned ThreadsAsked(unsigned asked) {
  return asked != 0 ? asked : std::max(1U, std::thread::hardware_concurrency());
}

// The bytes that a counting thread's table may take without coming near its
// share of `options.memory_limit`, merged with the others or not (0: no bound).
std::uint64_t ListingBound(const ExtractionOptions& options) {
  if (options.memory_limit == 0) return 0;
  return std::max<std::uint64_t>(
      1, options.memory_limit / (std::uint64_t{2} * ThreadsAsked(options.threads)));
}

// Reads the raw bytes of `block` of the file at `path` again into `raw`.
void ReadAgain(const std::filesystem::path& path, const KeptBlock& block, std::string& raw) {
  std::ifstream in(path, std::ios::binary);
  raw.resize(block.size);
  if (!in || !in.seekg(static_cast<std::streamoff>(block.offset)) ||
      !in.read(raw.data(), static_cast<std::streamsize>(block.size))) {
    throw ExtractionFailure(ExtractionFailure::Stage::kCounting,
                            "cannot read '" + path.string() + "' again to cut it into parts");
  }
}

// Places a block across a part's end, cut by the default rule without stop words,
// from its kept counts: each stretch within one part but the longest is counted
// as the engine counts, and the longest gets what is left of the block's counts,
// so that only the shorter stretches are cut and counted again.
class BlockSplitter {
 public:
  BlockSplitter(const BlockKeeper& keeper, const WordCutting& cutting)
      : keeper_(keeper), cutting_(cutting), left_(keeper.words(), 0) {}

  // Places `block`, whose decoded `text` it is; false, with nothing placed, when the
  // text does not give the counts kept.
  bool Place(std::string_view text, const KeptBlock& block, PartAssigner& assigner) {
    assigner.PiecesOf(block.words, pieces_);
    std::size_t longest = 0;
    for (std::size_t i = 1; i < pieces_.size(); ++i) {
      if (pieces_[i].second > pieces_[longest].second) longest = i;
    }
    // Where each piece ends: the ones before the longest found from the start, the
    // ones after it from the end.
    ends_.assign(pieces_.size(), text.size());
    std::size_t at = 0;
    for (std::size_t i = 0; i < longest; ++i) {
      at += CutAfterWords(text.substr(at), pieces_[i].second);
      ends_[i] = at;
    }
    std::size_t from = text.size();
    for (std::size_t i = pieces_.size() - 1; i > longest; --i) {
      from = CutBeforeLastWords(text.substr(0, from), pieces_[i].second);
      ends_[i - 1] = from;
    }
    // Words folded to one are kept once each: a number may come more than once.
    for (const auto& [number, count] : block.counts) left_[number] += count;
    const bool counted = CountPieces(text, longest);
    if (counted) {
      counts_[longest].clear();
      for (const auto& [number, count] : block.counts) {
        if (left_[number] != 0) counts_[longest].emplace_back(number, left_[number]);
        left_[number] = 0;
      }
    }
    for (const auto& [number, count] : block.counts) left_[number] = 0;
    if (!counted) return false;
    for (std::size_t i = 0; i < pieces_.size(); ++i) {
      assigner.TakePiece(pieces_[i].second, counts_[i]);
    }
    return true;
  }

 private:
  // Counts every piece but the longest into counts_, taking them from left_; false
  // when a piece does not hold the words it should.
  bool CountPieces(std::string_view text, std::size_t longest) {
    if (counts_.size() < pieces_.size()) counts_.resize(pieces_.size());
    std::size_t begin = 0;
    for (std::size_t i = 0; i < pieces_.size(); ++i) {
      const std::size_t end = ends_[i];
      if (end < begin) return false;
      const std::string_view piece = text.substr(begin, end - begin);
      begin = end;
      counts_[i].clear();
      if (i == longest) continue;
      WordCounter counter;
      counter.Reserve(last_distinct_);
      CountWords(piece, cutting_, counter);
      last_distinct_ = counter.distinct();
      std::uint64_t words = 0;
      bool fits = true;
      counter.ForEachWord([&](std::string_view word, std::uint64_t count) {
        const std::uint32_t number = keeper_.Find(word);
        if (number == kNoNumber || number >= left_.size() || left_[number] < count) {
          fits = false;
          return;
        }
        left_[number] -= count;
        words += count;
        counts_[i].emplace_back(number, count);
      });
      if (!fits || words != pieces_[i].second) return false;
    }
    return true;
  }

  const BlockKeeper& keeper_;
  WordCutting cutting_;
  std::vector<std::uint64_t> left_;  // by word number: the block's counts not yet placed
  std::vector<std::pair<std::uint32_t, std::uint64_t>> pieces_;
  std::vector<std::size_t> ends_;
  std::vector<std::vector<std::pair<std::uint32_t, std::uint64_t>>> counts_;
  std::size_t last_distinct_ = 0;
};

}  // namespace

DispersedRun ExtractCorpusByParts(std::span<const std::filesystem::path> files,
                                  const ExtractionOptions& options, const CorpusSettings& settings,
                                  const StopWords& stop_words, std::uint32_t parts) {
  const WordEncoding encoding =
      options.encoding == InputEncoding::kCp1252 ? WordEncoding::kCp1252 : WordEncoding::kUtf8;
  const StopWords* stop = stop_words.empty() ? nullptr : &stop_words;
  // The blocks' counts are held to the tables' bound; past it they are dropped and
  // the text is read a second time instead.
  // The list is made from the blocks' counts, the threads' tables left empty, while
  // those tables could not have come near their bound: the engine's list is then
  // the same. Folded words and files figures need the engine's own tables.
  const bool listing =
      !settings.fold_case && !settings.per_file && !options.count_files && !options.ngrams.active();
  BlockKeeper keeper(encoding, settings.fold_case, stop, options.memory_limit,
                     listing ? std::optional(ListingBound(options)) : std::nullopt);
  ExtractionOptions counting = options;
  counting.on_block = [&keeper](const CountedBlock& block) { keeper.Take(block); };
  DispersedRun dispersed;
  dispersed.run = ExtractCorpus(files, counting, settings, stop_words);
  if (dispersed.run.cancelled) return dispersed;
  if (keeper.listing()) {
    try {
      dispersed.run.list = keeper.TakeList(options.cancel, ThreadsAsked(options.threads));
    } catch (const OrderingCancelled&) {
      dispersed.run.list = CorpusList();
      dispersed.run.cancelled = true;
      return dispersed;
    }
    GroupAndFilter(dispersed.run.list, settings);
    ShapeList(dispersed.run.list, settings.min_count, settings.top, settings.order);
  }
  if (keeper.overflowed()) {
    ReadInParts(files, options, settings, stop_words, parts, dispersed);
    return dispersed;
  }
  const EqualParts equal(dispersed.run.list.total, parts);
  NumberedParts numbered;
  PartAssigner assigner(equal, stop, dispersed.parts, &numbered,
                        [&keeper](std::string_view word) { return keeper.Find(word); });
  // Only the blocks across a part's end are read again and placed word by word,
  // folded in the text as the counting of files per word folds it.
  const bool cp1252 = options.encoding == InputEncoding::kCp1252;
  std::function<void(std::string_view, std::string&)> transform = options.transform_text;
  if (settings.fold_case) {
    transform = [encoding](std::string_view text, std::string& out) {
      AppendFolded(text, encoding, out);
    };
  }
  std::string raw;
  std::string decoded;
  std::string transformed;
  std::vector<char> copies;
  // A stop word takes no place, and other rules cut otherwise: then the block is
  // placed word by word.
  const bool split = stop == nullptr && options.words == WordRule::kDefault;
  std::vector<KeptBlock>& blocks = keeper.InOrder();
  BlockSplitter splitter(keeper, {options.words, options.split_elisions, cp1252});
  for (const KeptBlock& block : blocks) {
    if (assigner.TakeWholeNumbered(block.words, block.counts)) continue;
    ReadAgain(files[block.file], block, raw);
    std::string_view text;
    DecodeBlock(raw, block.decoding, block.big_endian, block.file_start, block.file_end, decoded,
                text);
    if (transform) {
      transformed.clear();
      transform(text, transformed);
      text = transformed;
    }
    if (split && splitter.Place(text, block, assigner)) continue;
    AssignWords(text, options, cp1252, copies, assigner);
  }
  assigner.Finish();
  numbered.MoveTo(dispersed.parts,
                  [&keeper](std::uint32_t number) { return keeper.WordOf(number); });
  return dispersed;
}

}  // namespace lintavel
