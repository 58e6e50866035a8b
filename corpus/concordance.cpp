#include "corpus/concordance.h"

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <exception>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <thread>
#include <tuple>
#include <utility>

#include "corpus/case_folding.h"
#include "engine/block_text.h"
#include "engine/file_decoding.h"
#include "engine/html_text.h"
#include "engine/input_file.h"
#include "engine/text_rules.h"
#include "engine/utf16.h"
#include "engine/utf8.h"

namespace lintavel {

namespace {

// What one file gave: its lines in text order, or the failure that ended it.
struct FileHits {
  std::vector<ConcordanceLine> lines;
  std::optional<FileFailure> failure;
};

// The word as the word list lists it, in the encodings a file's text may have.
struct ListedWord {
  std::string utf8;
  std::string cp1252;
  bool in_cp1252 = false;  // every character of it exists in Windows-1252
};

// `word` with the characters the rules remove taken out, folded when asked; empty
// when it cannot be one word (it holds a blank or line end, or nothing is left).
ListedWord ListWord(std::string_view word, bool fold_case) {
  std::string kept;
  for (char c : word) {
    const ByteClass cls = ClassOf(c);
    if (cls == ByteClass::kSeparator) return {};
    // Only ASCII is removed: no UTF-8 lead or continuation byte is dropped.
    if (cls == ByteClass::kWord || static_cast<unsigned char>(c) >= 0x80) kept += c;
  }
  ListedWord listed;
  if (!IsWellFormedUtf8(kept)) return {};
  if (fold_case) {
    AppendFoldedUtf8(kept, listed.utf8);
  } else {
    listed.utf8 = std::move(kept);
  }
  const std::string cp1252 = Utf8ToCp1252(listed.utf8);
  std::string back;
  AppendCp1252AsUtf8(cp1252, back);
  listed.in_cp1252 = back == listed.utf8;
  if (listed.in_cp1252) {
    if (fold_case) {
      AppendFoldedCp1252(cp1252, listed.cp1252);
    } else {
      listed.cp1252 = cp1252;
    }
  }
  return listed;
}

bool IsWordByte(char c) { return ClassOf(c) == ByteClass::kWord; }
bool IsUtf8Continuation(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

// Appends `bytes` as UTF-8 with tabs and line ends as blanks.
void AppendShown(std::string_view bytes, bool cp1252, std::string& out) {
  const std::size_t from = out.size();
  if (cp1252) {
    AppendCp1252AsUtf8(bytes, out);
  } else {
    out.append(bytes);
  }
  for (std::size_t i = from; i < out.size(); ++i) {
    if (out[i] == '\t' || out[i] == '\n' || out[i] == '\r') out[i] = ' ';
  }
}

// Searches the decoded text of one file.
class TextSearch {
 public:
  TextSearch(std::string_view text, bool cp1252, const ConcordanceOptions& options,
             std::string_view word, const std::filesystem::path& path, std::size_t index)
      : text_(text),
        cp1252_(cp1252),
        options_(options),
        word_(word),
        path_(path),
        index_(index),
        has_cr_(std::memchr(text.data(), '\r', text.size()) != nullptr) {}

  // Finds every occurrence, in order; false when cancelled.
  bool Run(std::vector<ConcordanceLine>& lines) {
    return options_.fold_case ? RunFolded(lines) : RunExact(lines);
  }

 private:
  // Candidates are the places of the word's first byte; each is then checked to be
  // a whole word of the text after the rules.
  bool RunExact(std::vector<ConcordanceLine>& lines) {
    const char* const data = text_.data();
    const std::size_t size = text_.size();
    std::size_t pos = 0;
    while (pos < size) {
      const void* found = std::memchr(data + pos, word_[0], size - pos);
      if (found == nullptr) break;
      const std::size_t at = static_cast<const char*>(found) - data;
      pos = at + 1;
      std::size_t start = at;
      while (start > 0 && ClassOf(data[start - 1]) == ByteClass::kDropped) --start;
      if (start > 0 && IsWordByte(data[start - 1])) continue;
      std::size_t end = at;
      std::size_t matched = 0;
      while (matched < word_.size() && end < size) {
        const ByteClass cls = ClassOf(data[end]);
        if (cls == ByteClass::kDropped) {
          ++end;
          continue;
        }
        if (cls == ByteClass::kSeparator || data[end] != word_[matched]) break;
        ++end;
        ++matched;
      }
      if (matched < word_.size()) continue;
      while (end < size && ClassOf(data[end]) == ByteClass::kDropped) ++end;
      if (end < size && IsWordByte(data[end])) continue;
      Emit(start, end, lines);
      pos = end;
      if (Cancelled()) return false;
    }
    return true;
  }

  // Each word of the text is cut, stripped and folded, then compared.
  bool RunFolded(std::vector<ConcordanceLine>& lines) {
    const std::size_t size = text_.size();
    std::string stripped;
    std::string folded;
    std::size_t i = 0;
    while (i < size) {
      while (i < size && ClassOf(text_[i]) == ByteClass::kSeparator) ++i;
      const std::size_t start = i;
      stripped.clear();
      while (i < size && ClassOf(text_[i]) != ByteClass::kSeparator) {
        if (ClassOf(text_[i]) == ByteClass::kWord) stripped += text_[i];
        ++i;
      }
      if (stripped.empty()) continue;
      folded.clear();
      if (cp1252_) {
        AppendFoldedCp1252(stripped, folded);
      } else {
        AppendFoldedUtf8(stripped, folded);
      }
      if (folded != word_) continue;
      Emit(start, i, lines);
      if (Cancelled()) return false;
    }
    return true;
  }

  void Emit(std::size_t start, std::size_t end, std::vector<ConcordanceLine>& lines) {
    AdvanceLine(start);
    ConcordanceLine& line = lines.emplace_back();
    line.path = path_;
    line.file_index = index_;
    line.line = line_;
    line.byte_offset = start;
    const std::size_t left = Back(start, options_.width);
    AppendShown(text_.substr(left, start - left), cp1252_, line.left);
    AppendShown(text_.substr(start, end - start), cp1252_, line.word);
    AppendShown(text_.substr(end, Forward(end, options_.width) - end), cp1252_, line.right);
  }

  // Counts the line ends before `to`: LF, CR LF and a lone CR each end one line.
  void AdvanceLine(std::size_t to) {
    const char* data = text_.data();
    line_ += static_cast<std::uint64_t>(std::count(data + line_from_, data + to, '\n'));
    if (has_cr_) {
      for (std::size_t i = line_from_; i < to; ++i) {
        if (data[i] == '\r' && (i + 1 >= text_.size() || data[i + 1] != '\n')) ++line_;
      }
    }
    line_from_ = to;
  }

  // The place `count` characters before `from`, or the start.
  std::size_t Back(std::size_t from, std::size_t count) const {
    std::size_t at = from;
    for (std::size_t n = 0; n < count && at > 0; ++n) {
      --at;
      if (!cp1252_) {
        while (at > 0 && IsUtf8Continuation(text_[at])) --at;
      }
    }
    return at;
  }

  // The place `count` characters after `from`, or the end.
  std::size_t Forward(std::size_t from, std::size_t count) const {
    std::size_t at = from;
    for (std::size_t n = 0; n < count && at < text_.size(); ++n) {
      ++at;
      if (!cp1252_) {
        while (at < text_.size() && IsUtf8Continuation(text_[at])) ++at;
      }
    }
    return at;
  }

  bool Cancelled() const {
    return options_.cancel != nullptr && options_.cancel->load(std::memory_order_relaxed);
  }

  std::string_view text_;
  bool cp1252_;
  const ConcordanceOptions& options_;
  std::string_view word_;
  const std::filesystem::path& path_;
  std::size_t index_;
  bool has_cr_;
  std::uint64_t line_ = 1;
  std::size_t line_from_ = 0;
};

// A failure at `stage` from what the file's reading threw, whose text names the
// verb and the path before the cause.
FileFailure FailureOf(const std::filesystem::path& path, FailureStage stage,
                      std::string_view thrown) {
  std::string prefix(FailureVerb(stage));
  prefix.append(" '").append(path.string()).append("': ");
  if (thrown.starts_with(prefix)) thrown.remove_prefix(prefix.size());
  return FileFailure{path, stage, 0, std::string(thrown)};
}

// Reads, decodes and searches one whole file.
FileHits SearchFile(const std::filesystem::path& path, std::size_t index, const ListedWord& word,
                    const ConcordanceOptions& options) {
  FileHits hits;
  std::string raw;
  FailureStage stage = FailureStage::kOpen;
  try {
    InputFile file(path);
    stage = FailureStage::kRead;
    raw.resize(static_cast<std::size_t>(file.size_at_open()) + 1);
    std::size_t filled = 0;
    for (;;) {
      if (filled == raw.size()) raw.resize(raw.size() * 2);
      const std::size_t got = file.Read(std::span<char>(raw.data() + filled, raw.size() - filled));
      if (got == 0) break;
      filled += got;
    }
    raw.resize(filled);
    file.CheckUnchanged();
    stage = FailureStage::kClose;
    file.Close();
  } catch (const std::runtime_error& failure) {
    hits.failure = FailureOf(path, stage, failure.what());
    return hits;
  }
  const FileDecoding decoding = DecodingOf(path, options.encoding);
  const bool cp1252 = decoding == FileDecoding::kCp1252;
  if (word.utf8.empty() || (cp1252 && !word.in_cp1252)) return hits;
  std::string_view text = raw;
  std::string decoded;
  if (!cp1252) {
    const bool big_endian = decoding == FileDecoding::kUtf16 && IsBigEndianUtf16(raw);
    DecodeBlock(raw, decoding, big_endian, true, true, decoded, text);
  }
  std::string filtered;
  if (options.html) {
    HtmlTextFilter filter(cp1252 ? WordEncoding::kCp1252 : WordEncoding::kUtf8);
    filter.Feed(text, filtered);
    filter.Finish(filtered);
    text = filtered;
  }
  TextSearch search(text, cp1252, options, cp1252 ? word.cp1252 : word.utf8, path, index);
  search.Run(hits.lines);
  return hits;
}

}  // namespace

bool FindConcordance(std::span<const std::filesystem::path> files, std::string_view word,
                     const ConcordanceOptions& options,
                     const std::function<bool(const ConcordanceLine&)>& on_line) {
  if (options.width > kMaxConcordanceWidth) {
    throw std::invalid_argument("the context width is more than " +
                                std::to_string(kMaxConcordanceWidth));
  }
  const ListedWord listed = ListWord(word, options.fold_case);
  unsigned threads = options.threads != 0 ? options.threads : std::thread::hardware_concurrency();
  threads = std::max(1u, std::min<unsigned>(threads, static_cast<unsigned>(files.size())));
  // Files are searched ahead of the one being given out, a few at most, so that
  // memory stays bounded however slow the receiver is.
  const std::size_t ahead = 2 * static_cast<std::size_t>(threads);

  std::mutex mutex;
  std::condition_variable changed;
  std::vector<std::optional<FileHits>> done(files.size());
  std::size_t next = 0;     // the next file a worker takes
  std::size_t emitted = 0;  // the files given out
  bool stop = false;
  std::exception_ptr error;

  const auto cancelled = [&options] {
    return options.cancel != nullptr && options.cancel->load(std::memory_order_relaxed);
  };
  const auto work = [&] {
    for (;;) {
      std::size_t index = 0;
      {
        std::unique_lock lock(mutex);
        changed.wait(lock, [&] { return stop || next >= files.size() || next < emitted + ahead; });
        if (stop || next >= files.size()) return;
        index = next++;
      }
      std::optional<FileHits> hits;
      try {
        if (!cancelled()) hits = SearchFile(files[index], index, listed, options);
      } catch (...) {
        std::lock_guard lock(mutex);
        if (!error) error = std::current_exception();
        stop = true;
        changed.notify_all();
        return;
      }
      std::lock_guard lock(mutex);
      done[index] = hits ? std::move(hits) : std::optional<FileHits>(FileHits{});
      changed.notify_all();
    }
  };
  std::vector<std::jthread> workers;
  bool completed = true;
  try {
    for (unsigned i = 0; i < threads; ++i) workers.emplace_back(work);
    for (std::size_t index = 0; index < files.size(); ++index) {
      FileHits hits;
      {
        std::unique_lock lock(mutex);
        changed.wait(lock, [&] { return stop || done[index].has_value(); });
        if (stop) break;
        hits = std::move(*done[index]);
        done[index].reset();
        ++emitted;
        changed.notify_all();
      }
      if (cancelled()) {
        completed = false;
        break;
      }
      if (hits.failure && options.on_failure) options.on_failure(*hits.failure);
      for (const ConcordanceLine& line : hits.lines) {
        if (!on_line(line)) {
          completed = false;
          break;
        }
      }
      if (!completed) break;
    }
  } catch (...) {
    std::lock_guard lock(mutex);
    stop = true;
    changed.notify_all();
    throw;
  }
  {
    std::lock_guard lock(mutex);
    if (stop && !error) completed = false;
    stop = true;
    changed.notify_all();
  }
  workers.clear();
  if (error) std::rethrow_exception(error);
  return completed && !cancelled();
}

namespace {

// The first word of `text`, blanks skipped.
std::string_view FirstWord(std::string_view text) {
  const std::size_t start = text.find_first_not_of(' ');
  if (start == text.npos) return {};
  const std::size_t end = text.find(' ', start);
  return text.substr(start, end == text.npos ? text.npos : end - start);
}

// The last word of `text`, blanks skipped.
std::string_view LastWord(std::string_view text) {
  const std::size_t end = text.find_last_not_of(' ');
  if (end == text.npos) return {};
  const std::size_t start = text.rfind(' ', end);
  const std::size_t from = start == text.npos ? 0 : start + 1;
  return text.substr(from, end + 1 - from);
}

}  // namespace

void SortConcordance(std::vector<ConcordanceLine>& lines, KwicSort sort) {
  const auto text_order = [](const ConcordanceLine& a, const ConcordanceLine& b) {
    return std::tie(a.file_index, a.byte_offset) < std::tie(b.file_index, b.byte_offset);
  };
  switch (sort) {
    case KwicSort::kText:
      std::stable_sort(lines.begin(), lines.end(), text_order);
      return;
    case KwicSort::kRight:
      std::stable_sort(lines.begin(), lines.end(), [&](const auto& a, const auto& b) {
        const std::string_view x = FirstWord(a.right), y = FirstWord(b.right);
        return x != y ? x < y : text_order(a, b);
      });
      return;
    case KwicSort::kLeft:
      std::stable_sort(lines.begin(), lines.end(), [&](const auto& a, const auto& b) {
        const std::string_view x = LastWord(a.left), y = LastWord(b.left);
        return x != y ? x < y : text_order(a, b);
      });
      return;
  }
}

}  // namespace lintavel
