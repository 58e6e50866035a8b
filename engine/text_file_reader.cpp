#include "engine/text_file_reader.h"

#include <utility>

namespace lintavel {

template <typename Body>
bool TextFileReading::Guarded(Body&& step) {
  try {
    std::forward<Body>(step)();
    return true;
  } catch (const InputFileError& failure) {
    if (sink_) sink_(failure.failure());
  }
  return false;
}

TextFileReading::TextFileReading(const std::filesystem::path& path, FailureSink sink)
    : sink_(std::move(sink)) {
  Guarded([&] { file_.emplace(path); });
}

TextFileReading::~TextFileReading() {
  try {
    if (file_) Close();
  } catch (...) {
    // Only the sink can throw here; a destructor must not.
  }
}

std::size_t TextFileReading::Read(std::span<char> buffer) {
  if (!file_ || at_end_ || buffer.empty()) return 0;
  std::size_t got = 0;
  const bool read = Guarded([&] {
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
  Guarded([&] { file_->Close(); });
  file_.reset();
}

}  // namespace lintavel
