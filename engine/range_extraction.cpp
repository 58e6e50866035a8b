#include "engine/range_extraction.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <memory>
#include <span>
#include <stdexcept>
#include <string>
#include <utility>

#include "engine/block_text.h"
#include "engine/input_file.h"
#include "engine/ngram.h"
#include "engine/utf16.h"
#include "engine/word_counter.h"

namespace lintavel {

namespace {

// A failure at `stage` from what the file's reading threw: the reader's own failure
// as it is, anything else with its text as the cause.
FileFailure FailureOf(const std::filesystem::path& path, FailureStage stage,
                      const std::runtime_error& thrown) {
  if (const auto* known = dynamic_cast<const InputFileError*>(&thrown)) return known->failure();
  return FileFailure{path, stage, 0, thrown.what()};
}

// Each block of decoded text, in the order of the file.
using TextSink = std::function<void(std::string_view)>;

[[noreturn]] void RefuseRange(const std::filesystem::path& path, ByteRange range,
                              std::uint64_t size) {
  throw std::invalid_argument("the range [" + std::to_string(range.start) + ", " +
                              (range.end ? std::to_string(*range.end) : "end") +
                              ") is not within the " + std::to_string(size) + " bytes of '" +
                              path.string() + "'");
}

// Reads and counts one stretch of a file that begins and ends at word boundaries,
// block by block as ExtractWords does.
class StretchCounter {
 public:
  StretchCounter(InputFile& file, FileDecoding decoding, const ExtractionOptions& options,
                 ExtractionProgress& progress)
      : file_(file), decoding_(decoding), options_(options), progress_(progress) {}

  // The first unit boundary at or after `offset` after which a word begins: `offset`
  // when a separator (or nothing) stands before it, else just after the next
  // separator, else the end of the file at `size`.
  std::uint64_t WordBoundary(std::uint64_t offset, std::uint64_t size) {
    const std::uint64_t width = decoding_ == FileDecoding::kUtf16 ? 2 : 1;
    offset = std::min((offset + width - 1) / width * width, size);
    if (offset == 0 || offset == size) return offset;
    char unit[2];
    if (file_.ReadAt(std::span<char>(unit, width), offset - width) == width &&
        IsSeparatorUnit(unit, decoding_, big_endian_)) {
      return offset;
    }
    // Read in small steps: a separator is usually a few bytes away.
    constexpr std::size_t kStep = 64 << 10;
    Reserve(kStep, 0);
    for (std::uint64_t at = offset; at < size;) {
      const std::size_t got = file_.ReadAt(std::span<char>(buffer_.get(), kStep), at);
      for (std::size_t i = 0; i + width <= got; i += width) {
        if (IsSeparatorUnit(buffer_.get() + i, decoding_, big_endian_)) return at + i + width;
      }
      if (got < kStep) break;
      at += got;
    }
    return size;
  }

  // Hands `sink` the text of the words that begin in `range` of the file at `path`,
  // `size` bytes at opening, as every range of a file is cut: from the word boundary
  // at or after its start to the one at or after its end, in `to`. A pseudo-file,
  // whose size reads as 0 whatever it holds, is one range, read whole (`to` 0).
  // Throws std::invalid_argument for a range not within the file; false when the
  // run was cancelled.
  bool CountRange(const std::filesystem::path& path, ByteRange range, std::uint64_t size,
                  const TextSink& sink, std::uint64_t& to) {
    to = 0;
    if (size == 0 && range.start == 0 && range.end.value_or(1) != 0) {
      return Count(0, std::nullopt, true, sink);
    }
    const std::uint64_t last = range.end.value_or(size);
    if (range.start > last || last > size) RefuseRange(path, range, size);
    progress_.bytes_total = last - range.start;
    if (decoding_ == FileDecoding::kUtf16) {
      char head[2] = {};
      const std::size_t got = file_.ReadAt(std::span<char>(head, 2), 0);
      big_endian_ = IsBigEndianUtf16(std::string_view(head, got));
    }
    const std::uint64_t from = WordBoundary(range.start, size);
    to = WordBoundary(last, size);
    return from >= to || Count(from, to, to == size, sink);
  }

