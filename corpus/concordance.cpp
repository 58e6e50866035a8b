#include "corpus/concordance.h"

#include <algorithm>
#include <array>
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
#include "engine/word_break.h"

namespace lintavel {

namespace {

// A part of the work: a whole file, or a stretch of a large one.
struct Task {
  std::size_t file = 0;
  std::uint64_t begin = 0;  // the stretch's bytes, for a stretch
  std::uint64_t end = 0;
  bool stretch = false;
};

// What one task gave: its lines in text order (numbered from 1 within a stretch),
// or the failure that ended it, and a stretch's line ends.
struct FileHits {
  std::vector<ConcordanceLine> lines;
  std::optional<FileFailure> failure;
  std::uint64_t line_ends = 0;
};

// The word as the word list lists it, in the encodings a file's text may have.
struct ListedWord {
  std::string utf8;
  std::string cp1252;
  bool in_cp1252 = false;  // every character of it exists in Windows-1252
};

// The one word that the Unicode rule cuts from `word`, or empty when it cuts none or
// more than one.
std::string OneUnicodeWord(std::string_view word, bool split_elisions) {
  if (!IsWellFormedUtf8(word)) return {};
  std::string_view only;
  int count = 0;
  ForEachUnicodeWord(word, UnicodeWordOptions{split_elisions}, [&](std::string_view cut) {
    only = cut;
    ++count;
  });
  return count == 1 ? std::string(only) : std::string();
}

// `word` as `options` list it: with the characters the default rule removes taken
// out, or as the one word the Unicode rule cuts from it, folded when asked; empty
// when it cannot be one word (it holds a blank or line end, or nothing is left).
ListedWord ListWord(std::string_view word, const ConcordanceOptions& options) {
  const bool fold_case = options.fold_case;
  std::string kept;
  if (options.words == WordRule::kUnicode) {
    kept = OneUnicodeWord(word, options.split_elisions);
  } else {
    for (char c : word) {
      const ByteClass cls = ClassOf(c);
      if (cls == ByteClass::kSeparator) return {};
      // Only ASCII is removed: no UTF-8 lead or continuation byte is dropped.
      if (cls == ByteClass::kWord || static_cast<unsigned char>(c) >= 0x80) kept += c;
    }
  }
  ListedWord listed;
  if (kept.empty() || !IsWellFormedUtf8(kept)) return {};
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

// Whether the text's byte `c`, as the next byte of a word, may begin what folds to
// the folded byte `folded`: a byte beyond ASCII may fold to anything, a removed
// character leaves the decision to the byte after it.
bool MayFoldTo(char c, char folded) {
  if (static_cast<unsigned char>(c) >= 0x80 || ClassOf(c) == ByteClass::kDropped) return true;
  if (c == folded) return true;
  return folded >= 'a' && folded <= 'z' && c == folded - 'a' + 'A';
}
bool IsUtf8Continuation(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

// Whether the Unicode rule's words of the text from `at` on are those of the whole
// text: at a line's start (the rules break after every LF) or at a cut point.
bool IsSafePlace(std::string_view text, std::size_t at) {
  return at == 0 || at >= text.size() || text[at - 1] == '\n' ||
         word_break_internal::IsCutPoint(text, at);
}

// Whether some place in [from, to] of `text`, not its ends, is safe.
bool HasSafePlace(std::string_view text, std::size_t from, std::size_t to) {
  for (std::size_t at = std::max<std::size_t>(from, 1); at <= to && at < text.size(); ++at) {
    if (IsSafePlace(text, at)) return true;
  }
  return false;
}

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

  // Finds every occurrence whose word begins in [begin, end) (the first byte of the
  // listed word without folding, of the text's word with it), in order; the rest of
  // the text is context. False when cancelled.
  bool Run(std::size_t begin, std::size_t end, std::vector<ConcordanceLine>& lines) {
    begin_ = begin;
    end_ = end;
    line_from_ = begin;
    if (options_.words == WordRule::kUnicode) return RunUnicode(lines);
    return options_.fold_case ? RunFolded(lines) : RunExact(lines);
  }

  // The line ends in [begin, end) after Run.
  std::uint64_t LineEnds() {
    AdvanceLine(end_);
    return line_ - 1;
  }

 private:
  // Candidates are the places of the word's first byte; each is then checked to be
  // a whole word of the text after the rules.
  bool RunExact(std::vector<ConcordanceLine>& lines) {
    const char* const data = text_.data();
    const std::size_t size = text_.size();
    std::size_t pos = begin_;
    while (pos < end_) {
      const void* found = std::memchr(data + pos, word_[0], end_ - pos);
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

  // Each word of the text that may match is cut, stripped and folded, then compared.
  // A word may match only when its first kept byte folds to the listed word's first
  // byte: an ASCII letter folds only to itself in the other case, and no ASCII
  // character comes from folding anything but ASCII, so the candidates are that
  // letter in either case and every byte beyond ASCII (which may fold to anything).
  bool RunFolded(std::vector<ConcordanceLine>& lines) {
    const std::size_t size = text_.size();
    std::array<bool, 256> candidate{};
    for (std::size_t b = 0x80; b < 256; ++b) candidate[b] = true;
    const auto first = static_cast<unsigned char>(word_[0]);
    if (first < 0x80) {
      candidate[first] = true;
      if (first >= 'a' && first <= 'z') candidate[first - 'a' + 'A'] = true;
    }
    std::string stripped;
    std::string folded;
    std::size_t i = begin_;
    // A word that began before the range is not this range's.
    if (i > 0) {
      while (i < size && ClassOf(text_[i - 1]) != ByteClass::kSeparator) ++i;
    }
    while (i < end_) {
      std::size_t at = i;
      while (at < size && !candidate[static_cast<unsigned char>(text_[at])]) ++at;
      if (at == size) break;
      std::size_t start = at;
      while (start > i && ClassOf(text_[start - 1]) != ByteClass::kSeparator) --start;
      if (start >= end_) break;
      i = start;
      // After an ASCII first byte, whose fold is one byte, the next kept byte must
      // fold to the listed word's second: most candidates end here.
      if (const auto lead = static_cast<unsigned char>(text_[at]);
          lead < 0x80 && word_.size() > 1) {
        const char next = at + 1 < size ? text_[at + 1] : ' ';
        if (!MayFoldTo(next, word_[1])) {
          while (i < size && ClassOf(text_[i]) != ByteClass::kSeparator) ++i;
          continue;
        }
      }
      bool first_kept = true;
      for (std::size_t k = start; k < at; ++k)
        first_kept = first_kept && ClassOf(text_[k]) == ByteClass::kDropped;
      stripped.clear();
      while (i < size && ClassOf(text_[i]) != ByteClass::kSeparator) {
        if (first_kept && ClassOf(text_[i]) == ByteClass::kWord) stripped += text_[i];
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

  // The Unicode rule's words are cut from the safe place at or before the range to
  // the one at or after it, and those that begin in the range compared.
  bool RunUnicode(std::vector<ConcordanceLine>& lines) {
    std::size_t from = begin_;
    while (from > 0 && !IsSafePlace(text_, from)) --from;
    std::size_t to = end_;
    while (to < text_.size() && !IsSafePlace(text_, to)) ++to;
    const std::string_view part = text_.substr(from, to - from);
    const UnicodeWordOptions cut{options_.split_elisions};
    std::string folded;
    bool stopped = false;
    const auto on_word = [&](std::string_view word) {
      const auto start = static_cast<std::size_t>(word.data() - text_.data());
      if (stopped || start < begin_ || start >= end_) return;
      if (options_.fold_case) {
        folded.clear();
        if (cp1252_) {
          AppendFoldedCp1252(word, folded);
        } else {
          AppendFoldedUtf8(word, folded);
        }
        if (folded != word_) return;
      } else if (word != word_) {
        return;
      }
      Emit(start, start + word.size(), lines);
      stopped = Cancelled();
    };
    if (cp1252_) {
      ForEachUnicodeWordCp1252(part, cut, on_word);
    } else {
      ForEachUnicodeWord(part, cut, on_word);
    }
    return !stopped;
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
    if (to <= line_from_) return;
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
  std::size_t begin_ = 0;
  std::size_t end_ = 0;
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
  search.Run(0, text.size(), hits.lines);
  return hits;
}

// Reads and searches the stretch [task.begin, task.end) of a Windows-1252 or UTF-8
// file, with context enough on either side, into `raw`: a worker's buffer for all
// its stretches, as a block of megabytes would be mapped afresh for each.
FileHits SearchStretch(const std::filesystem::path& path, const Task& task, const ListedWord& word,
                       const ConcordanceOptions& options, std::string& raw) {
  FileHits hits;
  const bool cp1252 = options.encoding == InputEncoding::kCp1252;
  // Four bytes a character at most, and a few more to reach a character's start.
  const std::uint64_t margin = 4 * static_cast<std::uint64_t>(options.width) + 256;
  std::uint64_t before = margin;
  std::uint64_t after = margin;
  std::uint64_t from = 0;
  FailureStage stage = FailureStage::kOpen;
  try {
    InputFile file(path);
    stage = FailureStage::kRead;
    for (;;) {
      from = task.begin > before ? task.begin - before : 0;
      const std::uint64_t to = std::min(task.end + after, file.size_at_open());
      raw.resize(static_cast<std::size_t>(to - from));
      raw.resize(file.ReadAt(std::span<char>(raw.data(), raw.size()), from));
      if (raw.size() < task.end - from) throw std::runtime_error("the file became shorter");
      if (options.words != WordRule::kUnicode) break;
      // The Unicode rule's words near the stretch's ends are cut from safe places,
      // which must be read.
      const bool head_safe =
          from == 0 || HasSafePlace(raw, 1, static_cast<std::size_t>(task.begin - from));
      const bool tail_safe =
          to == file.size_at_open() ||
          HasSafePlace(raw, static_cast<std::size_t>(task.end - from), raw.size());
      if (head_safe && tail_safe) break;
      if (!head_safe) before *= 4;
      if (!tail_safe) after *= 4;
    }
    stage = FailureStage::kClose;
    file.Close();
  } catch (const std::runtime_error& failure) {
    hits.failure = FailureOf(path, stage, failure.what());
    return hits;
  }
  // Nothing can be found: no line needs a number.
  if (word.utf8.empty() || (cp1252 && !word.in_cp1252)) return hits;
  std::size_t head = 0;
  std::size_t begin = static_cast<std::size_t>(task.begin - from);
  std::size_t end = static_cast<std::size_t>(task.end - from);
  std::string decoded;
  std::string_view text = raw;
  if (!cp1252) {
    // Cut at the starts of characters, which every stretch finds alike.
    const auto to_start = [&raw](std::size_t at) {
      while (at < raw.size() && IsUtf8Continuation(raw[at])) ++at;
      return at;
    };
    if (from == 0 && HasUtf8Bom(raw)) head = 3;
    head = to_start(head);
    begin = std::max(to_start(begin), head);
    end = to_start(end);
    if (!IsWellFormedUtf8(std::string_view(raw).substr(head))) {
      // Each part decoded alone, so that the range's ends are known in the text.
      std::string part;
      std::string joined;
      std::string_view piece;
      const std::size_t cuts[] = {head, begin, end, raw.size()};
      std::size_t marks[3] = {};
      for (int k = 0; k < 3; ++k) {
        marks[k] = joined.size();
        DecodeBlock(std::string_view(raw).substr(cuts[k], cuts[k + 1] - cuts[k]),
                    FileDecoding::kUtf8, false, false, true, part, piece);
        joined.append(piece);
      }
      decoded = std::move(joined);
      head = 0;
      begin = marks[1];
      end = marks[2];
      text = decoded;
    }
  }
  text = text.substr(head);
  TextSearch search(text, cp1252, options, cp1252 ? word.cp1252 : word.utf8, path, task.file);
  search.Run(begin - head, end - head, hits.lines);
  hits.line_ends = search.LineEnds();
  for (ConcordanceLine& line : hits.lines) line.byte_offset += from + head;
  return hits;
}

// The tasks for `files`: whole files, and large plain files in stretches.
std::vector<Task> TasksOf(std::span<const std::filesystem::path> files,
                          const ConcordanceOptions& options) {
  const bool plain = !options.html && (options.encoding == InputEncoding::kCp1252 ||
                                       options.encoding == InputEncoding::kUtf8);
  std::vector<Task> tasks;
  for (std::size_t i = 0; i < files.size(); ++i) {
    const std::uint64_t size = plain ? RegularFileSize(files[i]) : 0;
    const std::uint64_t stretch = std::max<std::uint64_t>(options.stretch_bytes, 1);
    if (size < 2 * stretch) {
      tasks.push_back({i, 0, 0, false});
      continue;
    }
    for (std::uint64_t at = 0; at < size; at += stretch) {
      tasks.push_back({i, at, std::min(at + stretch, size), true});
    }
  }
  return tasks;
}

}  // namespace

bool FindConcordance(std::span<const std::filesystem::path> files, std::string_view word,
                     const ConcordanceOptions& options,
                     const std::function<bool(const ConcordanceLine&)>& on_line) {
  if (options.width > kMaxConcordanceWidth) {
    throw std::invalid_argument("the context width is more than " +
                                std::to_string(kMaxConcordanceWidth));
  }
  const ListedWord listed = ListWord(word, options);
  unsigned threads = options.threads != 0 ? options.threads : std::thread::hardware_concurrency();
  threads = std::max(1u, std::min<unsigned>(threads, static_cast<unsigned>(files.size()) * 64));
  // Files are searched ahead of the one being given out, a few at most, so that
  // memory stays bounded however slow the receiver is.
  const std::size_t ahead = 2 * static_cast<std::size_t>(threads);
  const std::vector<Task> tasks = TasksOf(files, options);

  std::mutex mutex;
  std::condition_variable changed;
  std::vector<std::optional<FileHits>> done(tasks.size());
  std::size_t next = 0;     // the next file a worker takes
  std::size_t emitted = 0;  // the files given out
  bool stop = false;
  std::exception_ptr error;

  const auto cancelled = [&options] {
    return options.cancel != nullptr && options.cancel->load(std::memory_order_relaxed);
  };
  const auto work = [&] {
    std::string raw;
    for (;;) {
      std::size_t index = 0;
      {
        std::unique_lock lock(mutex);
        changed.wait(lock, [&] { return stop || next >= tasks.size() || next < emitted + ahead; });
        if (stop || next >= tasks.size()) return;
        index = next++;
      }
      std::optional<FileHits> hits;
      try {
        const Task& task = tasks[index];
        if (!cancelled()) {
          hits = task.stretch ? SearchStretch(files[task.file], task, listed, options, raw)
                              : SearchFile(files[task.file], task.file, listed, options);
        }
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
    std::uint64_t lines_before = 0;  // in the stretches before, of the same file
    bool file_failed = false;
    for (std::size_t index = 0; index < tasks.size(); ++index) {
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
      const Task& task = tasks[index];
      if (!task.stretch || task.begin == 0) {
        lines_before = 0;
        file_failed = false;
      }
      // A file that fails is said once, however many stretches it has.
      if (hits.failure && options.on_failure && !file_failed) options.on_failure(*hits.failure);
      file_failed = file_failed || hits.failure.has_value();
      for (ConcordanceLine& line : hits.lines) {
        line.line += lines_before;
        if (!on_line(line)) {
          completed = false;
          break;
        }
      }
      if (!completed) break;
      lines_before += hits.line_ends;
      const bool file_done = !task.stretch || index + 1 == tasks.size() ||
                             tasks[index + 1].file != task.file || !tasks[index + 1].stretch;
      if (options.progress && file_done) options.progress(task.file + 1);
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

// Sorts `lines`, lines or pointers to them, by `sort`; `at` reaches the line.
template <typename Line, typename At>
void SortLines(std::vector<Line>& lines, KwicSort sort, At at) {
  const auto text_order = [&](const Line& a, const Line& b) {
    return std::tie(at(a).file_index, at(a).byte_offset) <
           std::tie(at(b).file_index, at(b).byte_offset);
  };
  switch (sort) {
    case KwicSort::kText:
      std::stable_sort(lines.begin(), lines.end(), text_order);
      return;
    case KwicSort::kRight:
      std::stable_sort(lines.begin(), lines.end(), [&](const Line& a, const Line& b) {
        const std::string_view x = FirstWord(at(a).right), y = FirstWord(at(b).right);
        return x != y ? x < y : text_order(a, b);
      });
      return;
    case KwicSort::kLeft:
      std::stable_sort(lines.begin(), lines.end(), [&](const Line& a, const Line& b) {
        const std::string_view x = LastWord(at(a).left), y = LastWord(at(b).left);
        return x != y ? x < y : text_order(a, b);
      });
      return;
  }
}

}  // namespace

void SortConcordance(std::vector<ConcordanceLine>& lines, KwicSort sort) {
  SortLines(lines, sort,
            [](const ConcordanceLine& line) -> const ConcordanceLine& { return line; });
}

void SortConcordance(std::vector<const ConcordanceLine*>& lines, KwicSort sort) {
  if (sort == KwicSort::kText) {
    SortLines(lines, sort,
              [](const ConcordanceLine* line) -> const ConcordanceLine& { return *line; });
    return;
  }
  // Each line's word found once and held beside its place, rather than found again
  // through a pointer at each comparison: a million lines sort several times faster.
  struct Keyed {
    std::string_view word;
    std::size_t file_index;
    std::uint64_t byte_offset;
    const ConcordanceLine* line;
  };
  std::vector<Keyed> keyed;
  keyed.reserve(lines.size());
  for (const ConcordanceLine* line : lines) {
    keyed.push_back({sort == KwicSort::kRight ? FirstWord(line->right) : LastWord(line->left),
                     line->file_index, line->byte_offset, line});
  }
  std::stable_sort(keyed.begin(), keyed.end(), [](const Keyed& a, const Keyed& b) {
    return std::tie(a.word, a.file_index, a.byte_offset) <
           std::tie(b.word, b.file_index, b.byte_offset);
  });
  for (std::size_t i = 0; i < keyed.size(); ++i) lines[i] = keyed[i].line;
}

}  // namespace lintavel
