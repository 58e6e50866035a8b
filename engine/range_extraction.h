#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string_view>

#include "engine/extraction.h"
#include "engine/file_decoding.h"
#include "engine/file_failure.h"

namespace lintavel {

// The bytes [start, end) of a file; to the end of the file when `end` is empty.
struct ByteRange {
  std::uint64_t start = 0;
  std::optional<std::uint64_t> end;
};

// Counts the words of the file at `path` that begin in `range`, each whole even when
// it runs on past the range's end, so that consecutive ranges count every word of
// the file exactly once, as ExtractWords counts them; a UTF-16 word begins at an
// even offset. A file whose size reads as 0 but which holds bytes (a pseudo-file) is
// read whole by a range from 0. Of `options` it uses transform_text, cancel (between
// blocks and before the ordering), progress (after every block) and on_ill_formed;
// the files figure of a range is 1 for every word.
// A failure with the file goes to `on_failure` and ends the reading, and what was
// counted before it stays. Throws std::invalid_argument for a range that is not
// within the file, std::bad_alloc when memory runs out.
ExtractionResult ExtractRange(const std::filesystem::path& path, ByteRange range,
                              FileDecoding decoding, const ExtractionOptions& options,
                              const FailureSink& on_failure);

// Hands the text of the words of the file at `path` that begin in `range`, as
// ExtractRange cuts and reads them, to `on_text` block by block in the order of the
// file, each block ending where a word ends. Of `options` it uses cancel and
// progress. A failure with the file goes to `on_failure` and ends the reading.
// False when the run was cancelled; throws as ExtractRange does for a range that is
// not within the file.
bool ReadRangeText(const std::filesystem::path& path, ByteRange range, FileDecoding decoding,
                   const ExtractionOptions& options, const FailureSink& on_failure,
                   const std::function<void(std::string_view)>& on_text);

// Hands the text of the whole file at `path`, read with `decoding` and passed through
// options.transform_text, to `on_text` block by block in the order of the file, each
// block ending where a word ends: the words of the blocks in turn are the file's
// words in order. Of `options` it uses transform_text, cancel and progress. A
// failure with the file goes to `on_failure` and ends the reading. False when the
// run was cancelled.
bool ReadFileText(const std::filesystem::path& path, FileDecoding decoding,
                  const ExtractionOptions& options, const FailureSink& on_failure,
                  const std::function<void(std::string_view)>& on_text);

// What opening the file at `path` for reading fails with, as ExtractWords and
// ExtractRange would meet it, or nothing when it opens.
std::optional<FileFailure> OpeningFailure(const std::filesystem::path& path);

}  // namespace lintavel
