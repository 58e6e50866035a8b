#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace lintavel {

// The encoding of the words of a run: Windows-1252 bytes (the window's) or UTF-8.
enum class WordEncoding { kCp1252, kUtf8 };

// Turns a stream of bytes, fed in chunks of any size, into valid UTF-8: each
// maximal ill-formed part becomes U+FFFD, and a byte-order mark at the very start
// is dropped. A sequence split between chunks is put together.
class Utf8Normalizer {
 public:
  Utf8Normalizer() = default;
  // A normalizer that goes on with a stream from its middle: no byte-order mark is
  // looked for.
  static Utf8Normalizer Continuing() {
    Utf8Normalizer normalizer;
    normalizer.at_start_ = false;
    return normalizer;
  }

  // Appends the valid UTF-8 of `chunk` to `out`.
  void Feed(std::string_view chunk, std::string& out);
  // Gives the valid UTF-8 of `chunk`, then ends the stream when `ends_stream`: a view
  // of `chunk` itself (past a leading byte-order mark) when it is all well-formed and
  // completes every character, else `scratch`, which it fills.
  std::string_view Normalize(std::string_view chunk, bool ends_stream, std::string& scratch);
  // Ends the stream: an incomplete last sequence becomes U+FFFD.
  void Finish(std::string& out);
  // How many U+FFFD were put in so far.
  std::uint64_t replaced() const { return replaced_; }

 private:
  std::string pending_;  // the start of a sequence that the next chunk completes
  bool at_start_ = true;
  std::uint64_t replaced_ = 0;
};

// True when `text` is well-formed UTF-8 to its end (no character left unfinished);
// checks 64 bytes at a time where the processor allows.
bool IsWellFormedUtf8(std::string_view text);

// The same, one character at a time, for the checks of the fast form.
bool IsWellFormedUtf8Plain(std::string_view text);

// Every form of IsWellFormedUtf8 that this processor can run, the plain one first,
// so that tests check each against the others.
using Utf8Check = bool (*)(std::string_view);
std::span<const Utf8Check> Utf8Checks();

// Appends the UTF-8 form of the code point `cp` (at most U+10FFFF) to `out`.
void AppendUtf8(char32_t cp, std::string& out);

// Appends the UTF-8 form of the Windows-1252 `bytes` to `out`.
void AppendCp1252AsUtf8(std::string_view bytes, std::string& out);

// The UTF-8 word `word` in Windows-1252, "?" for each character the code page lacks.
std::string Utf8ToCp1252(std::string_view word);

// True when the text of UTF-8 `a` comes before that of `b` in ordinal UTF-16 order
// (characters beyond U+FFFF sort as their surrogate pairs: after U+D7FF, before U+E000).
bool Utf8Utf16Less(std::string_view a, std::string_view b);

// The first 8 bytes of `word`, in `encoding`, as a number that orders words as their
// ordinal UTF-16 order does, but for ties, which the whole words settle. UTF-8: the
// bytes themselves, which order as code points, except that the leads of U+E000 to
// U+FFFF (0xEE, 0xEF) move above those of the characters beyond U+FFFF (0xF0 to
// 0xF4), whose surrogates sort before them.
std::uint64_t OrdinalPrefix(std::string_view word, WordEncoding encoding);

// True when `text` begins with the UTF-8 byte-order mark.
inline bool HasUtf8Bom(std::string_view text) { return text.starts_with("\xEF\xBB\xBF"); }

}  // namespace lintavel
