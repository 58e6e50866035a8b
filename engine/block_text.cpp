#include "engine/block_text.h"

#include "engine/text_rules.h"
#include "engine/utf16.h"
#include "engine/utf8.h"

namespace lintavel {

bool IsSeparatorUnit(const char* unit, FileDecoding decoding, bool big_endian) {
  if (decoding != FileDecoding::kUtf16) return ClassOf(unit[0]) == ByteClass::kSeparator;
  const auto high = static_cast<unsigned char>(unit[big_endian ? 0 : 1]);
  const auto low = static_cast<unsigned char>(unit[big_endian ? 1 : 0]);
  return high == 0 && (low == ' ' || low == '\n' || low == '\r');
}

std::size_t CutAfterLastSeparator(const char* bytes, std::size_t begin, std::size_t end,
                                  FileDecoding decoding, bool big_endian) {
  if (decoding != FileDecoding::kUtf16) {
    for (std::size_t i = end; i > begin; --i) {
      if (ClassOf(bytes[i - 1]) == ByteClass::kSeparator) return i;
    }
    return 0;
  }
  const std::size_t first_unit = begin & ~std::size_t{1};
  for (std::size_t i = end & ~std::size_t{1}; i >= first_unit + 2; i -= 2) {
    if (IsSeparatorUnit(bytes + i - 2, decoding, big_endian)) return i;
  }
  return 0;
}

std::uint64_t DecodeBlock(std::string_view raw, FileDecoding decoding, bool big_endian,
                          bool file_start, bool file_end, std::string& text,
                          std::string_view& decoded) {
  text.clear();
  switch (decoding) {
    case FileDecoding::kCp1252:
      decoded = raw;
      return 0;
    case FileDecoding::kCp1252AsUtf8:
      AppendCp1252AsUtf8(raw, text);
      break;
    case FileDecoding::kUtf8: {
      Utf8Normalizer normalizer = file_start ? Utf8Normalizer() : Utf8Normalizer::Continuing();
      decoded = normalizer.Normalize(raw, file_end, text);
      return normalizer.replaced();
    }
    case FileDecoding::kUtf16: {
      Utf16Decoder decoder = file_start ? Utf16Decoder() : Utf16Decoder::Continuing(big_endian);
      decoder.Feed(raw, text);
      if (file_end) decoder.Finish(text);
      decoded = text;
      return decoder.replaced();
    }
  }
  decoded = text;
  return 0;
}

}  // namespace lintavel
