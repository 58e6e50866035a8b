#include "engine/simd_x86.h"

#if defined(LINTAVEL_SIMD_X86)

#include <immintrin.h>

#include <array>
#include <bit>
#include <cstdint>
#include <cstring>

#include "engine/sentence_ends.h"
#include "engine/squeeze.h"

// The AVX2 and AVX-512 forms, each function compiled for its own target so that
// the rest of the program stays runnable on any x86-64 processor.
namespace lintavel::x86 {

namespace {

// The nibble tables of the dropped bytes, repeated in each 16-byte lane of a
// vector: byte b is dropped when kLow[b & 15] and kHigh[b >> 4] share a bit. Bit k of
// kHigh stands for the high nibbles 0, 2, 3, 4, 5, 6 and 7, the rows of the table
// that hold a tab or punctuation; bytes from 0x80 up have no bit.
constexpr auto kNibbleTables = [] {
  constexpr std::array<char, 16> kLow = {0x28, 0x02, 0x02, 0x02, 0x02, 0x02, 0x02, 0x02,
                                         0x02, 0x03, 0x06, 0x56, 0x56, 0x56, 0x56, 0x16};
  constexpr std::array<char, 16> kHigh = {0x01, 0x00, 0x02, 0x04, 0x08, 0x10, 0x20, 0x40,
                                          0,    0,    0,    0,    0,    0,    0,    0};
  std::array<std::array<char, 64>, 2> tables{};
  for (std::size_t i = 0; i < 64; ++i) {
    tables[0][i] = kLow[i % 16];
    tables[1][i] = kHigh[i % 16];
  }
  return tables;
}();

// The dropped bytes of 32, by the nibble tables.
__attribute__((target("avx2"))) std::uint32_t DroppedMask(__m256i v) {
  const __m256i low_table =
      _mm256_loadu_si256(reinterpret_cast<const __m256i*>(kNibbleTables[0].data()));
  const __m256i high_table =
      _mm256_loadu_si256(reinterpret_cast<const __m256i*>(kNibbleTables[1].data()));
  const __m256i nibble = _mm256_set1_epi8(0x0F);
  const __m256i low = _mm256_shuffle_epi8(low_table, _mm256_and_si256(v, nibble));
  const __m256i high =
      _mm256_shuffle_epi8(high_table, _mm256_and_si256(_mm256_srli_epi16(v, 4), nibble));
  const __m256i none = _mm256_cmpeq_epi8(_mm256_and_si256(low, high), _mm256_setzero_si256());
  return ~static_cast<std::uint32_t>(_mm256_movemask_epi8(none));
}

// The bytes of 64 that are kept (not dropped), by the nibble tables.
__attribute__((target("avx512f,avx512bw"))) __mmask64 KeptMask(__m512i v) {
  const __m512i nibble = _mm512_set1_epi8(0x0F);
  const __m512i low =
      _mm512_shuffle_epi8(_mm512_loadu_si512(kNibbleTables[0].data()), _mm512_and_si512(v, nibble));
  const __m512i high = _mm512_shuffle_epi8(_mm512_loadu_si512(kNibbleTables[1].data()),
                                           _mm512_and_si512(_mm512_srli_epi16(v, 4), nibble));
  return _mm512_testn_epi8_mask(low, high);
}

}  // namespace

// Runs of 32 bytes without a dropped byte are copied whole; the others are packed
// 8 bytes at a time with pext.
__attribute__((target("avx2,bmi2,popcnt"))) std::size_t SqueezeDroppedAvx2(const char* in,
                                                                           std::size_t size,
                                                                           char* out) {
  char* next = out;
  std::size_t i = 0;
  for (; i + 32 <= size; i += 32) {
    const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in + i));
    const std::uint32_t dropped = DroppedMask(v);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(next), v);
    if (dropped == 0) {
      next += 32;
      continue;
    }
    for (unsigned lane = 0; lane < 4; ++lane) {
      const std::uint64_t keep = ~(dropped >> (8 * lane)) & 0xFF;
      std::uint64_t bytes;
      std::memcpy(&bytes, in + i + 8 * lane, 8);
      const std::uint64_t kept = _pext_u64(bytes, _pdep_u64(keep, 0x0101010101010101ull) * 0xFF);
      std::memcpy(next, &kept, 8);
      next += std::popcount(keep);
    }
  }
  return static_cast<std::size_t>(next - out) + SqueezeDroppedPlain(in + i, size - i, next);
}

