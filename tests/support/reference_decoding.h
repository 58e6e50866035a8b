#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/code_page.h"
#include "engine/extraction.h"

namespace lintavel::testing {

// A file's text as UTF-16, how many U+FFFD stand for ill-formed input, and the
// encoding it was read in.
struct DecodedText {
  std::u16string text;
  std::uint64_t replaced = 0;
  InputEncoding read_as = InputEncoding::kCp1252;
};

inline void AppendCodePointAsUtf16(char32_t cp, std::u16string& out) {
  if (cp < 0x10000) {
    out.push_back(static_cast<char16_t>(cp));
  } else {
    out.push_back(static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10)));
    out.push_back(static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF)));
  }
}

// UTF-8 decoded by the table of well-formed byte sequences; each maximal part of a
// sequence that cannot be completed becomes one U+FFFD. With `drop_bom`, a
// byte-order mark at the start is left out.
inline DecodedText DecodeUtf8Plainly(std::string_view bytes, bool drop_bom) {
  struct Form {
    unsigned char lead_low, lead_high, second_low, second_high;
    int length;
  };
  static constexpr Form kForms[] = {
      {0x00, 0x7F, 0, 0, 1},       {0xC2, 0xDF, 0x80, 0xBF, 2}, {0xE0, 0xE0, 0xA0, 0xBF, 3},
      {0xE1, 0xEC, 0x80, 0xBF, 3}, {0xED, 0xED, 0x80, 0x9F, 3}, {0xEE, 0xEF, 0x80, 0xBF, 3},
      {0xF0, 0xF0, 0x90, 0xBF, 4}, {0xF1, 0xF3, 0x80, 0xBF, 4}, {0xF4, 0xF4, 0x80, 0x8F, 4},
  };
  DecodedText decoded;
  decoded.read_as = InputEncoding::kUtf8;
  if (drop_bom && bytes.starts_with("\xEF\xBB\xBF")) bytes.remove_prefix(3);
  std::size_t i = 0;
  while (i < bytes.size()) {
    const auto lead = static_cast<unsigned char>(bytes[i]);
    const Form* form = nullptr;
    for (const Form& f : kForms) {
      if (lead >= f.lead_low && lead <= f.lead_high) form = &f;
    }
    if (form == nullptr) {
      decoded.text.push_back(u'\uFFFD');
      ++decoded.replaced;
      ++i;
      continue;
    }
    int good = 1;
    char32_t cp = form->length == 1 ? lead : lead & (0xFF >> (form->length + 1));
    while (good < form->length && i + good < bytes.size()) {
      const auto next = static_cast<unsigned char>(bytes[i + good]);
      const bool fits = good == 1 ? next >= form->second_low && next <= form->second_high
                                  : next >= 0x80 && next <= 0xBF;
      if (!fits) break;
      cp = cp << 6 | (next & 0x3F);
      ++good;
    }
    if (good == form->length) {
      AppendCodePointAsUtf16(cp, decoded.text);
    } else {
      decoded.text.push_back(u'\uFFFD');
      ++decoded.replaced;
    }
    i += static_cast<std::size_t>(good);
  }
  return decoded;
}

// UTF-16 in the byte order of its byte-order mark (dropped), little-endian without
// one; a lone surrogate and an odd last byte each become U+FFFD.
inline DecodedText DecodeUtf16Plainly(std::string_view bytes) {
  DecodedText decoded;
  decoded.read_as = InputEncoding::kUtf16;
  bool big_endian = false;
  if (bytes.starts_with("\xFE\xFF")) big_endian = true;
  if (bytes.starts_with("\xFE\xFF") || bytes.starts_with("\xFF\xFE")) bytes.remove_prefix(2);
  std::vector<char16_t> units;
  for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
    const auto first = static_cast<unsigned char>(bytes[i]);
    const auto second = static_cast<unsigned char>(bytes[i + 1]);
    units.push_back(
        static_cast<char16_t>(big_endian ? first * 256 + second : second * 256 + first));
  }
  const auto is_high = [](char16_t u) { return u >= 0xD800 && u <= 0xDBFF; };
  const auto is_low = [](char16_t u) { return u >= 0xDC00 && u <= 0xDFFF; };
  for (std::size_t i = 0; i < units.size(); ++i) {
    if (is_high(units[i]) && i + 1 < units.size() && is_low(units[i + 1])) {
      decoded.text.push_back(units[i]);
      decoded.text.push_back(units[i + 1]);
      ++i;
    } else if (is_high(units[i]) || is_low(units[i])) {
      decoded.text.push_back(u'\uFFFD');
      ++decoded.replaced;
    } else {
      decoded.text.push_back(units[i]);
    }
  }
  if (bytes.size() % 2 != 0) {
    decoded.text.push_back(u'\uFFFD');
    ++decoded.replaced;
  }
  return decoded;
}

// The text of a file's `bytes` read in `encoding`; `auto` picks UTF-16 after its
// byte-order mark, UTF-8 after its mark or for valid UTF-8, else Windows-1252.
inline DecodedText DecodePlainly(std::string_view bytes, InputEncoding encoding) {
  switch (encoding) {
    case InputEncoding::kCp1252:
      return {DecodeCp1252(bytes), 0, InputEncoding::kCp1252};
    case InputEncoding::kUtf8:
      return DecodeUtf8Plainly(bytes, true);
    case InputEncoding::kUtf16:
      return DecodeUtf16Plainly(bytes);
    case InputEncoding::kAuto:
      break;
  }
  if (bytes.starts_with("\xFF\xFE") || bytes.starts_with("\xFE\xFF")) {
    return DecodeUtf16Plainly(bytes);
  }
  DecodedText utf8 = DecodeUtf8Plainly(bytes, true);
  if (bytes.starts_with("\xEF\xBB\xBF") || utf8.replaced == 0) return utf8;
  return {DecodeCp1252(bytes), 0, InputEncoding::kCp1252};
}

// The lines of `text`, cut at LF, CR LF and a lone CR, with every tab removed; a
// text that ends with a line end has no empty line after it.
inline std::vector<std::u16string> SplitLinesPlainly(std::u16string_view text) {
  std::vector<std::u16string> lines;
  std::u16string line;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == u'\r' || text[i] == u'\n') {
      lines.push_back(line);
      line.clear();
      if (text[i] == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') ++i;
    } else if (text[i] != u'\t') {
      line.push_back(text[i]);
    }
  }
  if (!line.empty()) lines.push_back(line);
  return lines;
}

}  // namespace lintavel::testing
