#pragma once

#include <cstdint>
#include <cstring>
#include <string_view>

namespace lintavel {

// A fast, well-mixed 64-bit hash of a byte string: one 64x64->128 multiplication
// per 16 bytes, in the manner of wyhash.
class WordHash {
 public:
  std::size_t operator()(std::string_view word) const noexcept {
    const unsigned char* p = reinterpret_cast<const unsigned char*>(word.data());
    const std::size_t n = word.size();
    std::uint64_t seed = kSeed0 ^ n;
    std::uint64_t a = 0;
    std::uint64_t b = 0;
    if (n <= 16) {
      if (n >= 8) {
        a = Load64(p);
        b = Load64(p + n - 8);
      } else if (n >= 4) {
        a = Load32(p);
        b = Load32(p + n - 4);
      } else if (n > 0) {
        a = (std::uint64_t{p[0]} << 16) | (std::uint64_t{p[n >> 1]} << 8) | p[n - 1];
      }
    } else {
      std::size_t left = n;
      while (left > 16) {
        seed = Mix(Load64(p) ^ kSeed1, Load64(p + 8) ^ seed);
        p += 16;
        left -= 16;
      }
      a = Load64(p + left - 16);
      b = Load64(p + left - 8);
    }
    return static_cast<std::size_t>(Mix(a ^ kSeed1, b ^ seed) ^ n);
  }

  static constexpr std::uint64_t kSeed0 = 0xa0761d6478bd642full;
  static constexpr std::uint64_t kSeed1 = 0xe7037ed1a0b428dbull;

  // The two halves of the 128-bit product of `a` and `b`, folded together.
  static std::uint64_t Mix(std::uint64_t a, std::uint64_t b) {
    __extension__ using Wide = unsigned __int128;
    const Wide product = static_cast<Wide>(a) * b;
    return static_cast<std::uint64_t>(product) ^ static_cast<std::uint64_t>(product >> 64);
  }

 private:
  static std::uint64_t Load64(const unsigned char* p) {
    std::uint64_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
  }
  static std::uint64_t Load32(const unsigned char* p) {
    std::uint32_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
  }
};

}  // namespace lintavel
