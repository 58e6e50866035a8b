#pragma once

#include <filesystem>
#include <span>
#include <stdexcept>

#include "corpus/word_list.h"
#include "engine/extraction.h"

namespace lintavel {

// A stop list that cannot be read; the text names it and the cause, in one line.
class StopListError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Reads every list of `lists` through the side-file rule (a pipe, a device or a
// folder is refused, never opened) and the word rules of `options` (their encoding,
// as for the input files; HTML never), folded when `fold_case`, into one set. Throws
// StopListError when a list cannot be read, and reads none of the rest then.
StopWords ReadStopLists(std::span<const std::filesystem::path> lists, ExtractionOptions options,
                        bool fold_case);

}  // namespace lintavel
