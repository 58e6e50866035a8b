#pragma once

#include <cstdint>
#include <cstring>
#include <string_view>

namespace lintavel {

// A fast, well-mixed 64-bit hash of a short byte string (most words are under 16
// bytes): one or two 64x64->128 multiplications per word, in the manner of wyhash.
class WordHash {
 public:
  using is_avalanching = void;  // no further mixing needed by the hash map

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

 private:
  static constexpr std::uint64_t kSeed0 = 0xa0761d6478bd642full;
  static constexpr std::uint64_t kSeed1 = 0xe7037ed1a0b428dbull;

  static std::uint64_t Mix(std::uint64_t a, std::uint64_t b) {
    __extension__ using Wide = unsigned __int128;
    const Wide product = static_cast<Wide>(a) * b;
    return static_cast<std::uint64_t>(product) ^ static_cast<std::uint64_t>(product >> 64);
  }
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

// Byte equality of two words, without a library call for the short words that make
// up most of a text.
struct WordEqual {
  bool operator()(std::string_view a, std::string_view b) const noexcept {
    const std::size_t n = a.size();
    if (n != b.size()) return false;
    const char* p = a.data();
    const char* q = b.data();
    if (n >= 8 && n <= 16) {
      return Load64(p) == Load64(q) && Load64(p + n - 8) == Load64(q + n - 8);
    }
    if (n >= 4 && n < 8) {
      return Load32(p) == Load32(q) && Load32(p + n - 4) == Load32(q + n - 4);
    }
    if (n < 4) {
      for (std::size_t i = 0; i < n; ++i) {
        if (p[i] != q[i]) return false;
      }
      return true;
    }
    return std::memcmp(p, q, n) == 0;
  }

 private:
  static std::uint64_t Load64(const char* p) {
    std::uint64_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
  }
  static std::uint32_t Load32(const char* p) {
    std::uint32_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
  }
};

}  // namespace lintavel
