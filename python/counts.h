#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include <boost/unordered/unordered_flat_map.hpp>

#include "corpus/word_list.h"
#include "engine/word_hash.h"

namespace lintavel::python {

// A file that could not be read and what the reader said about it.
struct FileError {
  std::string path;
  std::string reason;
};

// The counted words of a run, in the order of its list, with the files that failed.
class Counts {
 public:
  Counts() = default;
  // `per_file`: the list's files figures were counted.
  Counts(CorpusList list, std::vector<FileError> errors, bool per_file = false);
  Counts(Counts&&) noexcept = default;
  Counts& operator=(Counts&&) noexcept = default;

  const CorpusList& list() const { return list_; }
  const std::vector<FileError>& errors() const { return errors_; }
  bool per_file() const { return per_file_; }

  // How often `word` (bytes in the list's encoding) was counted; 0 when never.
  std::uint64_t CountOf(std::string_view word) const;

  // In how many files `word` occurs; 0 when never.
  std::uint64_t FilesOf(std::string_view word) const;

  // Whether `word` is one of the listed words.
  bool Contains(std::string_view word) const;

  // The sum of `parts`: every word's counts added, the totals added, the errors in
  // the order of the parts; the words in the window's order. The files figures are
  // added, or with `same_file` (parts that are ranges of one file) the largest
  // kept. Throws std::invalid_argument when the parts' words are in different
  // encodings or only some have files figures (parts without words fit any).
  static Counts Merged(std::span<const Counts* const> parts, bool same_file = false);

  // Keeps the words seen at least `min_count` times, then the `top` most frequent,
  // in `order`; the total stays that of every word counted.
  void Shape(std::uint64_t min_count, std::optional<std::uint64_t> top, WordOrder order);

  // Drops each error that repeats the one before it (the ranges of one file each
  // tell of the same failure).
  void DropRepeatedErrors();

  // A compact binary form: the words' bytes and a few bytes per word.
  std::string Serialize() const;

  // The counts that Serialize gave `bytes`; throws std::invalid_argument on
  // anything else.
  static Counts Deserialize(std::string_view bytes);

 private:
  const CorpusWord* Find(std::string_view word) const;

  CorpusList list_;
  std::vector<FileError> errors_;
  bool per_file_ = false;
  // Built on the first lookup: from a word to its place in the list.
  mutable boost::unordered_flat_map<std::string_view, std::size_t, WordHash,
                                    std::equal_to<std::string_view>>
      index_;
};

}  // namespace lintavel::python
