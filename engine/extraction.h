#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <span>
#include <vector>

#include "engine/word_arena.h"
#include "engine/word_counter.h"
#include "shell/error_report.h"

namespace lintavel {

struct ExtractionOptions {
  // Counting threads; 0 takes one per core.
  unsigned threads = 0;
  // Called on the calling thread with the fraction of the input bytes counted so far.
  std::function<void(double)> progress;
  // Checked before every block of input; once set, the run ends as soon as it can.
  const std::atomic<bool>* cancel = nullptr;
  // Receives the reader's reports, on the calling thread, in the order of the files.
  ReportSink report;
};

struct ExtractionResult {
  WordArena storage;               // owns the bytes that `words` points to
  std::vector<CountedWord> words;  // least frequent first, ties in ordinal order
  std::uint64_t total = 0;         // the number of words counted
  int reports = 0;                 // failures reported by the reader
  bool cancelled = false;          // the run was cancelled; `words` is then empty
};

// Reads `files` in order as Windows-1252 text and counts every distinct word. A file
// that cannot be opened or read is reported and the run goes on with the next one.
// Memory grows with the distinct words, never with the size of the input.
ExtractionResult ExtractWords(std::span<const std::filesystem::path> files,
                              const ExtractionOptions& options = {});

}  // namespace lintavel
