#include "python/range_count.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <memory>
#include <stdexcept>
#include <string>
#include <system_error>

#include "engine/input_file.h"
#include "engine/text_file_reader.h"
#include "engine/text_rules.h"
#include "engine/utf16.h"
#include "engine/utf8.h"
#include "engine/word_counter.h"

namespace lintavel::python {

namespace {

constexpr std::size_t kBlockBytes = 1 << 20;

// A file read at any offset, closed when the object goes.
class RangeFile {
 public:
  explicit RangeFile(const std::filesystem::path& path) : path_(path) {
    fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
    if (fd_ < 0) Fail("Cannot open", std::generic_category().message(errno));
    struct stat info {};
    if (::fstat(fd_, &info) != 0) {
      const int error = errno;
      ::close(fd_);
      Fail("Cannot open", std::generic_category().message(error));
    }
    size_ = static_cast<std::uint64_t>(info.st_size);
  }
  ~RangeFile() { ::close(fd_); }
  RangeFile(const RangeFile&) = delete;
  RangeFile& operator=(const RangeFile&) = delete;

  std::uint64_t size() const { return size_; }

  // Fills `buffer` with up to `size` bytes from `offset`; gives how many (fewer only
  // at the end of the file).
  std::size_t ReadAt(char* buffer, std::size_t size, std::uint64_t offset) const {
    std::size_t got = 0;
    while (got < size) {
      const ssize_t n = ::pread(fd_, buffer + got, size - got, static_cast<off_t>(offset + got));
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) Fail("Cannot read", std::generic_category().message(errno));
      if (n == 0) break;
      got += static_cast<std::size_t>(n);
    }
    return got;
  }

  // Throws what failed, worded as the engine's reader words it.
  [[noreturn]] void Fail(std::string_view what, std::string_view cause) const {
    throw std::runtime_error(std::string(what) + " '" + path_.string() +
                             "': " + std::string(cause));
  }

 private:
  std::filesystem::path path_;
  int fd_ = -1;
  std::uint64_t size_ = 0;
};

// Where words begin and end in the raw bytes of a file: one byte a unit, or two
// for UTF-16, whose separators are the blank and the line ends as whole units.
class Units {
 public:
  Units(const RangeFile& file, bool utf16, bool big_endian)
      : file_(file), width_(utf16 ? 2 : 1), big_endian_(big_endian) {}

  std::uint64_t width() const { return width_; }

  // `offset` moved up to the next unit boundary, at most the file's end.
  std::uint64_t Aligned(std::uint64_t offset) const {
    const std::uint64_t up = (offset + width_ - 1) / width_ * width_;
    return up < file_.size() ? up : file_.size();
  }

  // The boundary of the words that begin before the unit boundary `offset` and of
  // those that begin at or after it: `offset` itself when a separator stands before
  // it, else the first separator after it (the word there runs on to it).
  std::uint64_t WordBoundary(std::uint64_t offset) const {
    if (offset == 0 || offset >= file_.size()) return offset;
    char unit[2];
    if (file_.ReadAt(unit, width_, offset - width_) == width_ && IsSeparator(unit)) return offset;
    auto buffer = std::make_unique_for_overwrite<char[]>(kBlockBytes);
    for (std::uint64_t at = offset; at < file_.size();) {
      const std::size_t got = file_.ReadAt(buffer.get(), kBlockBytes, at);
      for (std::size_t i = 0; i + width_ <= got; i += width_) {
        if (IsSeparator(buffer.get() + i)) return at + i;
      }
      if (got < kBlockBytes) break;
      at += got;
    }
    return file_.size();
  }

 private:
  bool IsSeparator(const char* unit) const {
    if (width_ == 1) return ClassOf(unit[0]) == ByteClass::kSeparator;
    const char high = unit[big_endian_ ? 0 : 1];
    const char low = unit[big_endian_ ? 1 : 0];
    return high == 0 && ClassOf(low) == ByteClass::kSeparator;
  }

  const RangeFile& file_;
  std::size_t width_;
  bool big_endian_;
};

// Decodes the bytes of one stretch of a file that begins at a unit boundary.
class StretchDecoder {
 public:
  StretchDecoder(FileDecoding decoding, bool at_file_start, bool big_endian)
      : decoding_(decoding),
        utf8_(at_file_start ? Utf8Normalizer() : Utf8Normalizer::Continuing()),
        utf16_(at_file_start ? Utf16Decoder() : Utf16Decoder::Continuing(big_endian)) {}

  void Feed(std::string_view raw, std::string& out) {
    switch (decoding_) {
      case FileDecoding::kCp1252:
        out.append(raw);
        break;
      case FileDecoding::kCp1252AsUtf8:
        AppendCp1252AsUtf8(raw, out);
        break;
      case FileDecoding::kUtf8:
        utf8_.Feed(raw, out);
        break;
      case FileDecoding::kUtf16:
        utf16_.Feed(raw, out);
        break;
    }
  }

