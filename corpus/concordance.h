#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "engine/extraction.h"
#include "engine/file_failure.h"
#include "engine/word_rule.h"

namespace lintavel {

// One occurrence of a word in its context. Every text is UTF-8, whatever the
// encoding of the input; tabs and line ends in the contexts are blanks.
struct ConcordanceLine {
  std::filesystem::path path;
  std::uint64_t line = 0;  // from 1; with html, the line in the text left by the filter
  std::string left;        // up to `width` characters before the word
  std::string word;        // the word as it stands in the text, punctuation included
  std::string right;       // up to `width` characters after the word
  // Where the word begins in the file's decoded text: the file's byte offset for
  // Windows-1252 and for well-formed UTF-8 without a byte-order mark, without html.
  std::uint64_t byte_offset = 0;
  std::size_t file_index = 0;  // the place of `path` among the files searched
};

struct ConcordanceOptions {
  InputEncoding encoding = InputEncoding::kCp1252;
  bool html = false;                    // only the text of HTML, as the word list reads it
  bool fold_case = false;               // the word and the text's words compared case-folded
  WordRule words = WordRule::kDefault;  // the rule that cuts the word and the text
  bool split_elisions = false;          // with kUnicode: "l’histoire" is "l’" and "histoire"
  std::size_t width = 40;               // characters of context on each side
  unsigned threads = 0;                 // files searched at once; 0 takes one per core
  // A file of plain Windows-1252 or UTF-8 (no html) of twice this size or more is
  // searched in stretches of this size at once: one large file keeps every thread
  // busy, and memory stays bounded.
  std::uint64_t stretch_bytes = 16 << 20;
  // Checked between files and often within one; once set, the search ends.
  const std::atomic<bool>* cancel = nullptr;
  // Called on the calling thread after each file, with how many are done.
  std::function<void(std::size_t)> progress;
  // Receives each file that cannot be read, on the calling thread; the search goes on.
  FailureSink on_failure;
};

// The widest context FindConcordance accepts on each side.
inline constexpr std::size_t kMaxConcordanceWidth = 1000;

// Calls `on_line`, on the calling thread, for each occurrence of `word` in `files`,
// in text order (files in the given order) and as soon as each file is searched;
// `on_line` returns false to stop. `word` is matched as the word list lists it:
// it and each word of the text are cut by `options.words` (by default
// blank-separated, the 32 ASCII punctuation characters removed; by the Unicode
// rule `word` must be one word) and compared after case folding when `fold_case`.
// `word` is UTF-8. Returns false when cancelled or stopped.
bool FindConcordance(std::span<const std::filesystem::path> files, std::string_view word,
                     const ConcordanceOptions& options,
                     const std::function<bool(const ConcordanceLine&)>& on_line);

// The orders in which a concordance is shown.
enum class KwicSort {
  kText,   // file, then place in the file
  kRight,  // the first word of the right context, then text order
  kLeft,   // the last word of the left context, then text order
};

// Orders `lines` (given in text order) by `sort`; ties keep text order. Words are
// compared as UTF-8 bytes, that is by code point.
void SortConcordance(std::vector<ConcordanceLine>& lines, KwicSort sort);
// The same order for lines held elsewhere, without moving them.
void SortConcordance(std::vector<const ConcordanceLine*>& lines, KwicSort sort);

}  // namespace lintavel