// The same 64 bytes at a time, packed with one byte compress.
__attribute__((target("avx512f,avx512bw,avx512vbmi2,popcnt"))) std::size_t SqueezeDroppedAvx512(
    const char* in, std::size_t size, char* out) {
  char* next = out;
  std::size_t i = 0;
  for (; i + 64 <= size; i += 64) {
    const __m512i v = _mm512_loadu_si512(in + i);
    const __mmask64 keep = KeptMask(v);
    _mm512_storeu_si512(next, _mm512_maskz_compress_epi8(keep, v));
    next += std::popcount(static_cast<std::uint64_t>(keep));
  }
  return static_cast<std::size_t>(next - out) + SqueezeDroppedPlain(in + i, size - i, next);
}

namespace {

// Copies the 64 bytes at `p` to `to` as SqueezeDroppedAvx512 does, hands them to
// `scan`, their copy beginning at `copied`, and gives the mask of the bytes kept.
__attribute__((target("avx512f,avx512bw,avx512vbmi2"))) std::uint64_t SqueezeScanning(
    const char* p, char* to, std::size_t copied, SentenceEndScan& scan) {
  const __m512i v = _mm512_loadu_si512(p);
  const __mmask64 keep = KeptMask(v);
  _mm512_storeu_si512(to, _mm512_maskz_compress_epi8(keep, v));
  const std::uint64_t marked = _mm512_cmpeq_epi8_mask(v, _mm512_set1_epi8('.')) |
                               _mm512_cmpeq_epi8_mask(v, _mm512_set1_epi8('!')) |
                               _mm512_cmpeq_epi8_mask(v, _mm512_set1_epi8('?'));
  const std::uint64_t separators = _mm512_cmpeq_epi8_mask(v, _mm512_set1_epi8(' ')) |
                                   _mm512_cmpeq_epi8_mask(v, _mm512_set1_epi8('\n')) |
                                   _mm512_cmpeq_epi8_mask(v, _mm512_set1_epi8('\r'));
  scan.Add(
      p, marked, [separators] { return separators; }, keep, copied);
  return keep;
}

}  // namespace

// The last bytes are taken in a block of 64 padded with blanks, which end the last
// token.
__attribute__((target("avx512f,avx512bw,avx512vbmi2,popcnt"))) std::size_t
SqueezeFindingSentenceEndsAvx512(const char* in, std::size_t size, char* out,
                                 std::vector<std::size_t>& ends) {
  SentenceEndScan scan(ends);
  std::size_t copied = 0;
  std::size_t i = 0;
  for (; i + 64 <= size; i += 64) {
    copied += std::popcount(SqueezeScanning(in + i, out + copied, copied, scan));
  }
  if (i < size) {
    const std::size_t rest = size - i;
    char tail[64];
    std::memset(tail, ' ', sizeof tail);
    std::memcpy(tail, in + i, rest);
    char copy[64];
    const std::uint64_t kept =
        SqueezeScanning(tail, copy, copied, scan) & ((std::uint64_t{1} << rest) - 1);
    const auto count = static_cast<std::size_t>(std::popcount(kept));
    std::memcpy(out + copied, copy, count);
    copied += count;
  }
  scan.Finish(copied);
  return copied;
}

