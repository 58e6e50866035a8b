#include "engine/utf16.h"

#include "engine/utf8.h"

namespace lintavel {

namespace {

bool IsHighSurrogate(char16_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool IsLowSurrogate(char16_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

}  // namespace

void Utf16Decoder::Feed(std::string_view chunk, std::string& out) {
  const auto* p = reinterpret_cast<const unsigned char*>(chunk.data());
  const std::size_t size = chunk.size();
  const auto unit = [this](unsigned char first, unsigned char second) {
    return static_cast<char16_t>(big_endian_ ? first << 8 | second : second << 8 | first);
  };
  std::size_t i = 0;
  if (has_odd_byte_ && size > 0) {
    has_odd_byte_ = false;
    Take(unit(odd_byte_, p[0]), out);
    i = 1;
  }
  out.reserve(out.size() + size / 2 * 3);
  for (; i + 1 < size; i += 2) {
    const char16_t u = unit(p[i], p[i + 1]);
    if (u < 0x80 && high_ == 0 && !at_start_) {
      out.push_back(static_cast<char>(u));
    } else {
      Take(u, out);
    }
  }
  if (i < size) {
    odd_byte_ = p[i];
    has_odd_byte_ = true;
  }
}

void Utf16Decoder::Take(char16_t unit, std::string& out) {
  if (at_start_) {
    at_start_ = false;
    if (unit == 0xFEFF) return;
    if (unit == 0xFFFE) {
      // The mark read in the wrong byte order: the rest is in the other one.
      big_endian_ = !big_endian_;
      return;
    }
  }
  if (high_ != 0) {
    const char16_t high = high_;
    high_ = 0;
    if (IsLowSurrogate(unit)) {
      AppendUtf8(0x10000 + ((char32_t{high} - 0xD800) << 10) + (unit - 0xDC00), out);
      return;
    }
    Replace(out);
  }
  if (IsHighSurrogate(unit)) {
    high_ = unit;
  } else if (IsLowSurrogate(unit)) {
    Replace(out);
  } else {
    AppendUtf8(unit, out);
  }
}

void Utf16Decoder::Replace(std::string& out) {
  AppendUtf8(0xFFFD, out);
  ++replaced_;
}

void Utf16Decoder::Finish(std::string& out) {
  if (high_ != 0) Replace(out);
  if (has_odd_byte_) Replace(out);
  high_ = 0;
  has_odd_byte_ = false;
  at_start_ = true;
  big_endian_ = false;
}

}  // namespace lintavel
