#pragma once

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

}  // namespace lintavel
