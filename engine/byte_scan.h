#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>

#include "engine/simd_x86.h"
#include "engine/text_rules.h"

// The engine's byte scans, each in a plain form and in the vector form chosen at
// compile time. The scans are inlined in hot loops, so only an instruction set that
// every processor of the build target has (SSE2 on x86-64) may serve them; wider
// sets are chosen at run time, one call per block, in squeeze.cpp and utf8_check.cpp.
namespace lintavel {

// Bit i set where byte i of the 64 at `p` is a blank or a line end.
inline std::uint64_t SeparatorMaskPlain(const char* p) {
  std::uint64_t mask = 0;
  for (unsigned i = 0; i < 64; ++i) {
    mask |= std::uint64_t{ClassOf(p[i]) == ByteClass::kSeparator} << i;
  }
  return mask;
}

// Bit i set where byte i of the 64 at `p` is dropped from words (tab, punctuation).
inline std::uint64_t DroppedMaskPlain(const char* p) {
  std::uint64_t mask = 0;
  for (unsigned i = 0; i < 64; ++i) {
    mask |= std::uint64_t{ClassOf(p[i]) == ByteClass::kDropped} << i;
  }
  return mask;
}

// Bit i set where byte i of the 64 at `p` is '.', '!' or '?', which end a sentence
// when they end a token.
inline std::uint64_t SentenceMarkMaskPlain(const char* p) {
  std::uint64_t mask = 0;
  for (unsigned i = 0; i < 64; ++i) {
    mask |= std::uint64_t{p[i] == '.' || p[i] == '!' || p[i] == '?'} << i;
  }
  return mask;
}

// The line ends (LF, CR LF, lone CR) among the `n` bytes at `p`; `after_cr` tells
// that the byte before them was a CR, so that a CR LF cut between them counts once.
inline std::uint64_t CountLineEndsPlain(const char* p, std::size_t n, bool after_cr) {
  std::uint64_t lines = 0;
  for (std::size_t i = 0; i < n; ++i) {
    lines += p[i] == '\r' || (p[i] == '\n' && !after_cr) ? 1 : 0;
    after_cr = p[i] == '\r';
  }
  return lines;
}

// Where the first '<' or '&' of the `n` bytes at `p` stands at or after `i`, or `n`.
inline std::size_t FindMarkupPlain(const char* p, std::size_t n, std::size_t i) {
  for (; i < n; ++i) {
    if (p[i] == '<' || p[i] == '&') return i;
  }
  return n;
}

#if defined(LINTAVEL_SIMD_SSE2)
inline std::uint64_t SeparatorMask(const char* p) { return x86::SeparatorMaskSse2(p); }
inline std::uint64_t DroppedMask(const char* p) { return x86::DroppedMaskSse2(p); }
inline std::uint64_t SentenceMarkMask(const char* p) { return x86::SentenceMarkMaskSse2(p); }
inline std::uint64_t CountLineEnds(const char* p, std::size_t n, bool after_cr) {
  return x86::CountLineEndsSse2(p, n, after_cr);
}
inline std::size_t FindMarkup(const char* p, std::size_t n, std::size_t i) {
  return x86::FindMarkupSse2(p, n, i);
}
#else
inline std::uint64_t SeparatorMask(const char* p) { return SeparatorMaskPlain(p); }
inline std::uint64_t DroppedMask(const char* p) { return DroppedMaskPlain(p); }
inline std::uint64_t SentenceMarkMask(const char* p) { return SentenceMarkMaskPlain(p); }
inline std::uint64_t CountLineEnds(const char* p, std::size_t n, bool after_cr) {
  return CountLineEndsPlain(p, n, after_cr);
}
inline std::size_t FindMarkup(const char* p, std::size_t n, std::size_t i) {
  return FindMarkupPlain(p, n, i);
}
#endif

// Calls on_word(from, to) for each word among the `size` bytes at `text` (a run
// between blanks and line ends), found from the masks of 64 bytes at a time: bit i
// of `starts` marks a word byte after a separator, bit i of `ends` a separator after
// a word byte, and a word that runs on across 64 bytes is open. 64 bytes must be
// readable past `size`, and blanks there. The first `open_bytes` are a word that
// runs on: they are not looked at again. Unless `last`, a word that reaches `size`
// may run on past it: it is not called, and where it starts is returned; else
// `size` is.
template <class OnWord>
std::size_t ForEachSeparatedWord(const char* text, std::size_t size, std::size_t open_bytes,
                                 bool last, const OnWord& on_word) {
  constexpr std::size_t kNone = ~std::size_t{0};
  std::size_t open = open_bytes != 0 ? 0 : kNone;
  std::uint64_t last_was_word = open_bytes != 0 ? 1 : 0;
  std::size_t done = size;
  for (std::size_t base = open_bytes; base < size; base += 64) {
    const std::uint64_t separators = SeparatorMask(text + base);
    const std::uint64_t in_word = ~separators;
    const std::uint64_t before_word = (in_word << 1) | last_was_word;
    std::uint64_t starts = in_word & ~before_word;
    std::uint64_t ends = separators & before_word;
    last_was_word = in_word >> 63;
    if (open != kNone) {
      if (ends == 0) continue;
      const std::size_t to = base + static_cast<std::size_t>(std::countr_zero(ends));
      ends &= ends - 1;
      if (!last && to == size) {
        done = open;
        open = kNone;
        break;
      }
      on_word(open, to);
      open = kNone;
    }
    while (ends != 0) {
      const std::size_t from = base + static_cast<std::size_t>(std::countr_zero(starts));
      const std::size_t to = base + static_cast<std::size_t>(std::countr_zero(ends));
      starts &= starts - 1;
      ends &= ends - 1;
      if (!last && to == size) {
        done = from;
        break;
      }
      on_word(from, to);
    }
    if (starts != 0) open = base + static_cast<std::size_t>(std::countr_zero(starts));
  }
  if (open != kNone) {
    if (last) {
      on_word(open, size);
    } else {
      done = open;
    }
  }
  return done;
}

}  // namespace lintavel
