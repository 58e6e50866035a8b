#include "engine/word_break.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "engine/code_page.h"
#include "engine/simd_x86.h"

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

AsciiMasks ClassifyAscii(const unsigned char* p) {
#if defined(LINTAVEL_SIMD_SSE2)
  return x86::ClassifyAsciiSse2<AsciiMasks>(p);
#else
  return ClassifyAsciiPlain(p);
#endif
}

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
