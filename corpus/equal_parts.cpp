#include "corpus/equal_parts.h"

#include <charconv>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "engine/file_decoding.h"
#include "engine/range_extraction.h"
#include "engine/text_rules.h"
#include "engine/word_break.h"
#include "engine/word_counter.h"

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

std::uint32_t EqualParts::PartOf(std::uint64_t position) const {
  const std::uint64_t in_longer = static_cast<std::uint64_t>(longer_) * (base_ + 1);
  std::uint64_t part = position < in_longer ? position / (base_ + 1)
                       : base_ == 0         ? parts_
                                            : longer_ + (position - in_longer) / base_;
  if (part >= parts_) part = parts_ - 1;
  return static_cast<std::uint32_t>(part);
}

namespace {

// Gives each counted word its part by its position among the counted words, and
// hands a part's counts on when the next part begins.
class PartAssigner {
 public:
  PartAssigner(const EqualParts& parts, const StopWords* stop_words, WordEncoding encoding,
               PartCounts& counts)
      : parts_(parts), stop_words_(stop_words), encoding_(encoding), counts_(counts) {}

  void OnWord(std::string_view word) {
    if (stop_words_ != nullptr && stop_words_->Contains(word)) return;
    const std::uint32_t part = parts_.PartOf(position_++);
    while (part != current_) EndPart();
    counter_.Add(word);
    ++size_;
  }

  // Ends the current part and every part after it.
  void Finish() {
    while (current_ < parts_.parts()) EndPart();
  }

 private:
  void EndPart() {
    WordArena storage;
    for (const CountedWord& word : std::move(counter_).TakeOrdered(storage, encoding_)) {
      counts_.Add(current_, word.word, word.count);
    }
    counter_ = WordCounter();
    counts_.EndPart(size_);
    size_ = 0;
    ++current_;
  }

  const EqualParts& parts_;
  const StopWords* stop_words_;
  WordEncoding encoding_;
  PartCounts& counts_;
  WordCounter counter_;
  std::uint64_t position_ = 0;
  std::uint32_t current_ = 0;
  std::uint64_t size_ = 0;
};

// Calls on_word for each word of the decoded `text`, in order, cut as `options` say.
template <class F>
void ForEachWord(std::string_view text, const ExtractionOptions& options, bool cp1252,
                 std::string& scratch, F&& on_word) {
  if (options.words == WordRule::kUnicode) {
    const UnicodeWordOptions rule{.split_elisions = options.split_elisions};
    if (cp1252) {
      ForEachUnicodeWordCp1252(text, rule, on_word);
    } else {
      ForEachUnicodeWord(text, rule, on_word);
    }
    return;
  }
  // Blanks and line ends end a word; tabs and punctuation are taken out of it.
  scratch.clear();
  for (const char byte : text) {
    switch (ClassOf(byte)) {
      case ByteClass::kWord:
        scratch.push_back(byte);
        break;
      case ByteClass::kDropped:
        break;
      case ByteClass::kSeparator:
        if (!scratch.empty()) on_word(std::string_view(scratch));
        scratch.clear();
        break;
    }
  }
  if (!scratch.empty()) on_word(std::string_view(scratch));
}

}  // namespace

DispersedRun ExtractCorpusByParts(std::span<const std::filesystem::path> files,
                                  const ExtractionOptions& options, const CorpusSettings& settings,
                                  const StopWords& stop_words, std::uint32_t parts) {
  DispersedRun dispersed;
  dispersed.run = ExtractCorpus(files, options, settings, stop_words);
  if (dispersed.run.cancelled) return dispersed;
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
  PartAssigner assigner(equal, stop_words.empty() ? nullptr : &stop_words, encoding,
                        dispersed.parts);
  std::string scratch;
  for (const std::filesystem::path& file : files) {
    FileDecoding decoding = DecodingOf(file, options.encoding);
    const bool cp1252 = decoding == FileDecoding::kCp1252;
    const bool read = ReadFileText(file, decoding, reading, nullptr, [&](std::string_view text) {
      ForEachWord(text, options, cp1252, scratch,
                  [&](std::string_view word) { assigner.OnWord(word); });
    });
    if (!read) {
      dispersed.run.cancelled = true;
      return dispersed;
    }
  }
  assigner.Finish();
  return dispersed;
}

}  // namespace lintavel