  // Hands the text of the bytes [from, to) to `sink`, or, with no `to`, of every
  // byte from `from` to the end of the file as it reads; `to_end`: `to` is the
  // file's end. False when the run was cancelled.
  bool Count(std::uint64_t from, std::optional<std::uint64_t> to, bool to_end,
             const TextSink& sink) {
    bool file_start = from == 0;
    std::size_t kept = 0;  // bytes of an unfinished word at the front of the buffer
    for (std::uint64_t at = from;;) {
      if (Cancelled()) return false;
      if (capacity_ - kept < kBlockBytes / 2) {
        // Doubled, so that a word longer than many blocks is copied a few times only.
        Reserve(std::max(kBlockBytes, 2 * capacity_), kept);
      }
      std::size_t want = capacity_ - kept;
      if (to) want = static_cast<std::size_t>(std::min<std::uint64_t>(want, *to - at));
      if (want == 0) break;
      const std::span<char> room(buffer_.get() + kept, want);
      const std::size_t got = to ? file_.ReadAt(room, at) : file_.Read(room);
      if (got == 0) {
        if (to) throw std::runtime_error("the file became shorter while it was read");
        to_end = true;
        break;
      }
      if (at == 0 && decoding_ == FileDecoding::kUtf16) {
        big_endian_ = IsBigEndianUtf16(std::string_view(buffer_.get(), kept + got));
      }
      at += got;
      progress_.bytes_done += got;
      if (options_.progress) options_.progress(progress_);
      const std::size_t cut =
          CutAfterLastSeparator(buffer_.get(), kept, kept + got, decoding_, big_endian_);
      if (cut == 0) {
        // No separator yet: the word goes on into the next read.
        kept += got;
        continue;
      }
      CountBlock(std::string_view(buffer_.get(), cut), file_start, false, sink);
      file_start = false;
      kept = kept + got - cut;
      std::memmove(buffer_.get(), buffer_.get() + cut, kept);
    }
    // The stretch ends after a separator or at the end of the file, which ends its
    // last word and its last character.
    if (kept != 0) CountBlock(std::string_view(buffer_.get(), kept), file_start, to_end, sink);
    return true;
  }

  // Counts the words of `text`, or, with sequences, the sequences that begin in it
  // (those that run on past it are joined when the next text comes); while looking
  // ahead, only keeps the first words that sequences from before run on into.
  void CountText(std::string_view text, WordCounter& counter) {
    const WordCutting cutting{options_.words, options_.split_elisions,
                              decoding_ == FileDecoding::kCp1252};
    if (!options_.ngrams.active()) {
      CountWords(text, cutting, counter);
    } else if (looking_ahead_) {
      LookAhead(text, cutting);
    } else {
      NgramEdges edges;
      ngram_.CountBlock(text, cutting, options_.ngrams, counter, edges);
      carry_.Join(edges, options_.ngrams, counter);
    }
  }

  // Counts the sequences that begin in the stretches counted so far and run on into
  // the words from `from` on, reading (through `sink`, which calls CountText) no
  // further than those words need. False when the run was cancelled.
  bool CountOnward(std::uint64_t from, std::uint64_t size, const TextSink& sink,
                   WordCounter& counter) {
    const std::size_t reach = options_.ngrams.longest - 1;
    bool counted = true;
    // Widened until it holds the words needed: words are short, a stretch rarely grows.
    for (std::uint64_t span = 64 << 10; counted; span *= 4) {
      ahead_ = NgramEdges{};
      ahead_pending_ = false;
      looking_ahead_ = true;
      const std::uint64_t to = WordBoundary(std::min(size, from + span), size);
      counted = Count(from, to, to == size, sink);
      if (ahead_.words.size() >= reach || to == size) break;
    }
    looking_ahead_ = false;
    if (counted) carry_.Join(ahead_, options_.ngrams, counter);
    return counted;
  }

