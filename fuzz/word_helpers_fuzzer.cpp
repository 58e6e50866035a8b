// The word helpers on arbitrary texts: punctuation removal against a plain filter,
// count keys as the run makes them and unpacks them, and leading zeros.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "engine/code_page.h"
#include "support/word_helpers.h"

namespace {

bool IsAsciiPunctuation(char16_t c) {
  return (c >= 0x21 && c <= 0x2F) || (c >= 0x3A && c <= 0x40) || (c >= 0x5B && c <= 0x60) ||
         (c >= 0x7B && c <= 0x7E);
}

void Require(bool holds) {
  if (!holds) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 4) return 0;
  std::uint32_t raw_count;
  std::memcpy(&raw_count, data, sizeof raw_count);
  const std::u16string text =
      lintavel::DecodeCp1252(std::string_view(reinterpret_cast<const char*>(data + 4), size - 4));

  std::u16string cleaned = text;
  lintavel::RemovePunctuation(cleaned);
  std::u16string filtered;
  for (const char16_t c : text) {
    if (!IsAsciiPunctuation(c)) filtered.push_back(c);
  }
  Require(cleaned == filtered);

  // A count and a word as the run passes them: 1 to 2^31 - 1, no blank in the word.
  const std::uint32_t count = 1 + raw_count % 0x7FFFFFFFu;
  const std::u16string word = lintavel::RemoveSpaces(cleaned);
  if (!word.empty()) {
    const std::string digits = std::to_string(count);
    const std::u16string count_text(digits.begin(), digits.end());
    const std::u16string key = lintavel::MakeCountKey(count_text + u" " + word);
    Require(key.size() == 12 + word.size());
    Require(key[11] == u' ' && key.substr(12) == word);
    Require(lintavel::StripLeadingZeros(key) == count_text + u" " + word);
  }

  const std::u16string stripped = lintavel::StripLeadingZeros(text);
  Require(stripped.empty() || stripped.front() != u'0');
  Require(text.size() >= stripped.size() &&
          text.compare(text.size() - stripped.size(), stripped.size(), stripped) == 0);
  Require(text.substr(0, text.size() - stripped.size()).find_first_not_of(u'0') ==
          std::u16string::npos);
  return 0;
}
