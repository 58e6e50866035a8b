#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace lintavel {

// `text` without any blank; tabs and other white space stay.
std::u16string RemoveSpaces(std::u16string_view text);

// `text` without any character that occurs in `set`, the rest in its order.
std::u16string RemoveCharacters(std::u16string_view text, std::u16string_view set);

// Removes the 32 ASCII punctuation characters from `text` in place and returns the
// cleaned text.
std::u16string RemovePunctuation(std::u16string& text);

// Turns "count word" into the count key: the count as a 32-bit number, left-filled
// with zeros to 11 digits, then the blank and the word ("3 house" gives
// "00000000003 house"). Throws when there is no blank or the count is no number.
std::u16string MakeCountKey(std::u16string_view count_and_word);

// `text` without its leading "0" characters.
std::u16string StripLeadingZeros(std::u16string_view text);

// Sorts `list` ascending by ordinal comparison of code units, in place, with whole
// passes of neighbour exchanges until one pass exchanges nothing; calls `yield`
// (when given) at the start of every pass. Returns `list`.
std::vector<std::u16string>& SortByExchangePasses(std::vector<std::u16string>& list,
                                                  const std::function<void()>& yield = {});

}  // namespace lintavel
