#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>

#include "corpus/corpus_run.h"
#include "engine/extraction.h"
#include "python/counts.h"

namespace lintavel::python {

// How the bytes of one file become the text whose words are counted.
enum class FileDecoding {
  kCp1252,        // Windows-1252 bytes, counted as they are
  kCp1252AsUtf8,  // Windows-1252 read into UTF-8 words (an "auto" file that is no Unicode)
  kUtf8,
  kUtf16,
};

// The decoding that a run in `encoding` gives the file at `path`. For kAuto the
// whole file is read, as a run reads it: UTF-16 after a UTF-16 byte-order mark,
// UTF-8 after a UTF-8 one or when every byte is well-formed UTF-8, else
// Windows-1252; a file that cannot be read is kCp1252AsUtf8 (its reading reports).
FileDecoding DecodingOf(const std::filesystem::path& path, InputEncoding encoding);

// Counts the words of the file at `path` that begin in the bytes [start, end) (end
// of the file when `end` is empty), each word whole even when it runs on past
// `end`, so that consecutive ranges count every word of the file exactly once. A
// UTF-16 word begins at an even offset. Folds the case and leaves out
// `stop_words` as ExtractCorpus does. A file that cannot be opened or read is an
// error of the result; a range beyond the file's end throws std::invalid_argument.
Counts CountRange(const std::filesystem::path& path, std::uint64_t start,
                  std::optional<std::uint64_t> end, FileDecoding decoding,
                  const CorpusSettings& settings, const StopWords& stop_words);

}  // namespace lintavel::python
