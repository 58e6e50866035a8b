#pragma once

// The engine's only door to x86 vector instructions. SSE2, which every x86-64
// processor has, is used inline here; AVX2 and AVX-512 live in simd_x86.cpp, each
// function compiled for its own target and called only after ThisCpu() has found
// it. Elsewhere LINTAVEL_SIMD_X86 is undefined and the plain forms run.

#if defined(__x86_64__) && defined(__GNUC__)
#define LINTAVEL_SIMD_X86 1
#endif
#if defined(LINTAVEL_SIMD_X86) && defined(__SSE2__)
#define LINTAVEL_SIMD_SSE2 1
#endif

#if defined(LINTAVEL_SIMD_X86)

#include <bit>
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#if defined(LINTAVEL_SIMD_SSE2)
#include <emmintrin.h>
#endif

namespace lintavel::x86 {

// Each form below gives what the plain form of the same name gives (byte_scan.h,
// squeeze.h, utf8.h); the tests hold every form to its plain one.

#if defined(LINTAVEL_SIMD_SSE2)

inline std::uint64_t SeparatorMaskSse2(const char* p) {
  std::uint64_t mask = 0;
  for (unsigned i = 0; i < 64; i += 16) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
    const __m128i separators = _mm_or_si128(_mm_cmpeq_epi8(v, _mm_set1_epi8(' ')),
                                            _mm_or_si128(_mm_cmpeq_epi8(v, _mm_set1_epi8('\n')),
                                                         _mm_cmpeq_epi8(v, _mm_set1_epi8('\r'))));
    mask |= static_cast<std::uint64_t>(static_cast<std::uint16_t>(_mm_movemask_epi8(separators)))
            << i;
  }
  return mask;
}

inline std::uint64_t SentenceMarkMaskSse2(const char* p) {
  std::uint64_t mask = 0;
  for (unsigned i = 0; i < 64; i += 16) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
    const __m128i marks = _mm_or_si128(
        _mm_cmpeq_epi8(v, _mm_set1_epi8('.')),
        _mm_or_si128(_mm_cmpeq_epi8(v, _mm_set1_epi8('!')), _mm_cmpeq_epi8(v, _mm_set1_epi8('?'))));
    mask |= static_cast<std::uint64_t>(static_cast<std::uint16_t>(_mm_movemask_epi8(marks))) << i;
  }
  return mask;
}

// By compares of the byte values that the class table gives.
inline std::uint64_t DroppedMaskSse2(const char* p) {
  const auto in_range = [](__m128i v, char lo, char hi) {
    const __m128i offset = _mm_sub_epi8(v, _mm_set1_epi8(lo));
    const __m128i width = _mm_set1_epi8(static_cast<char>(hi - lo));
    return _mm_cmpeq_epi8(_mm_max_epu8(offset, width), width);
  };
  std::uint64_t mask = 0;
  for (unsigned i = 0; i < 64; i += 16) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
    const __m128i dropped =
        _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, _mm_set1_epi8('\t')), in_range(v, '!', '/')),
                     _mm_or_si128(_mm_or_si128(in_range(v, ':', '@'), in_range(v, '[', '`')),
                                  in_range(v, '{', '~')));
    mask |= static_cast<std::uint64_t>(static_cast<std::uint16_t>(_mm_movemask_epi8(dropped))) << i;
  }
  return mask;
}

