#include "engine/file_decoding.h"

#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "engine/input_file.h"
#include "engine/utf16.h"
#include "engine/utf8.h"

namespace lintavel {

FileDecoding DecodingOf(const std::filesystem::path& path, InputEncoding encoding) {
  switch (encoding) {
    case InputEncoding::kCp1252:
      return FileDecoding::kCp1252;
    case InputEncoding::kUtf8:
      return FileDecoding::kUtf8;
    case InputEncoding::kUtf16:
      return FileDecoding::kUtf16;
    case InputEncoding::kAuto:
      break;
  }
  constexpr std::size_t kBufferBytes = 2 << 20;
  try {
    InputFile file(path);
    auto buffer = std::make_unique_for_overwrite<char[]>(kBufferBytes);
    std::string scratch;
    Utf8Normalizer check;
    bool first = true;
    while (const std::size_t got = file.Read(std::span<char>(buffer.get(), kBufferBytes))) {
      const std::string_view read(buffer.get(), got);
      if (first && HasUtf16Bom(read)) return FileDecoding::kUtf16;
      if (first && HasUtf8Bom(read)) return FileDecoding::kUtf8;
      first = false;
      scratch.clear();
      check.Feed(read, scratch);
      if (check.replaced() != 0) return FileDecoding::kCp1252AsUtf8;
    }
    scratch.clear();
    check.Finish(scratch);
    return check.replaced() == 0 ? FileDecoding::kUtf8 : FileDecoding::kCp1252AsUtf8;
  } catch (const std::exception&) {
    // The reading itself reports what is wrong with the file.
    return FileDecoding::kCp1252AsUtf8;
  }
}

}  // namespace lintavel
