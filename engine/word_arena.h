#pragma once

#include <algorithm>
#include <cstring>
#include <memory>
#include <string_view>
#include <utility>
#include <vector>

#include "engine/cleared_memory.h"

namespace lintavel {

// Owns the bytes of the distinct words of a run, packed in large blocks; the views
// it hands out stay valid for its lifetime, also after the arena is moved.
class WordArena {
 public:
  std::string_view Store(std::string_view word) {
    if (word.size() > kLongWord) {
      // A long word gets a block of its own, so the current block is not wasted.
      blocks_.push_back(std::make_unique_for_overwrite<char[]>(word.size()));
      held_ += word.size();
      std::memcpy(blocks_.back().get(), word.data(), word.size());
      return {blocks_.back().get(), word.size()};
    }
    if (word.size() > left_) NewBlock();
    char* copy = cursor_;
    std::memcpy(copy, word.data(), word.size());
    cursor_ += word.size();
    left_ -= word.size();
    return {copy, word.size()};
  }

  // Stores the first `size` (up to 16) of `bytes`, copied 16 at once.
  std::string_view StoreShort(const char (&bytes)[16], std::size_t size) {
    if (left_ < 16) NewBlock();
    char* copy = cursor_;
    std::memcpy(copy, bytes, 16);
    cursor_ += size;
    left_ -= size;
    return {copy, size};
  }

  // Room for `size` bytes (a few dozen) at the end of the arena, to be written and
  // then kept, the first `used` of them, by Keep; writing there keeps nothing.
  char* Room(std::size_t size) {
    if (size > left_) NewBlock();
    return cursor_;
  }
  std::string_view Keep(std::size_t used) {
    char* kept = cursor_;
    cursor_ += used;
    left_ -= used;
    return {kept, used};
  }

  // Takes over every block of `other`; views into it stay valid.
  void Absorb(WordArena&& other) {
    for (auto& block : other.blocks_) blocks_.push_back(std::move(block));
    other.blocks_.clear();
    other.cursor_ = nullptr;
    other.left_ = 0;
    held_ += std::exchange(other.held_, 0);
  }

  // The bytes stored so far, blocks' unused ends left out.
  std::size_t used() const { return held_ - left_; }

 private:
  static constexpr std::size_t kBlockBytes = 256 * 1024;
  static constexpr std::size_t kLongWord = kBlockBytes / 8;
  // An arena of hundreds of megabytes (the joined sequences of a large list) grows
  // by ever larger blocks in huge pages: in 256 KiB blocks its page faults cost more
  // than the copying. A small list keeps small blocks.
  static constexpr std::size_t kLargestBlockBytes = 16 << 20;

  void NewBlock() {
    const std::size_t bytes = std::clamp(held_ / 2, kBlockBytes, kLargestBlockBytes);
    blocks_.push_back(std::make_unique_for_overwrite<char[]>(bytes));
    AdviseHugePages(blocks_.back().get(), bytes);
    held_ += bytes;
    cursor_ = blocks_.back().get();
    left_ = bytes;
  }

  std::vector<std::unique_ptr<char[]>> blocks_;
  char* cursor_ = nullptr;
  std::size_t left_ = 0;
  std::size_t held_ = 0;
};

}  // namespace lintavel