namespace {

// Each byte is checked together with the three before it by three table lookups
// (the high and low nibble of the byte before, the high nibble of the byte itself)
// whose bits name the faults a pair of bytes can show; a byte that must continue a
// three- or four-byte character is found from the bytes two and three before.
constexpr std::uint8_t kTooShort = 1 << 0;  // a lead or ASCII byte where a continuation belongs
constexpr std::uint8_t kTooLong = 1 << 1;   // a continuation after an ASCII byte
constexpr std::uint8_t kOverlong3 = 1 << 2;
constexpr std::uint8_t kTooLarge = 1 << 3;
constexpr std::uint8_t kSurrogate = 1 << 4;
constexpr std::uint8_t kOverlong2 = 1 << 5;
constexpr std::uint8_t kTooLarge1000 = 1 << 6;
constexpr std::uint8_t kOverlong4 = 1 << 6;
constexpr std::uint8_t kTwoContinuations = 1 << 7;
constexpr std::uint8_t kCarry = kTooShort | kTooLong | kTwoContinuations;

__attribute__((target("avx2"))) __m256i Table(std::uint8_t a0, std::uint8_t a1, std::uint8_t a2,
                                              std::uint8_t a3, std::uint8_t a4, std::uint8_t a5,
                                              std::uint8_t a6, std::uint8_t a7, std::uint8_t a8,
                                              std::uint8_t a9, std::uint8_t a10, std::uint8_t a11,
                                              std::uint8_t a12, std::uint8_t a13, std::uint8_t a14,
                                              std::uint8_t a15) {
  const __m128i half = _mm_setr_epi8(
      static_cast<char>(a0), static_cast<char>(a1), static_cast<char>(a2), static_cast<char>(a3),
      static_cast<char>(a4), static_cast<char>(a5), static_cast<char>(a6), static_cast<char>(a7),
      static_cast<char>(a8), static_cast<char>(a9), static_cast<char>(a10), static_cast<char>(a11),
      static_cast<char>(a12), static_cast<char>(a13), static_cast<char>(a14),
      static_cast<char>(a15));
  return _mm256_broadcastsi128_si256(half);
}

struct Tables {
  __m256i first_high;
  __m256i first_low;
  __m256i second_high;
};

__attribute__((target("avx2"))) Tables MakeTables() {
  constexpr std::uint8_t kLarge = kCarry | kTooLarge | kTooLarge1000;
  constexpr std::uint8_t kContinuation =
      kTooLong | kOverlong2 | kTwoContinuations | kOverlong3 | kTooLarge1000 | kOverlong4;
  return Tables{
      // The high nibble of the byte before.
      Table(kTooLong, kTooLong, kTooLong, kTooLong, kTooLong, kTooLong, kTooLong, kTooLong,
            kTwoContinuations, kTwoContinuations, kTwoContinuations, kTwoContinuations,
            kTooShort | kOverlong2, kTooShort, kTooShort | kOverlong3 | kSurrogate,
            kTooShort | kTooLarge | kTooLarge1000 | kOverlong4),
      // The low nibble of the byte before.
      Table(kCarry | kOverlong3 | kOverlong2 | kOverlong4, kCarry | kOverlong2, kCarry, kCarry,
            kCarry | kTooLarge, kLarge, kLarge, kLarge, kLarge, kLarge, kLarge, kLarge, kLarge,
            kLarge | kSurrogate, kLarge, kLarge),
      // The high nibble of the byte itself.
      Table(kTooShort, kTooShort, kTooShort, kTooShort, kTooShort, kTooShort, kTooShort, kTooShort,
            kContinuation, kTooLong | kOverlong2 | kTwoContinuations | kOverlong3 | kTooLarge,
            kTooLong | kOverlong2 | kTwoContinuations | kSurrogate | kTooLarge,
            kTooLong | kOverlong2 | kTwoContinuations | kSurrogate | kTooLarge, kTooShort,
            kTooShort, kTooShort, kTooShort),
  };
}

// The bytes of `input` moved up by `n` places, the last `n` of `before` in front.
template <int n>
__attribute__((target("avx2"))) __m256i Before(__m256i input, __m256i before) {
  return _mm256_alignr_epi8(input, _mm256_permute2x128_si256(before, input, 0x21), 16 - n);
}

__attribute__((target("avx2"))) __m256i HighNibbles(__m256i v) {
  return _mm256_and_si256(_mm256_srli_epi16(v, 4), _mm256_set1_epi8(0x0F));
}

// The faults of the 32 bytes of `input`, after the 32 of `before`: zero when none.
__attribute__((target("avx2"))) __m256i Faults(const Tables& tables, __m256i input,
                                               __m256i before) {
  const __m256i previous = Before<1>(input, before);
  const __m256i pair = _mm256_and_si256(
      _mm256_and_si256(_mm256_shuffle_epi8(tables.first_high, HighNibbles(previous)),
                       _mm256_shuffle_epi8(tables.first_low,
                                           _mm256_and_si256(previous, _mm256_set1_epi8(0x0F)))),
      _mm256_shuffle_epi8(tables.second_high, HighNibbles(input)));
  // A byte two after a three- or four-byte lead, or three after a four-byte lead,
  // must be a continuation: there the pair test alone flags two continuations.
  const __m256i third = _mm256_subs_epu8(Before<2>(input, before), _mm256_set1_epi8(0xE0 - 0x80));
  const __m256i fourth = _mm256_subs_epu8(Before<3>(input, before), _mm256_set1_epi8(0xF0 - 0x80));
  const __m256i must_continue =
      _mm256_and_si256(_mm256_or_si256(third, fourth), _mm256_set1_epi8(static_cast<char>(0x80)));
  return _mm256_xor_si256(must_continue, pair);
}

}  // namespace

