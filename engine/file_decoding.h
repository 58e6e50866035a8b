#pragma once

#include <filesystem>

#include "engine/extraction.h"

namespace lintavel {

// How the bytes of one file become the text whose words are counted.
enum class FileDecoding {
  kCp1252,        // Windows-1252 bytes, counted as they are
  kCp1252AsUtf8,  // Windows-1252 read into UTF-8 words (an "auto" file that is no Unicode)
  kUtf8,
  kUtf16,
};

// The decoding that a run in `encoding` gives the file at `path`. For kAuto the
// whole file is read: UTF-16 after a UTF-16 byte-order mark, UTF-8 after a UTF-8
// one or when every byte is well-formed UTF-8, else Windows-1252; a file that
// cannot be read is kCp1252AsUtf8 (its reading reports what is wrong).
FileDecoding DecodingOf(const std::filesystem::path& path, InputEncoding encoding);

}  // namespace lintavel
