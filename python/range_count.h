#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>

#include "corpus/corpus_run.h"
#include "engine/extraction.h"
#include "engine/file_decoding.h"
#include "python/counts.h"

namespace lintavel::python {

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
