#include "support/word_helpers.h"

#include <cstdint>
#include <limits>
#include <stdexcept>
#include <utility>

#include "engine/text_rules.h"

namespace lintavel {

namespace {

// The count part as a 32-bit signed number, in plain decimal ("007" gives "7").
std::u16string NormaliseCount(std::u16string_view digits) {
  std::size_t i = 0;
  bool negative = false;
  if (i < digits.size() && (digits[i] == u'+' || digits[i] == u'-')) {
    negative = digits[i] == u'-';
    ++i;
  }
  if (i == digits.size()) throw std::invalid_argument("Type mismatch");
  std::int64_t value = 0;
  for (; i < digits.size(); ++i) {
    const char16_t c = digits[i];
    if (c < u'0' || c > u'9') throw std::invalid_argument("Type mismatch");
    value = value * 10 + (c - u'0');
    if (value > std::int64_t{std::numeric_limits<std::int32_t>::max()} + 1) {
      throw std::overflow_error("Overflow");
    }
  }
  if (negative) value = -value;
  if (value > std::numeric_limits<std::int32_t>::max()) throw std::overflow_error("Overflow");
  const std::string plain = std::to_string(value);
  return std::u16string(plain.begin(), plain.end());
}

}  // namespace

std::u16string RemoveSpaces(std::u16string_view text) {
  return RemoveCharacters(text, std::u16string_view(&kBlank, 1));
}

std::u16string RemoveCharacters(std::u16string_view text, std::u16string_view set) {
  std::u16string kept;
  kept.reserve(text.size());
  for (const char16_t c : text) {
    if (set.find(c) == set.npos) kept.push_back(c);
  }
  return kept;
}

std::u16string RemovePunctuation(std::u16string& text) {
  for (const std::u16string_view set : kPunctuationSets) text = RemoveCharacters(text, set);
  return text;
}

std::u16string MakeCountKey(std::u16string_view count_and_word) {
  constexpr std::size_t kKeyDigits = 11;
  const std::size_t blank = count_and_word.find(kBlank);
  if (blank == count_and_word.npos) {
    throw std::invalid_argument("Invalid procedure call or argument");
  }
  std::u16string key = NormaliseCount(count_and_word.substr(0, blank));
  if (key.size() <= kKeyDigits) key.insert(0, kKeyDigits - key.size(), u'0');
  key.append(count_and_word.substr(blank));
  return key;
}

std::u16string StripLeadingZeros(std::u16string_view text) {
  const std::size_t first = text.find_first_not_of(u'0');
  return first == text.npos ? std::u16string() : std::u16string(text.substr(first));
}

std::vector<std::u16string>& SortByExchangePasses(std::vector<std::u16string>& list,
                                                  const std::function<void()>& yield) {
  bool swapped = true;
  while (swapped) {
    if (yield) yield();
    swapped = false;
    for (std::size_t i = 0; i + 1 < list.size(); ++i) {
      if (list[i + 1] < list[i]) {
        std::swap(list[i], list[i + 1]);
        swapped = true;
      }
    }
  }
  return list;
}

}  // namespace lintavel
