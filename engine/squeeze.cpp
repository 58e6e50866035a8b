#include "engine/squeeze.h"

#include <array>
#include <bit>
#include <cstdint>
#include <cstring>

#include "engine/cpu_features.h"
#include "engine/text_rules.h"

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#define LINTAVEL_SQUEEZE_AVX2 1
#endif

namespace lintavel {

std::size_t SqueezeDroppedPlain(const char* in, std::size_t size, char* out) {
  char* next = out;
  for (std::size_t i = 0; i < size; ++i) {
    *next = in[i];
    next += ClassOf(in[i]) != ByteClass::kDropped ? 1 : 0;
  }
  return static_cast<std::size_t>(next - out);
}

#ifdef LINTAVEL_SQUEEZE_AVX2

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

// Runs of 32 bytes without a dropped byte are copied whole; the others are packed
// 8 bytes at a time with pext.
__attribute__((target("avx2,bmi2,popcnt"))) std::size_t SqueezeAvx2(const char* in,
                                                                    std::size_t size, char* out) {
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
__attribute__((target("avx512f,avx512bw,avx512vbmi2,popcnt"))) std::size_t SqueezeAvx512(
    const char* in, std::size_t size, char* out) {
  const __m512i low_table = _mm512_loadu_si512(kNibbleTables[0].data());
  const __m512i high_table = _mm512_loadu_si512(kNibbleTables[1].data());
  const __m512i nibble = _mm512_set1_epi8(0x0F);
  char* next = out;
  std::size_t i = 0;
  for (; i + 64 <= size; i += 64) {
    const __m512i v = _mm512_loadu_si512(in + i);
    const __m512i low = _mm512_shuffle_epi8(low_table, _mm512_and_si512(v, nibble));
    const __m512i high =
        _mm512_shuffle_epi8(high_table, _mm512_and_si512(_mm512_srli_epi16(v, 4), nibble));
    const __mmask64 keep = _mm512_testn_epi8_mask(low, high);
    _mm512_storeu_si512(next, _mm512_maskz_compress_epi8(keep, v));
    next += std::popcount(static_cast<std::uint64_t>(keep));
  }
  return static_cast<std::size_t>(next - out) + SqueezeDroppedPlain(in + i, size - i, next);
}

}  // namespace

std::vector<SqueezeFunction> SqueezeForms() {
  std::vector<SqueezeFunction> forms = {SqueezeDroppedPlain};
  if (ThisCpu().avx2_bmi2) forms.push_back(SqueezeAvx2);
  if (ThisCpu().avx512vbmi2) forms.push_back(SqueezeAvx512);
  return forms;
}

#else

std::vector<SqueezeFunction> SqueezeForms() { return {SqueezeDroppedPlain}; }

#endif

std::size_t SqueezeDropped(const char* in, std::size_t size, char* out) {
  // The fastest form, the last one.
  static const SqueezeFunction squeeze = SqueezeForms().back();
  return squeeze(in, size, out);
}

}  // namespace lintavel