  std::uint64_t replaced() const { return replaced_; }

 private:
  // Keeps the first words of `text` that sequences from before may run on into.
  void LookAhead(std::string_view text, const WordCutting& cutting) {
    const std::size_t reach = options_.ngrams.longest - 1;
    if (ahead_.words.size() >= reach) return;
    const bool break_after = ngram_.Cut(text, cutting, options_.ngrams, words_);
    for (const NgramWord& word : words_) {
      if (ahead_.words.size() >= reach) return;
      ahead_.words.emplace_back(word.word);
      ahead_.break_before.push_back(word.break_before || ahead_pending_ ? 1 : 0);
      ahead_pending_ = false;
    }
    ahead_pending_ = ahead_pending_ || break_after;
  }

  void CountBlock(std::string_view raw, bool file_start, bool file_end, const TextSink& sink) {
    std::string_view text = raw;
    if (decoding_ != FileDecoding::kCp1252) {
      replaced_ += DecodeBlock(raw, decoding_, big_endian_, file_start, file_end, decoded_, text);
    }
    if (options_.transform_text) {
      scratch_.clear();
      options_.transform_text(text, scratch_);
      text = scratch_;
    }
    sink(text);
  }

  // Makes the buffer hold at least `capacity` bytes, keeping its first `keep` bytes.
  void Reserve(std::size_t capacity, std::size_t keep) {
    if (capacity_ >= capacity) return;
    auto bigger = std::make_unique_for_overwrite<char[]>(capacity);
    if (keep != 0) std::memcpy(bigger.get(), buffer_.get(), keep);
    buffer_ = std::move(bigger);
    capacity_ = capacity;
  }

  bool Cancelled() const {
    return options_.cancel != nullptr && options_.cancel->load(std::memory_order_relaxed);
  }

