#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "engine/file_decoding.h"

namespace lintavel {

// The bytes read from a file at a time: large enough that a read costs little
// beside the counting, small enough that a block stays in the cache.
inline constexpr std::size_t kBlockBytes = 2 << 20;

// Where the raw bytes [begin, end) of `bytes`, after `begin` bytes of an unfinished
// word, are cut: just after the last separator, 0 when there is none. UTF-16 is cut
// after a separator unit, so that a block always begins at a unit boundary.
std::size_t CutAfterLastSeparator(const char* bytes, std::size_t begin, std::size_t end,
                                  FileDecoding decoding, bool big_endian);

// Whether the unit of raw bytes at `unit` (two bytes for UTF-16, else one) is a
// separator, as CutAfterLastSeparator sees it.
bool IsSeparatorUnit(const char* unit, FileDecoding decoding, bool big_endian);

// Decodes the raw bytes `raw` of a block that begins at a unit boundary (at the
// file's start when `file_start`: a byte-order mark may lead) and ends after a
// separator or at the end of the file (`file_end`), into `text`; `decoded` then
// points at the text (valid UTF-8 is only checked, and stays where it is; kCp1252
// stays as it is). Gives how many ill-formed parts became U+FFFD.
std::uint64_t DecodeBlock(std::string_view raw, FileDecoding decoding, bool big_endian,
                          bool file_start, bool file_end, std::string& text,
                          std::string_view& decoded);

}  // namespace lintavel
