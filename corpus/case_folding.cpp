#include "corpus/case_folding.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <iterator>

#include "engine/code_page.h"
#include "engine/utf8.h"

namespace lintavel {

namespace {

struct Folding {
  char32_t from;
  char32_t to;
};

constexpr Folding kFoldings[] = {
#include "case_folding_table.inc"
};

// The folding of each byte of the code page, derived from the Unicode folding of its
// character: a byte whose folded character the code page lacks stays itself.
const std::array<unsigned char, 256>& Cp1252Folding() {
  static const std::array<unsigned char, 256> table = [] {
    std::array<unsigned char, 256> folding{};
    for (int b = 0; b < 256; ++b) {
      folding[b] = static_cast<unsigned char>(b);
      const char32_t folded = FoldCase(DecodeCp1252(static_cast<unsigned char>(b)));
      for (int c = 0; c < 256; ++c) {
        if (DecodeCp1252(static_cast<unsigned char>(c)) == folded) {
          folding[b] = static_cast<unsigned char>(c);
          break;
        }
      }
    }
    return folding;
  }();
  return table;
}

}  // namespace

char32_t FoldCase(char32_t cp) {
  if (cp < 'A') return cp;
  const auto* end = std::end(kFoldings);
  const auto* found = std::lower_bound(std::begin(kFoldings), end, cp,
                                       [](const Folding& f, char32_t key) { return f.from < key; });
  return found != end && found->from == cp ? found->to : cp;
}

void AppendFoldedUtf8(std::string_view word, std::string& out) {
  std::size_t i = 0;
  while (i < word.size()) {
    const auto lead = static_cast<unsigned char>(word[i]);
    if (lead < 0x80) {
      out.push_back(lead >= 'A' && lead <= 'Z' ? static_cast<char>(lead + ('a' - 'A'))
                                               : static_cast<char>(lead));
      ++i;
      continue;
    }
    const std::size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : 2;
    char32_t cp = lead & (0x7F >> length);
    for (std::size_t k = 1; k < length && i + k < word.size(); ++k) {
      cp = (cp << 6) | (static_cast<unsigned char>(word[i + k]) & 0x3F);
    }
    AppendUtf8(FoldCase(cp), out);
    i += length;
  }
}

void AppendFoldedCp1252(std::string_view word, std::string& out) {
  const auto& folding = Cp1252Folding();
  for (const char byte : word)
    out.push_back(static_cast<char>(folding[static_cast<unsigned char>(byte)]));
}

}  // namespace lintavel
