#include "corpus/word_cuts.h"

#include "engine/text_rules.h"

namespace lintavel {

namespace {

// A stretch of bytes never holds more words than half its bytes and one, so that
// a stretch this long can be gone through without looking for the last word while
// more than this many words are left.
constexpr std::size_t kStretch = 64;

// Counts the words that begin in the `kStretch` bytes from `p` (going back from
// it when kBack), `counted` saying whether the bytes since the last separator hold
// a letter: without branches, which the bytes would send either way at random.
template <bool kBack>
std::uint64_t WordsInStretch(const char* p, bool& counted) {
  std::uint64_t words = 0;
  unsigned open = counted ? 1 : 0;
  for (std::size_t k = 0; k < kStretch; ++k) {
    const auto byte = static_cast<unsigned>(ClassOf(kBack ? *(p - k) : p[k]));
    const unsigned letter = byte == static_cast<unsigned>(ByteClass::kWord) ? 1 : 0;
    const unsigned separator = byte == static_cast<unsigned>(ByteClass::kSeparator) ? 1 : 0;
    words += letter & (open ^ 1);
    open = (open | letter) & (separator ^ 1);
  }
  counted = open != 0;
  return words;
}

// Takes one byte of a walk over words: a letter after a separator is one more word
// of the `words` left. True at a separator that ends the last of them, where the
// cut falls.
bool TakeByte(char c, bool& counted, std::uint64_t& words) {
  const ByteClass byte = ClassOf(c);
  if (byte == ByteClass::kSeparator) {
    if (counted && words == 0) return true;
    counted = false;
  } else if (byte == ByteClass::kWord && !counted) {
    counted = true;
    --words;
  }
  return false;
}

}  // namespace

std::size_t CutAfterWords(std::string_view text, std::uint64_t words) {
  if (words == 0) return 0;
  // Whether the bytes since the last separator hold a letter, already counted.
  bool counted = false;
  std::size_t i = 0;
  for (; words > kStretch && text.size() - i >= kStretch; i += kStretch) {
    words -= WordsInStretch<false>(text.data() + i, counted);
  }
  for (; i < text.size(); ++i) {
    if (TakeByte(text[i], counted, words)) return i + 1;
  }
  return text.size();
}

std::size_t CutBeforeLastWords(std::string_view text, std::uint64_t words) {
  if (words == 0) return text.size();
  bool counted = false;
  std::size_t i = text.size();
  for (; words > kStretch && i >= kStretch; i -= kStretch) {
    words -= WordsInStretch<true>(text.data() + i - 1, counted);
  }
  while (i-- > 0) {
    if (TakeByte(text[i], counted, words)) return i + 1;
  }
  return 0;
}

}  // namespace lintavel