__attribute__((target("avx2"))) bool IsWellFormedUtf8Avx2(std::string_view text) {
  const Tables tables = MakeTables();
  const char* p = text.data();
  const std::size_t size = text.size();
  __m256i before = _mm256_setzero_si256();
  __m256i faults = _mm256_setzero_si256();
  std::size_t i = 0;
  for (; i + 64 <= size; i += 64) {
    const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + i));
    const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + i + 32));
    if (_mm256_movemask_epi8(_mm256_or_si256(a, b)) == 0) {
      // ASCII only: checking it after `before` finds a character left unfinished.
      faults = _mm256_or_si256(faults, Faults(tables, a, before));
    } else {
      faults = _mm256_or_si256(faults, Faults(tables, a, before));
      faults = _mm256_or_si256(faults, Faults(tables, b, a));
    }
    before = b;
    if (!_mm256_testz_si256(faults, faults)) return false;
  }
  // The rest, then zeros, which end any unfinished character with a fault.
  alignas(32) char rest[64] = {};
  std::memcpy(rest, p + i, size - i);
  const __m256i a = _mm256_load_si256(reinterpret_cast<const __m256i*>(rest));
  const __m256i b = _mm256_load_si256(reinterpret_cast<const __m256i*>(rest + 32));
  faults = _mm256_or_si256(faults, Faults(tables, a, before));
  faults = _mm256_or_si256(faults, Faults(tables, b, a));
  if (size - i > 32) faults = _mm256_or_si256(faults, Faults(tables, _mm256_setzero_si256(), b));
  return _mm256_testz_si256(faults, faults);
}

namespace {

// The same 64 bytes at a time, with the tables in every 16-byte lane.
#define LINTAVEL_AVX512 __attribute__((target("avx512f,avx512bw")))

LINTAVEL_AVX512 __m512i Wide(__m256i table) {
  // The masked forms: GCC warns of the undefined source of the plain ones.
  return _mm512_maskz_broadcast_i32x4(0xFFFF, _mm256_castsi256_si128(table));
}

template <int n>
LINTAVEL_AVX512 __m512i Before(__m512i input, __m512i before) {
  // The 16 bytes before each lane of `input`, then each lane moved up by `n`.
  return _mm512_alignr_epi8(input, _mm512_maskz_alignr_epi64(0xFF, input, before, 6), 16 - n);
}

LINTAVEL_AVX512 __m512i HighNibbles(__m512i v) {
  return _mm512_and_si512(_mm512_srli_epi16(v, 4), _mm512_set1_epi8(0x0F));
}

LINTAVEL_AVX512 __m512i Faults(const __m512i (&tables)[3], __m512i input, __m512i before) {
  const __m512i previous = Before<1>(input, before);
  const __m512i pair = _mm512_and_si512(
      _mm512_and_si512(
          _mm512_shuffle_epi8(tables[0], HighNibbles(previous)),
          _mm512_shuffle_epi8(tables[1], _mm512_and_si512(previous, _mm512_set1_epi8(0x0F)))),
      _mm512_shuffle_epi8(tables[2], HighNibbles(input)));
  const __m512i third = _mm512_subs_epu8(Before<2>(input, before), _mm512_set1_epi8(0xE0 - 0x80));
  const __m512i fourth = _mm512_subs_epu8(Before<3>(input, before), _mm512_set1_epi8(0xF0 - 0x80));
  const __m512i must_continue =
      _mm512_and_si512(_mm512_or_si512(third, fourth), _mm512_set1_epi8(static_cast<char>(0x80)));
  return _mm512_xor_si512(must_continue, pair);
}

}  // namespace

LINTAVEL_AVX512 bool IsWellFormedUtf8Avx512(std::string_view text) {
  const Tables narrow = MakeTables();
  const __m512i tables[3] = {Wide(narrow.first_high), Wide(narrow.first_low),
                             Wide(narrow.second_high)};
  const char* p = text.data();
  const std::size_t size = text.size();
  __m512i before = _mm512_setzero_si512();
  __m512i faults = _mm512_setzero_si512();
  std::size_t i = 0;
  for (; i + 64 <= size; i += 64) {
    const __m512i input = _mm512_loadu_si512(p + i);
    faults = _mm512_or_si512(faults, Faults(tables, input, before));
    before = input;
    if (_mm512_test_epi8_mask(faults, faults) != 0) return false;
  }
  // The rest, then zeros, which end any unfinished character with a fault.
  const __mmask64 rest = size - i == 0 ? 0 : ~__mmask64{0} >> (64 - (size - i));
  const __m512i input = _mm512_maskz_loadu_epi8(rest, p + i);
  faults = _mm512_or_si512(faults, Faults(tables, input, before));
  faults = _mm512_or_si512(faults, Faults(tables, _mm512_setzero_si512(), input));
  return _mm512_test_epi8_mask(faults, faults) == 0;
}

}  // namespace lintavel::x86

#endif  // LINTAVEL_SIMD_X86