// Counted in the bytes of a vector (a match is -1) and summed every 255 steps,
// before a byte can overflow: the baseline processor has no popcount instruction,
// and its library call cost 3 % of a run.
inline std::uint64_t CountLineEndsSse2(const char* p, std::size_t n, bool after_cr) {
  if (n == 0) return 0;
  // The first byte alone, so that each vector can look one byte back.
  std::uint64_t lines = p[0] == '\r' || (p[0] == '\n' && !after_cr) ? 1 : 0;
  const __m128i cr = _mm_set1_epi8('\r');
  const __m128i lf = _mm_set1_epi8('\n');
  const __m128i zero = _mm_setzero_si128();
  const auto total = [&zero](__m128i counts) {
    const __m128i sums = _mm_sad_epu8(counts, zero);
    return static_cast<std::uint64_t>(_mm_cvtsi128_si64(sums)) +
           static_cast<std::uint64_t>(_mm_cvtsi128_si64(_mm_unpackhi_epi64(sums, sums)));
  };
  __m128i counts = zero;
  unsigned steps = 0;
  std::size_t i = 1;
  for (; i + 16 <= n; i += 16) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
    const __m128i before = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i - 1));
    // A CR, or an LF that does not end a CR LF.
    const __m128i ends = _mm_or_si128(
        _mm_cmpeq_epi8(v, cr), _mm_andnot_si128(_mm_cmpeq_epi8(before, cr), _mm_cmpeq_epi8(v, lf)));
    counts = _mm_sub_epi8(counts, ends);
    if (++steps == 255) {
      lines += total(counts);
      counts = zero;
      steps = 0;
    }
  }
  lines += total(counts);
  for (; i < n; ++i) lines += p[i] == '\r' || (p[i] == '\n' && p[i - 1] != '\r') ? 1 : 0;
  return lines;
}

inline std::size_t FindMarkupSse2(const char* p, std::size_t n, std::size_t i) {
  const __m128i less = _mm_set1_epi8('<');
  const __m128i amp = _mm_set1_epi8('&');
  for (; i + 16 <= n; i += 16) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
    const int mask =
        _mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(v, less), _mm_cmpeq_epi8(v, amp)));
    if (mask != 0)
      return i + static_cast<std::size_t>(std::countr_zero(static_cast<unsigned>(mask)));
  }
  for (; i < n; ++i) {
    if (p[i] == '<' || p[i] == '&') return i;
  }
  return n;
}

// The ASCII classes of the word-boundary rules for the 64 bytes at `p` (word_break.h's
// AsciiMasks, whose fields `Masks` names): letters, digits, "_", the MidLetter and
// MidNum punctuation, and bytes from 0x80 up.
template <class Masks>
inline Masks ClassifyAsciiSse2(const unsigned char* p) {
  const auto in_range = [](__m128i v, char lo, char hi) {
    const __m128i offset = _mm_sub_epi8(v, _mm_set1_epi8(lo));
    const __m128i width = _mm_set1_epi8(static_cast<char>(hi - lo));
    return _mm_cmpeq_epi8(_mm_max_epu8(offset, width), width);
  };
  const auto is = [](__m128i v, char c) { return _mm_cmpeq_epi8(v, _mm_set1_epi8(c)); };
  const auto bits = [](__m128i v, unsigned at) {
    return static_cast<std::uint64_t>(static_cast<std::uint16_t>(_mm_movemask_epi8(v))) << at;
  };
  Masks m;
  for (unsigned i = 0; i < 64; i += 16) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
    const __m128i lower = _mm_or_si128(v, _mm_set1_epi8(0x20));
    const __m128i both = _mm_or_si128(is(v, '.'), is(v, '\''));
    m.letters |= bits(in_range(lower, 'a', 'z'), i);
    m.digits |= bits(in_range(v, '0', '9'), i);
    m.connectors |= bits(is(v, '_'), i);
    m.mid_letter |= bits(_mm_or_si128(both, is(v, ':')), i);
    m.mid_number |= bits(_mm_or_si128(both, _mm_or_si128(is(v, ','), is(v, ';'))), i);
    m.non_ascii |= bits(v, i);
  }
  return m;
}

#endif  // LINTAVEL_SIMD_SSE2

// AVX2 with BMI2 and POPCNT (simd_x86.cpp).
std::size_t SqueezeDroppedAvx2(const char* in, std::size_t size, char* out);
// AVX-512 F, BW, VBMI2 and POPCNT (simd_x86.cpp).
std::size_t SqueezeDroppedAvx512(const char* in, std::size_t size, char* out);
std::size_t SqueezeFindingSentenceEndsAvx512(const char* in, std::size_t size, char* out,
                                             std::vector<std::size_t>& ends);
// AVX2 (simd_x86.cpp).
bool IsWellFormedUtf8Avx2(std::string_view text);
// AVX-512 F and BW (simd_x86.cpp).
bool IsWellFormedUtf8Avx512(std::string_view text);

}  // namespace lintavel::x86

#endif  // LINTAVEL_SIMD_X86
