#include "engine/utf8.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <utility>

#include "engine/code_page.h"

#include "engine/code_page.h"

namespace lintavel {

namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";

// The bytes checked at once: an ill-formed part sends no more than these through the
// slower character-by-character path.
constexpr std::size_t kStretch = 16 * 1024;

// Where the bytes [begin, end) stop before a character that may run on past `end`:
// at the lead byte of the last character when its continuations reach `end`.
std::size_t WholeCharactersEnd(const unsigned char* p, std::size_t begin, std::size_t end) {
  std::size_t at = end;
  while (at > begin && end - at < 3 && (p[at - 1] & 0xC0) == 0x80) --at;
  return at > begin && p[at - 1] >= 0xC0 ? at - 1 : end;
}

// The length of the sequence that `lead` starts, 0 for a byte that starts none.
int SequenceLength(unsigned char lead) {
  if (lead < 0x80) return 1;
  if (lead >= 0xC2 && lead <= 0xDF) return 2;
  if (lead >= 0xE0 && lead <= 0xEF) return 3;
  if (lead >= 0xF0 && lead <= 0xF4) return 4;
  return 0;
}

// Whether `byte` may stand at place `index` (1 to 3) of the sequence led by `lead`.
bool ValidFollower(unsigned char lead, int index, unsigned char byte) {
  if (index == 1) {
    if (lead == 0xE0) return byte >= 0xA0 && byte <= 0xBF;
    if (lead == 0xED) return byte >= 0x80 && byte <= 0x9F;
    if (lead == 0xF0) return byte >= 0x90 && byte <= 0xBF;
    if (lead == 0xF4) return byte >= 0x80 && byte <= 0x8F;
  }
  return byte >= 0x80 && byte <= 0xBF;
}

// Decodes the valid sequence at `p` (of `length` bytes).
char32_t Decode(const unsigned char* p, int length) {
  switch (length) {
    case 1:
      return p[0];
    case 2:
      return (char32_t{p[0]} & 0x1F) << 6 | (p[1] & 0x3F);
    case 3:
      return (char32_t{p[0]} & 0x0F) << 12 | (char32_t{p[1]} & 0x3F) << 6 | (p[2] & 0x3F);
    default:
      return (char32_t{p[0]} & 0x07) << 18 | (char32_t{p[1]} & 0x3F) << 12 |
             (char32_t{p[2]} & 0x3F) << 6 | (p[3] & 0x3F);
  }
}

// The place of a code point in UTF-16 code-unit order. Beyond U+FFFF a character is
// a surrogate pair, which sorts between U+D7FF and U+E000 and, among pairs, in code
// point order; so U+E000 to U+FFFF move up past every pair.
char32_t Utf16OrderKey(char32_t cp) {
  if (cp > 0xFFFF) return cp - 0x10000 + 0xD800;
  if (cp >= 0xE000) return cp + 0x100000;
  return cp;
}

}  // namespace

void Utf8Normalizer::Feed(std::string_view chunk, std::string& out) {
  std::string joined;
  if (!pending_.empty()) {
    joined = std::exchange(pending_, {});
    joined.append(chunk);
    chunk = joined;
  }
  const auto* p = reinterpret_cast<const unsigned char*>(chunk.data());
  const std::size_t size = chunk.size();
  std::size_t i = 0;
  if (at_start_ && size > 0) {
    if (size < 3 && std::string_view("\xEF\xBB\xBF").starts_with(chunk)) {
      pending_.assign(chunk);  // perhaps the start of a byte-order mark
      return;
    }
    at_start_ = false;
    if (HasUtf8Bom(chunk)) i = 3;
  }
  out.reserve(out.size() + size);
  // Well-formed runs are copied whole, when an ill-formed part or the end is met.
  std::size_t copied = i;
  const auto copy_up_to = [&](std::size_t end) {
    out.append(chunk.data() + copied, end - copied);
    copied = end;
  };
  while (i < size) {
    // Well-formed stretches are checked many bytes at a time and passed over; a
    // character that may run past the stretch is left to the next one.
    const std::size_t end = std::min(size, i + kStretch);
    const std::size_t whole = WholeCharactersEnd(p, i, end);
    if (whole > i && IsWellFormedUtf8(chunk.substr(i, whole - i))) {
      i = whole;
      continue;
    }
    // A stretch with an ill-formed part (or an unfinished character at the end of
    // the chunk) is taken one character at a time.
    while (i < end) {
      // Runs of ASCII are passed over 8 bytes at a time.
      while (i + 8 <= size) {
        std::uint64_t eight;
        std::memcpy(&eight, p + i, 8);
        if ((eight & 0x8080808080808080ull) != 0) break;
        i += 8;
      }
      while (i < size && p[i] < 0x80) ++i;
      if (i == size) break;
      const int length = SequenceLength(p[i]);
      if (length == 0) {
        copy_up_to(i);
        out.append(kReplacement);
        ++replaced_;
        copied = ++i;
        continue;
      }
      int valid = 1;
      while (valid < length && i + valid < size && ValidFollower(p[i], valid, p[i + valid]))
        ++valid;
      if (valid == length) {
        i += static_cast<std::size_t>(length);
      } else if (i + valid == size) {
        copy_up_to(i);
        pending_.assign(chunk.substr(i));  // the next chunk may complete it
        return;
      } else {
        copy_up_to(i);
        out.append(kReplacement);  // the maximal ill-formed part
        ++replaced_;
        i += static_cast<std::size_t>(valid);
        copied = i;
      }
    }
  }
  copy_up_to(size);
}