  InputFile& file_;
  FileDecoding decoding_;
  const ExtractionOptions& options_;
  ExtractionProgress& progress_;
  bool big_endian_ = false;
  std::unique_ptr<char[]> buffer_;
  std::size_t capacity_ = 0;
  std::string decoded_;
  std::string scratch_;
  std::uint64_t replaced_ = 0;
  // With sequences counted: the last words counted so far, and the words after the
  // stretch that the sequences beginning in it run on into.
  NgramCounter ngram_;
  NgramCarry carry_;
  std::vector<NgramWord> words_;
  NgramEdges ahead_;
  bool ahead_pending_ = false;  // a sequence ends before the next word looked at
  bool looking_ahead_ = false;
};

// Opens the file at `path`, hands it to `read` and closes it; what fails on the way
// goes to `fail` with its stage. False when the file could not be opened.
bool WithOpenFile(const std::filesystem::path& path,
                  const std::function<void(FailureStage, const std::runtime_error&)>& fail,
                  const std::function<void(InputFile&)>& read) {
  std::optional<InputFile> file;
  try {
    file.emplace(path);
  } catch (const std::runtime_error& failure) {
    fail(FailureStage::kOpen, failure);
    return false;
  }
  try {
    read(*file);
  } catch (const std::runtime_error& failure) {
    fail(FailureStage::kRead, failure);
  }
  try {
    file->Close();
  } catch (const std::runtime_error& failure) {
    fail(FailureStage::kClose, failure);
  }
  return true;
}

}  // namespace

std::optional<FileFailure> OpeningFailure(const std::filesystem::path& path) {
  try {
    InputFile file(path);
    return std::nullopt;
  } catch (const std::runtime_error& failure) {
    return FailureOf(path, FailureStage::kOpen, failure);
  }
}

namespace {

// Opens the file at `path` and gives what read(stretch, size at opening) gives, the
// stretch reading it with `options`; true, and the failure told to `on_failure`,
// when it cannot be read.
template <class Read>
bool ReadWithStretch(const std::filesystem::path& path, FileDecoding decoding,
                     const ExtractionOptions& options, const FailureSink& on_failure, Read&& read) {
  bool done = true;
  WithOpenFile(
      path,
      [&](FailureStage stage, const std::runtime_error& failure) {
        if (on_failure) on_failure(FailureOf(path, stage, failure));
      },
      [&](InputFile& file) {
        ExtractionProgress progress;
        progress.files_total = 1;
        progress.bytes_total = file.size_at_open();
        StretchCounter stretch(file, decoding, options, progress);
        done = read(stretch, file.size_at_open());
      });
  return done;
}

}  // namespace

bool ReadFileText(const std::filesystem::path& path, FileDecoding decoding,
                  const ExtractionOptions& options, const FailureSink& on_failure,
                  const std::function<void(std::string_view)>& on_text) {
  return ReadWithStretch(path, decoding, options, on_failure,
                         [&](StretchCounter& stretch, std::uint64_t) {
                           // Read to the end as it comes, so that a pseudo-file whose
                           // size reads as 0 is read too.
                           return stretch.Count(0, std::nullopt, true, on_text);
                         });
}

bool ReadRangeText(const std::filesystem::path& path, ByteRange range, FileDecoding decoding,
                   const ExtractionOptions& options, const FailureSink& on_failure,
                   const std::function<void(std::string_view)>& on_text) {
  // Words only: no text transformed, no sequences looked ahead for.
  ExtractionOptions reading = options;
  reading.transform_text = nullptr;
  reading.ngrams = {};
  return ReadWithStretch(path, decoding, reading, on_failure,
                         [&](StretchCounter& stretch, std::uint64_t size) {
                           // Cut as ExtractRange cuts, so that the same words are read.
                           std::uint64_t to = 0;
                           return stretch.CountRange(path, range, size, on_text, to);
                         });
}

ExtractionResult ExtractRange(const std::filesystem::path& path, ByteRange range,
                              FileDecoding decoding, const ExtractionOptions& options,
                              const FailureSink& on_failure) {
  ExtractionResult result;
  result.encoding = decoding == FileDecoding::kCp1252 ? WordEncoding::kCp1252 : WordEncoding::kUtf8;
  ExtractionProgress progress;
  progress.files_total = 1;
  WordCounter counter;
  std::optional<StretchCounter> reading;  // outlives the file: it counts what was replaced
  const TextSink count = [&](std::string_view text) { reading->CountText(text, counter); };
  bool counted = true;
  const bool opened = WithOpenFile(
      path,
      [&](FailureStage stage, const std::runtime_error& failure) {
        ++result.reports;
        if (on_failure) on_failure(FailureOf(path, stage, failure));
      },
      [&](InputFile& file) {
        const std::uint64_t size = file.size_at_open();
        StretchCounter& stretch = reading.emplace(file, decoding, options, progress);
        std::uint64_t to = 0;
        ++result.files_read;
        counted = stretch.CountRange(path, range, size, count, to);
        // A sequence belongs to the range its first word begins in.
        if (counted && to != 0 && to < size && options.ngrams.active()) {
          counted = stretch.CountOnward(to, size, count, counter);
        }
      });
  if (!opened) return result;
  progress.files_done = 1;
  if (options.progress) options.progress(progress);
  const std::uint64_t replaced = reading ? reading->replaced() : 0;
  if (replaced != 0 && options.on_ill_formed) {
    options.on_ill_formed(
        path, replaced,
        decoding == FileDecoding::kUtf16 ? InputEncoding::kUtf16 : InputEncoding::kUtf8);
  }
  if (!counted) {
    result.cancelled = true;
    return result;
  }
  // Ordered without looking at the cancel flag: the ordering's check costs a
  // thread-local access per comparison in a shared object (the Python module),
  // which made up a tenth of a small range's time; a range's words are few.
  if (options.cancel != nullptr && options.cancel->load(std::memory_order_relaxed)) {
    result.cancelled = true;
    return result;
  }
  result.words = std::move(counter).TakeOrdered(result.storage, result.encoding);
  for (const CountedWord& word : result.words) result.total += word.count;
  return result;
}

}  // namespace lintavel
