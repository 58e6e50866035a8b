#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string_view>
#include <vector>

#include "engine/spill.h"
#include "engine/streamed_words.h"
#include "engine/utf8.h"
#include "engine/word_arena.h"
#include "engine/word_counter.h"

namespace lintavel {

// The words of a run that spilled, left on disk rather than gathered in one list:
// merged from the counting's runs, put in the order asked in runs of their own
// that each fit in the bound, and handed out one by one from a merge of those.
// Only when every word fits in one such run is it held in memory instead.
class SpilledWords final : public StreamedWords {
 public:
  // Takes the counting's runs of words in `encoding` (with files figures when
  // `with_files`); the ordering keeps near `memory_limit` bytes and writes its own
  // runs into a folder in `temp_dir`; it sorts with up to `threads` threads.
  SpilledWords(std::unique_ptr<Spill> counted, WordEncoding encoding, bool with_files,
               std::filesystem::path temp_dir, std::uint64_t memory_limit, unsigned threads,
               const std::atomic<bool>* cancel);
  ~SpilledWords();
  SpilledWords(const SpilledWords&) = delete;
  SpilledWords& operator=(const SpilledWords&) = delete;

  // Merges the counted runs and chooses each word once. Throws as StreamedWords
  // says when the temporary folder fails or memory runs out.
  CountTallies Order(const WordChoice& choice, StreamOrder order) override;
  void ForEach(const std::function<void(std::span<const CorpusWord>)>& take) override;

  WordEncoding encoding() const override { return encoding_; }
  bool with_files() const override { return with_files_; }

 private:
  bool Less(std::string_view a, std::uint64_t a_count, std::string_view b,
            std::uint64_t b_count) const;
  bool ChunkFull() const;
  void SortChunk();
  void SpillChunk();

  std::unique_ptr<Spill> counted_;
  std::unique_ptr<Spill> ordered_;  // the ordered runs, from the first chunk that fills
  WordEncoding encoding_;
  StreamOrder order_ = StreamOrder::kCountThenWord;
  bool with_files_;
  std::filesystem::path temp_dir_;
  std::uint64_t memory_limit_;
  unsigned threads_;
  const std::atomic<bool>* cancel_;
  // The words being ordered, as many as fit in the chunk's share of the bound.
  WordArena chunk_bytes_;
  std::vector<CountedWord> chunk_;
  std::vector<std::uint64_t> chunk_files_;
};

}  // namespace lintavel
