#include "corpus/range_parts.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "corpus/word_cuts.h"
#include "engine/text_rules.h"
#include "engine/word_break.h"
#include "engine/word_counter.h"
#include "engine/word_rule.h"

namespace lintavel {

PartPlaces::PartPlaces(std::uint64_t total, std::uint32_t parts)
    : equal_(total, parts), base_(total / parts), longer_(total % parts) {}

std::uint32_t PartPlaces::PartOf(std::uint64_t word) const {
  // The longer parts come first.
  const std::uint64_t in_longer = longer_ * (base_ + 1);
  if (word < in_longer) return static_cast<std::uint32_t>(word / (base_ + 1));
  return static_cast<std::uint32_t>(longer_ + (word - in_longer) / base_);
}

std::uint64_t PartPlaces::EndOf(std::uint32_t part) const {
  const std::uint64_t after = std::uint64_t{part} + 1;
  return after * base_ + std::min(after, longer_);
}

void SpreadCounts::Add(std::uint32_t part, std::string_view word, std::uint64_t count) {
  auto found = words_.find(word);
  if (found == words_.end()) found = words_.emplace(arena_.Store(word), Parts()).first;
  Parts& parts = found->second;
  if (!parts.empty() && parts.back().first == part) {
    parts.back().second += count;
  } else {
    parts.emplace_back(part, count);
  }
}

void SpreadCounts::Append(const SpreadCounts& next) {
  for (const auto& [word, parts] : next.words_) {
    for (const auto& [part, count] : parts) Add(part, word, count);
  }
}

std::span<const std::pair<std::uint32_t, std::uint64_t>> SpreadCounts::PartsOf(
    std::string_view word) const {
  const auto found = words_.find(word);
  if (found == words_.end()) return {};
  return found->second;
}

namespace {

template <class T>
void Put(std::string& out, T value) {
  char bytes[sizeof(T)];
  std::memcpy(bytes, &value, sizeof(T));
  out.append(bytes, sizeof(T));
}

// Reads what Put wrote, from `bytes` on at `at`.
template <class T>
T Take(std::string_view bytes, std::size_t& at) {
  if (bytes.size() - at < sizeof(T)) throw std::invalid_argument("the spread counts are cut short");
  T value;
  std::memcpy(&value, bytes.data() + at, sizeof(T));
  at += sizeof(T);
  return value;
}

}  // namespace

// Each word as its size and bytes, the number of its parts and each (part, count).
std::string SpreadCounts::Serialize() const {
  std::string out;
  Put<std::uint64_t>(out, words_.size());
  for (const auto& [word, parts] : words_) {
    Put<std::uint64_t>(out, word.size());
    out.append(word);
    Put<std::uint64_t>(out, parts.size());
    for (const auto& [part, count] : parts) {
      Put(out, part);
      Put(out, count);
    }
  }
  return out;
}

SpreadCounts SpreadCounts::Deserialize(std::string_view bytes) {
  SpreadCounts spread;
  std::size_t at = 0;
  const auto words = Take<std::uint64_t>(bytes, at);
  for (std::uint64_t i = 0; i < words; ++i) {
    const auto size = Take<std::uint64_t>(bytes, at);
    if (bytes.size() - at < size) throw std::invalid_argument("the spread counts are cut short");
    const std::string_view word = bytes.substr(at, size);
    at += size;
    const auto parts = Take<std::uint64_t>(bytes, at);
    // Each part takes 12 bytes: a count beyond what is left is no count.
    if ((bytes.size() - at) / 12 < parts) {
      throw std::invalid_argument("the spread counts are cut short");
    }
    Parts counts;
    counts.reserve(parts);
    for (std::uint64_t k = 0; k < parts; ++k) {
      const auto part = Take<std::uint32_t>(bytes, at);
      const auto count = Take<std::uint64_t>(bytes, at);
      if (!counts.empty() && part <= counts.back().first) {
        throw std::invalid_argument("the spread counts' parts are out of order");
      }
      counts.emplace_back(part, count);
    }
    if (!spread.words_.emplace(spread.arena_.Store(word), std::move(counts)).second) {
      throw std::invalid_argument("the spread counts hold a word twice");
    }
  }
  if (at != bytes.size()) throw std::invalid_argument("the spread counts run on");
  return spread;
}

SpreadCounts SpreadInOnePart(const CorpusList& list, const PartPlaces& places,
                             std::uint64_t first) {
  SpreadCounts spread;
  if (list.total == 0) return spread;
  const std::uint32_t part = places.PartOf(first);
  for (const CorpusWord& word : list.words) spread.Add(part, word.word, word.count);
  return spread;
}

namespace {

// Calls on_word(word) for each word of `text` in order, cut as `cutting` says; a
// word with tabs or punctuation taken out is a view into `scratch`.
template <class F>
void ForEachWordIn(std::string_view text, const WordCutting& cutting, std::string& scratch,
                   F&& on_word) {
  if (cutting.rule == WordRule::kUnicode) {
    const UnicodeWordOptions rule{.split_elisions = cutting.split_elisions};
    if (cutting.cp1252) {
      ForEachUnicodeWordCp1252(text, rule, on_word);
    } else {
      ForEachUnicodeWord(text, rule, on_word);
    }
    return;
  }
  ForEachDefaultToken(text, [&](const char* begin, const char* end, bool dropped) {
    if (!dropped) {
      on_word(std::string_view(begin, static_cast<std::size_t>(end - begin)));
      return;
    }
    scratch.clear();
    for (const char* c = begin; c != end; ++c) {
      if (ClassOf(*c) == ByteClass::kWord) scratch.push_back(*c);
    }
    if (!scratch.empty()) on_word(std::string_view(scratch));
  });
}

// Places the words read in order in their parts: a block within one part is
// counted whole, one across a part's end cut there (word by word when stop words
// or the Unicode rule make the words cut and the words counted differ).
class Placer {
 public:
  Placer(const PartPlaces& places, std::uint64_t first, std::uint64_t words, WordEncoding encoding,
         bool fold_case, const StopWords& stop_words, SpreadCounts& out)
      : places_(places),
        position_(first),
        end_(first + words),
        encoding_(encoding),
        fold_case_(fold_case),
        stop_(stop_words.empty() ? nullptr : &stop_words),
        out_(out) {
    if (words != 0) {
      part_ = places_.PartOf(first);
      part_end_ = places_.EndOf(part_);
    }
  }

