#include "support/literal_reader.h"

#include <array>

#include "engine/text_file_reader.h"
#include "engine/text_rules.h"
#include "support/line_splitter.h"

namespace lintavel {

namespace {

// Bytes asked of the file at each read: any size gives the same lines.
constexpr std::size_t kReadBytes = 64 * 1024;

}  // namespace

std::vector<std::u16string> ReadLinesAsCp1252(const std::filesystem::path& path,
                                              const FailureSink& on_failure) {
  std::vector<std::u16string> lines;
  TextFileReading reading(path, on_failure);
  if (!reading.is_open()) return lines;

  const auto keep_line = [&lines](std::string_view bytes) {
    std::u16string& line = lines.emplace_back();
    line.reserve(bytes.size());
    for (const char byte : bytes) {
      const char16_t c = DecodeCp1252(static_cast<unsigned char>(byte));
      if (c != kTab) line.push_back(c);
    }
  };
  LineSplitter splitter;
  std::array<char, kReadBytes> buffer;
  while (const std::size_t got = reading.Read(buffer)) {
    splitter.Feed(std::string_view(buffer.data(), got), keep_line);
  }
  splitter.Finish(keep_line);
  if (reading.read_failed()) lines.emplace_back();
  reading.Close();
  return lines;
}

}  // namespace lintavel
