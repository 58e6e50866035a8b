#include "engine/word_break.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "engine/code_page.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace lintavel {
namespace word_break_internal {
namespace {

#include "word_break_table.inc"

static_assert(std::size(kGeneratedStage1) == (0x10FFFF >> kBlockBits) + 1);

}  // namespace

const std::uint16_t* const kStage1 = kGeneratedStage1;
const std::uint8_t* const kStage2 = kGeneratedStage2;

char32_t Cp1252CodePoint(unsigned char byte) { return DecodeCp1252(byte); }

AsciiMasks ClassifyAsciiPlain(const unsigned char* p) {
  AsciiMasks m;
  for (unsigned i = 0; i < 64; ++i) {
    const unsigned char c = p[i];
    const std::uint64_t bit = std::uint64_t{1} << i;
    if (static_cast<unsigned char>((c | 0x20) - 'a') < 26) m.letters |= bit;
    if (static_cast<unsigned char>(c - '0') < 10) m.digits |= bit;
    if (c == '_') m.connectors |= bit;
    if (c == ':' || c == '.' || c == '\'') m.mid_letter |= bit;
    if (c == ',' || c == ';' || c == '.' || c == '\'') m.mid_number |= bit;
    if (c >= 0x80) m.non_ascii |= bit;
  }
  return m;
}

#if defined(__SSE2__)
AsciiMasks ClassifyAscii(const unsigned char* p) {
  const auto in_range = [](__m128i v, char lo, char hi) {
    const __m128i offset = _mm_sub_epi8(v, _mm_set1_epi8(lo));
    const __m128i width = _mm_set1_epi8(static_cast<char>(hi - lo));
    return _mm_cmpeq_epi8(_mm_max_epu8(offset, width), width);
  };
  const auto is = [](__m128i v, char c) { return _mm_cmpeq_epi8(v, _mm_set1_epi8(c)); };
  const auto bits = [](__m128i v, unsigned at) {
    return static_cast<std::uint64_t>(static_cast<std::uint16_t>(_mm_movemask_epi8(v))) << at;
  };
  AsciiMasks m;
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
#else
AsciiMasks ClassifyAscii(const unsigned char* p) { return ClassifyAsciiPlain(p); }
#endif

}  // namespace word_break_internal

WordBreakClass ClassOfCodePoint(char32_t cp) {
  const std::uint8_t bits = word_break_internal::ClassBits(cp);
  return {static_cast<WordBreak>(bits & word_break_internal::kPropertyMask),
          (bits & word_break_internal::kPictographic) != 0,
          (bits & word_break_internal::kWordChar) != 0};
}

bool IsElidedForm(std::string_view letters) {
  static constexpr std::array<std::string_view, 25> kForms = {
      // French: articles, pronouns, "de", "ne", "que" and the conjunctions built on it.
      "c", "d", "j", "jusqu", "l", "lorsqu", "m", "n", "puisqu", "qu", "quoiqu", "s", "t",
      // Italian: articles, articulated prepositions and adjectives.
      "all", "bell", "coll", "dall", "dell", "nell", "nessun", "quell", "quest", "sant", "sull",
      "un"};
  if (letters.empty() || letters.size() > 6) return false;
  char lower[6];
  for (std::size_t i = 0; i < letters.size(); ++i) lower[i] = static_cast<char>(letters[i] | 0x20);
  return std::find(kForms.begin(), kForms.end(), std::string_view(lower, letters.size())) !=
         kForms.end();
}

}  // namespace lintavel