  void Block(std::string_view text, const WordCutting& cutting) {
    // Made as large as the last block needed, so that it does not grow step by step.
    WordCounter block;
    block.Reserve(last_distinct_);
    CountWords(text, cutting, block);
    last_distinct_ = block.distinct();
    std::uint64_t words = 0;
    block.ForEachWord([&](std::string_view word, std::uint64_t count) {
      if (Kept(word)) words += count;
    });
    if (words == 0) return;
    if (words > end_ - position_) Changed();
    if (position_ + words <= part_end_) {
      AddBlock(block, words);
      return;
    }
    if (stop_ == nullptr && cutting.rule == WordRule::kDefault) {
      // Every word cut is counted: the block is cut at the parts' ends and each
      // piece counted whole.
      while (words != 0) {
        if (position_ == part_end_) NextPart();
        const std::uint64_t taken = std::min(words, part_end_ - position_);
        const std::size_t cut = CutAfterWords(text, taken);
        WordCounter piece;
        CountWords(text.substr(0, cut), cutting, piece);
        AddBlock(piece, taken);
        text.remove_prefix(cut);
        words -= taken;
      }
      return;
    }
    ForEachWordIn(text, cutting, scratch_, [&](std::string_view word) {
      if (!Kept(word)) return;
      if (position_ == part_end_) NextPart();
      counter_.Add(word);
      ++position_;
    });
  }

  void Finish() {
    if (position_ != end_) Changed();
    EndPart();
  }

 private:
  // Whether `word` is counted, folded in place when case is folded.
  bool Kept(std::string_view& word) {
    if (fold_case_) {
      folded_.clear();
      AppendFolded(word, encoding_, folded_);
      word = folded_;
    }
    return stop_ == nullptr || !stop_->Contains(word);
  }

  // Adds the counts of a stretch of `words` kept words within the current part.
  void AddBlock(const WordCounter& block, std::uint64_t words) {
    if (!fold_case_ && stop_ == nullptr) {
      counter_.AddAll(block);
    } else {
      block.ForEachWord([&](std::string_view word, std::uint64_t count) {
        if (Kept(word)) counter_.Add(word, count);
      });
    }
    position_ += words;
  }

  void NextPart() {
    EndPart();
    part_ = places_.PartOf(position_);
    part_end_ = places_.EndOf(part_);
  }

  void EndPart() {
    counter_.ForEachWord(
        [&](std::string_view word, std::uint64_t count) { out_.Add(part_, word, count); });
    counter_ = WordCounter();
  }

  [[noreturn]] static void Changed() {
    throw std::runtime_error("the file gave other words when it was read again");
  }

  const PartPlaces& places_;
  std::uint64_t position_;
  std::uint64_t end_;
  WordEncoding encoding_;
  bool fold_case_;
  const StopWords* stop_;
  SpreadCounts& out_;
  std::uint32_t part_ = 0;
  std::uint64_t part_end_ = 0;
  WordCounter counter_;  // the current part's counts
  std::string folded_;
  std::string scratch_;
  std::size_t last_distinct_ = 0;
};

}  // namespace

SpreadCounts SpreadRange(const std::filesystem::path& path, ByteRange range, FileDecoding decoding,
                         const ExtractionOptions& options, bool fold_case,
                         const StopWords& stop_words, const PartPlaces& places, std::uint64_t first,
                         std::uint64_t words) {
  SpreadCounts spread;
  if (words == 0) return spread;
  const bool cp1252 = decoding == FileDecoding::kCp1252;
  const WordEncoding encoding = cp1252 ? WordEncoding::kCp1252 : WordEncoding::kUtf8;
  const WordCutting cutting{options.words, options.split_elisions, cp1252};
  Placer placer(places, first, words, encoding, fold_case, stop_words, spread);
  std::string failed;
  const bool read = ReadRangeText(
      path, range, decoding, options,
      [&](const FileFailure& failure) { failed = FailureMessage(failure); },
      [&](std::string_view text) { placer.Block(text, cutting); });
  if (!failed.empty()) throw std::runtime_error(failed);
  if (!read) throw std::runtime_error("cancelled");
  placer.Finish();
  return spread;
}

}  // namespace lintavel
