#pragma once

#include <string>
#include <string_view>

namespace lintavel {

// The simple case folding of Unicode (CaseFolding.txt, status C and S): one code
// point for one, mostly the lower case; a code point without one is itself.
char32_t FoldCase(char32_t cp);

// Appends the simple case folding of the valid UTF-8 `word` to `out`.
void AppendFoldedUtf8(std::string_view word, std::string& out);

// Appends `word`, in Windows-1252, with each letter that has an upper/lower pair
// within the code page folded to its lower case ("Š" to "š", "Ÿ" to "ÿ"); "ß" and
// "µ", whose folding the code page lacks, stay.
void AppendFoldedCp1252(std::string_view word, std::string& out);

}  // namespace lintavel