std::string_view Utf8Normalizer::Normalize(std::string_view chunk, bool ends_stream,
                                           std::string& scratch) {
  if (pending_.empty()) {
    std::string_view text = chunk;
    if (at_start_ && HasUtf8Bom(text)) text.remove_prefix(3);
    // A chunk of a byte or two that starts a byte-order mark is not well-formed.
    if (IsWellFormedUtf8(text)) {
      at_start_ = ends_stream || (at_start_ && chunk.empty());
      return text;
    }
  }
  scratch.clear();
  Feed(chunk, scratch);
  if (ends_stream) Finish(scratch);
  return scratch;
}

void Utf8Normalizer::Finish(std::string& out) {
  // What is left is an unfinished sequence (the start of a byte-order mark is one too).
  if (!pending_.empty()) {
    out.append(kReplacement);
    ++replaced_;
  }
  pending_.clear();
  at_start_ = true;
}

void AppendUtf8(char32_t cp, std::string& out) {
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

void AppendCp1252AsUtf8(std::string_view bytes, std::string& out) {
  out.reserve(out.size() + bytes.size());
  for (const char byte : bytes) {
    const char16_t unit = DecodeCp1252(static_cast<unsigned char>(byte));
    if (unit < 0x80) {
      out.push_back(byte);
    } else {
      AppendUtf8(unit, out);
    }
  }
}

std::string Utf8ToCp1252(std::string_view word) {
  std::string bytes;
  const auto* p = reinterpret_cast<const unsigned char*>(word.data());
  for (std::size_t i = 0; i < word.size();) {
    const int length = std::max(1, SequenceLength(p[i]));
    const char32_t cp =
        i + static_cast<std::size_t>(length) <= word.size() ? Decode(p + i, length) : 0xFFFD;
    bytes.push_back(cp > 0xFFFF ? static_cast<char>(kUnmappable)
                                : static_cast<char>(EncodeCp1252(static_cast<char16_t>(cp))));
    i += static_cast<std::size_t>(length);
  }
  return bytes;
}

bool Utf8Utf16Less(std::string_view a, std::string_view b) {
  const auto [in_a, in_b] = std::mismatch(a.begin(), a.end(), b.begin(), b.end());
  if (in_b == b.end()) return false;
  if (in_a == a.end()) return true;
  // Back to the start of the character in which the two first differ.
  std::size_t start = static_cast<std::size_t>(in_a - a.begin());
  while (start > 0 && (static_cast<unsigned char>(a[start]) & 0xC0) == 0x80) --start;
  const auto character = [start](std::string_view text) {
    const auto* p = reinterpret_cast<const unsigned char*>(text.data()) + start;
    const int length = std::max(1, SequenceLength(*p));
    return Utf16OrderKey(start + static_cast<std::size_t>(length) <= text.size() ? Decode(p, length)
                                                                                 : char32_t{*p});
  };
  return character(a) < character(b);
}

std::uint64_t OrdinalPrefix(std::string_view word, WordEncoding encoding) {
  std::uint64_t prefix = 0;
  for (std::size_t i = 0; i < 8; ++i) {
    std::uint64_t place = 0;
    if (i < word.size()) {
      const auto byte = static_cast<unsigned char>(word[i]);
      if (encoding == WordEncoding::kCp1252) {
        place = kUtf16OrderRank[byte];
      } else {
        place = byte == 0xEE ? 0xF5 : byte == 0xEF ? 0xF6 : byte;
      }
    }
    prefix = prefix << 8 | place;
  }
  return prefix;
}

}  // namespace lintavel
