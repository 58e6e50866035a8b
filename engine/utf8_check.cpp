#include <cstdint>
#include <cstring>
#include <span>
#include <string_view>
#include <vector>

#include "engine/cpu_features.h"
#include "engine/simd_x86.h"
#include "engine/utf8.h"

namespace lintavel {

bool IsWellFormedUtf8Plain(std::string_view text) {
  const auto* p = reinterpret_cast<const unsigned char*>(text.data());
  const std::size_t size = text.size();
  std::size_t i = 0;
  while (i < size) {
    const unsigned char lead = p[i];
    if (lead < 0x80) {
      ++i;
      continue;
    }
    std::size_t length;
    unsigned char low = 0x80;  // the bounds of the second byte
    unsigned char high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
      length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      length = 3;
      if (lead == 0xE0) low = 0xA0;
      if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      length = 4;
      if (lead == 0xF0) low = 0x90;
      if (lead == 0xF4) high = 0x8F;
    } else {
      return false;
    }
    if (size - i < length || p[i + 1] < low || p[i + 1] > high) return false;
    for (std::size_t k = 2; k < length; ++k) {
      if ((p[i + k] & 0xC0) != 0x80) return false;
    }
    i += length;
  }
  return true;
}

std::span<const Utf8Check> Utf8Checks() {
  static const std::vector<Utf8Check> checks = [] {
    std::vector<Utf8Check> supported = {IsWellFormedUtf8Plain};
#if defined(LINTAVEL_SIMD_X86)
    if (ThisCpu().avx2) supported.push_back(x86::IsWellFormedUtf8Avx2);
    if (ThisCpu().avx512bw) supported.push_back(x86::IsWellFormedUtf8Avx512);
#endif
    return supported;
  }();
  return checks;
}

bool IsWellFormedUtf8(std::string_view text) {
  // The fastest form, the last one.
  static const Utf8Check check = Utf8Checks().back();
  return check(text);
}

}  // namespace lintavel
