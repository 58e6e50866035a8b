#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace lintavel::folders {

// File names are carried as their bytes, which are UTF-8 where they are valid. The
// window holds them as UTF-16 text, so the rules below that look at characters
// look at the UTF-16 code units of a name, exactly as the window sees them.

// The UTF-16 code units of `name`: each byte of a sequence that is not valid UTF-8
// (overlong, surrogate, beyond U+10FFFF, cut short) gives one U+FFFD, and a leading
// byte-order mark is dropped, as the window's decoding of file names does.
std::u16string DecodeName(std::string_view name);

// The number of code units DecodeName(name) gives, without building it.
std::size_t Utf16Length(std::string_view name);

// True when `name` decodes to text that encodes back to the same bytes (valid
// UTF-8 without a leading byte-order mark): only such a name can be carried as
// text and still name the same file.
bool IsCarriableName(std::string_view name);

// The simple case folding of Unicode for one UTF-16 code unit; a surrogate or a
// unit without a folding is itself.
char16_t FoldCase(char16_t unit);

// True when `name` matches the wildcard `pattern`: "*" any run of code units, "?"
// one code unit, letters compared by FoldCase; a pattern ending in ".*" also
// matches names without that dot ("*.*" matches every name).
bool MatchesWildcard(std::u16string_view name, std::u16string_view pattern);
// The same for names and patterns given as bytes, decoded by DecodeName.
bool MatchesWildcard(std::string_view name, std::string_view pattern);

// True when a code unit of `name` has, in Windows-1252, a code below 32, from 127
// to 159, or the code of "?" (which also stands for characters the code page lacks).
bool HasBadCharacters(std::u16string_view name);
// The same for a name given as bytes, decoded by DecodeName.
bool HasBadCharacters(std::string_view name);

}  // namespace lintavel::folders
