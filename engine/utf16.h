#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace lintavel {

// Turns UTF-16 bytes, fed in chunks of any size, into UTF-8. The byte order comes
// from a byte-order mark at the very start, which is dropped; without one the
// units are little-endian. A lone surrogate and a last unit cut short each become
// U+FFFD. A unit or a surrogate pair split between chunks is put together.
class Utf16Decoder {
 public:
  Utf16Decoder() = default;
  // A decoder that goes on with a stream from a unit boundary in its middle, in the
  // byte order that the stream's start set.
  static Utf16Decoder Continuing(bool big_endian) {
    Utf16Decoder decoder;
    decoder.at_start_ = false;
    decoder.big_endian_ = big_endian;
    return decoder;
  }

  // Appends the UTF-8 of the whole units that `chunk` completes to `out`.
  void Feed(std::string_view chunk, std::string& out);
  // Ends the stream: a waiting high surrogate or odd byte becomes U+FFFD.
  void Finish(std::string& out);
  // How many U+FFFD were put in so far.
  std::uint64_t replaced() const { return replaced_; }

 private:
  void Take(char16_t unit, std::string& out);
  void Replace(std::string& out);

  bool big_endian_ = false;
  bool at_start_ = true;
  bool has_odd_byte_ = false;
  unsigned char odd_byte_ = 0;  // the first byte of a unit that the next chunk completes
  char16_t high_ = 0;           // a high surrogate waiting for its low half, or 0
  std::uint64_t replaced_ = 0;
};

// True when `text` begins with a UTF-16 byte-order mark, little- or big-endian.
inline bool HasUtf16Bom(std::string_view text) {
  return text.starts_with("\xFF\xFE") || text.starts_with("\xFE\xFF");
}

// True when a UTF-16 stream that begins with `start` is big-endian: only after the
// big-endian byte-order mark.
inline bool IsBigEndianUtf16(std::string_view start) { return start.starts_with("\xFE\xFF"); }

}  // namespace lintavel
