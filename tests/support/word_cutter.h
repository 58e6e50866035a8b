#pragma once

#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "engine/byte_scan.h"
#include "engine/text_rules.h"

namespace lintavel {

// Where the separators and the dropped bytes stand in a run of 64 bytes: bit i of
// each mask belongs to byte i.
struct ByteMasks {
  std::uint64_t separators = 0;
  std::uint64_t dropped = 0;
};

// The masks of the 64 bytes at `p`, from the byte class table.
inline ByteMasks ClassifyBlockPlain(const unsigned char* p) {
  ByteMasks masks;
  for (unsigned i = 0; i < 64; ++i) {
    const auto c = static_cast<std::uint64_t>(kByteClasses[p[i]]);
    masks.separators |= (c >> 1) << i;
    masks.dropped |= (c & 1) << i;
  }
  return masks;
}

// The same masks from the engine's byte scans (tests hold the two to every one of
// the 256 bytes).
inline ByteMasks ClassifyBlock(const unsigned char* p) {
  const auto* bytes = reinterpret_cast<const char*>(p);
  return ByteMasks{SeparatorMask(bytes), DroppedMask(bytes)};
}

// Calls on_word(std::string_view) for every word of the Windows-1252 `text`: a run
// of bytes between separators (blank, line end), with the dropped bytes (tab,
// punctuation) removed; a run that is left empty is no word. `scratch` holds the
// cleaned copy of a word that had bytes to drop.
template <typename OnWord>
void ForEachWord(std::string_view text, std::string& scratch, OnWord&& on_word) {
  const auto emit = [&](const char* start, const char* stop, bool has_dropped)
      __attribute__((always_inline)) {
    if (!has_dropped) {
      on_word(std::string_view(start, static_cast<std::size_t>(stop - start)));
      return;
    }
    scratch.clear();
    for (const char* q = start; q < stop; ++q) {
      if (ClassOf(*q) == ByteClass::kWord) scratch.push_back(*q);
    }
    if (!scratch.empty()) on_word(std::string_view(scratch));
  };

  // Words are found 64 bytes at a time from bit masks: bit i of `starts` marks a
  // word byte after a separator, bit i of `ends` a separator after a word byte. A
  // word may run on across blocks; it is then `open_start`.
  const char* open_start = nullptr;
  bool open_dropped = false;
  std::uint64_t last_was_word = 0;
  const char* const end = text.data() + text.size();
  for (const char* p = text.data(); p < end; p += 64) {
    ByteMasks masks;
    if (end - p >= 64) {
      masks = ClassifyBlock(reinterpret_cast<const unsigned char*>(p));
    } else {
      // The last short block is classified from a copy padded with blanks; the
      // padding ends any word there, and the words are still cut from `text`.
      std::array<unsigned char, 64> tail;
      tail.fill(static_cast<unsigned char>(kBlank));
      std::memcpy(tail.data(), p, static_cast<std::size_t>(end - p));
      masks = ClassifyBlock(tail.data());
    }
    const std::uint64_t in_word = ~masks.separators;
    const std::uint64_t before_word = (in_word << 1) | last_was_word;
    std::uint64_t starts = in_word & ~before_word;
    std::uint64_t ends = masks.separators & before_word;
    last_was_word = in_word >> 63;
    if (open_start != nullptr) {
      if (ends == 0) {
        open_dropped |= masks.dropped != 0;
        continue;
      }
      const int e = std::countr_zero(ends);
      ends &= ends - 1;
      open_dropped |= (masks.dropped & ((std::uint64_t{1} << e) - 1)) != 0;
      emit(open_start, p + e, open_dropped);
      open_start = nullptr;
    }
    while (ends != 0) {
      const int s = std::countr_zero(starts);
      const int e = std::countr_zero(ends);
      starts &= starts - 1;
      ends &= ends - 1;
      const std::uint64_t span = (std::uint64_t{1} << e) - (std::uint64_t{1} << s);
      emit(p + s, p + e, (masks.dropped & span) != 0);
    }
    if (starts != 0) {
      const int s = std::countr_zero(starts);
      open_start = p + s;
      open_dropped = (masks.dropped >> s) != 0;
    }
  }
  if (open_start != nullptr) emit(open_start, end, open_dropped);
}

}  // namespace lintavel
