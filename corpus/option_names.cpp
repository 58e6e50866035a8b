#include "corpus/option_names.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <string>

namespace lintavel {

namespace {

std::string Lower(std::string_view text) {
  std::string lower(text);
  std::transform(lower.begin(), lower.end(), lower.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return lower;
}

}  // namespace

std::optional<InputEncoding> InputEncodingNamed(std::string_view name) {
  const std::string lower = Lower(name);
  if (lower == "cp1252" || lower == "windows-1252") return InputEncoding::kCp1252;
  if (lower == "utf-8" || lower == "utf8") return InputEncoding::kUtf8;
  if (lower == "utf-16" || lower == "utf16") return InputEncoding::kUtf16;
  if (lower == "auto") return InputEncoding::kAuto;
  return std::nullopt;
}

std::optional<WordEncoding> OutputEncodingNamed(std::string_view name) {
  const std::string lower = Lower(name);
  if (lower == "cp1252" || lower == "windows-1252") return WordEncoding::kCp1252;
  if (lower == "utf-8" || lower == "utf8") return WordEncoding::kUtf8;
  return std::nullopt;
}

std::optional<std::pair<unsigned, unsigned>> NgramLengthsNamed(std::string_view text) {
  const auto length = [](std::string_view digits) -> std::optional<unsigned> {
    unsigned n = 0;
    const char* end = digits.data() + digits.size();
    const auto [stop, error] = std::from_chars(digits.data(), end, n);
    if (digits.empty() || stop != end || error != std::errc() || n < 1 || n > 8) {
      return std::nullopt;
    }
    return n;
  };
  const std::size_t dash = text.find('-');
  const auto shortest = length(text.substr(0, dash));
  const auto longest = dash == text.npos ? shortest : length(text.substr(dash + 1));
  if (!shortest || !longest || *shortest > *longest) return std::nullopt;
  return std::pair{*shortest, *longest};
}

std::optional<NgramBreaks> NgramBreaksNamed(std::string_view name) {
  if (name == "sentence") return NgramBreaks::kSentence;
  if (name == "line") return NgramBreaks::kLine;
  if (name == "none") return NgramBreaks::kNone;
  return std::nullopt;
}

std::optional<WordOrder> WordOrderNamed(std::string_view name) {
  if (name == "count") return WordOrder::kCount;
  if (name == "count-desc") return WordOrder::kCountDesc;
  if (name == "word") return WordOrder::kWord;
  return std::nullopt;
}

std::optional<FileDecoding> AutoFileDecodingNamed(std::string_view name) {
  switch (InputEncodingNamed(name).value_or(InputEncoding::kAuto)) {
    case InputEncoding::kCp1252:
      return FileDecoding::kCp1252AsUtf8;
    case InputEncoding::kUtf8:
      return FileDecoding::kUtf8;
    case InputEncoding::kUtf16:
      return FileDecoding::kUtf16;
    case InputEncoding::kAuto:
      break;
  }
  return std::nullopt;
}

std::string_view AutoFileDecodingName(FileDecoding decoding) {
  switch (decoding) {
    case FileDecoding::kUtf8:
      return "utf-8";
    case FileDecoding::kUtf16:
      return "utf-16";
    case FileDecoding::kCp1252:
    case FileDecoding::kCp1252AsUtf8:
      break;
  }
  return "cp1252";
}

}  // namespace lintavel
