#include "engine/text_file_reader.h"

#include <array>

#include "engine/line_splitter.h"
#include "engine/text_rules.h"

namespace lintavel {

TextFileReading::TextFileReading(const std::filesystem::path& path, ReportSink sink)
    : procedure_(location::kReadFile, std::move(sink)) {
  // Nothing has to be created before a file can be opened; the step keeps its number.
  procedure_.Step(reader_line::kCreate, [] {});
  procedure_.Step(reader_line::kOpen, [&] { file_.emplace(path); });
}

TextFileReading::~TextFileReading() {
  if (file_) Close();
}

std::size_t TextFileReading::Read(std::span<char> buffer) {
  if (!file_ || at_end_ || buffer.empty()) return 0;
  std::size_t got = 0;
  const bool read = procedure_.Step(reader_line::kRead, [&] {
    got = file_->Read(buffer);
    if (got == 0) file_->CheckUnchanged();
  });
  if (!read) {
    read_failed_ = true;
    got = 0;
  }
  at_end_ = got == 0;
  return got;
}

void TextFileReading::Close() {
  if (!file_) return;
  procedure_.Step(reader_line::kClose, [&] { file_->Close(); });
  file_.reset();
}

std::vector<std::u16string> ReadFileToStringFSOLineWord(const std::filesystem::path& path,
                                                        const ReportSink& report) {
  std::vector<std::u16string> lines;
  TextFileReading reading(path, report);
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
  std::array<char, 64 * 1024> buffer;
  while (const std::size_t got = reading.Read(buffer)) {
    splitter.Feed(std::string_view(buffer.data(), got), keep_line);
  }
  splitter.Finish(keep_line);
  if (reading.read_failed()) lines.emplace_back();
  reading.Close();
  return lines;
}

}  // namespace lintavel