  void Finish(std::string& out) {
    if (decoding_ == FileDecoding::kUtf8) utf8_.Finish(out);
    if (decoding_ == FileDecoding::kUtf16) utf16_.Finish(out);
  }

 private:
  FileDecoding decoding_;
  Utf8Normalizer utf8_;
  Utf16Decoder utf16_;
};

// Counts the words of the bytes [from, to) of `file`, which begin and end at word
// boundaries.
void CountStretch(const RangeFile& file, std::uint64_t from, std::uint64_t to,
                  FileDecoding decoding, StretchDecoder& decoder, WordCounter& counter) {
  std::string raw;
  std::string text;  // from the start of a word that may still run on
  for (std::uint64_t at = from; at < to;) {
    const auto want = static_cast<std::size_t>(std::min<std::uint64_t>(kBlockBytes, to - at));
    std::size_t got = 0;
    if (decoding == FileDecoding::kCp1252) {
      // Counted as read: no decoding, so no copy.
      const std::size_t carried = text.size();
      text.resize(carried + want);
      got = file.ReadAt(text.data() + carried, want, at);
      text.resize(carried + got);
    } else {
      raw.resize(want);
      got = file.ReadAt(raw.data(), want, at);
      decoder.Feed(std::string_view(raw.data(), got), text);
    }
    if (got == 0) file.Fail("Cannot read", "the file became shorter while it was read");
    at += got;
    std::size_t cut = text.size();
    while (cut > 0 && ClassOf(text[cut - 1]) != ByteClass::kSeparator) --cut;
    counter.CountText(std::string_view(text).substr(0, cut));
    text.erase(0, cut);
  }
  decoder.Finish(text);
  // The end of the stretch ends its last word.
  text.push_back('\n');
  counter.CountText(text);
}

}  // namespace

Counts CountRange(const std::filesystem::path& path, std::uint64_t start,
                  std::optional<std::uint64_t> end, FileDecoding decoding,
                  const CorpusSettings& settings, const StopWords& stop_words) {
  std::vector<FileError> errors;
  // Records a failure of `step` with the file's path, as a whole run would.
  const auto guarded = [&](const auto& step) {
    try {
      step();
    } catch (const std::exception& failure) {
      errors.push_back({path.string(), failure.what()});
    } catch (...) {
      errors.push_back({path.string(), "Unknown failure"});
    }
  };
  ExtractionResult result;
  result.encoding = decoding == FileDecoding::kCp1252 ? WordEncoding::kCp1252 : WordEncoding::kUtf8;
  WordCounter counter;
  std::optional<RangeFile> file;
  {
    // Opened as a whole run opens it, so that a failure reads the same.
    TextFileReading probe(path, [&](const FileFailure& failure) {
      errors.push_back({path.string(), FailureMessage(failure)});
    });
    if (probe.is_open()) {
      guarded([&] { file.emplace(path); });
    }
  }
  if (file) {
    const std::uint64_t last = end.value_or(file->size());
    if (start > last || last > file->size()) {
      throw std::invalid_argument("the range [" + std::to_string(start) + ", " +
                                  std::to_string(last) + ") is not within the " +
                                  std::to_string(file->size()) + " bytes of '" + path.string() +
                                  "'");
    }
    guarded([&] {
      char head[2] = {};
      const bool big_endian = decoding == FileDecoding::kUtf16 && file->ReadAt(head, 2, 0) == 2 &&
                              IsBigEndianUtf16(std::string_view(head, 2));
      const Units units(*file, decoding == FileDecoding::kUtf16, big_endian);
      const std::uint64_t from = units.WordBoundary(units.Aligned(start));
      const std::uint64_t to = units.WordBoundary(units.Aligned(last));
      if (from >= to) return;
      StretchDecoder decoder(decoding, from == 0, big_endian);
      CountStretch(*file, from, to, decoding, decoder, counter);
    });
  }
  result.words = std::move(counter).TakeOrdered(result.storage, result.encoding);
  for (const CountedWord& word : result.words) result.total += word.count;
  const StopWords* stop = stop_words.empty() ? nullptr : &stop_words;
  CorpusList list;
  if (settings.fold_case) {
    CorpusMerger merger(result.encoding, true, stop);
    merger.AddRun(result.words);
    list = std::move(merger).Take();
  } else {
    list = ListOfRun(std::move(result), stop);
  }
  ShapeList(list, settings.min_count, settings.top, settings.order);
  // A range is part of one file: each of its words occurs in that one.
  return Counts(std::move(list), std::move(errors), settings.per_file);
}

}  // namespace lintavel::python
