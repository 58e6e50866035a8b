// The engine against the step-by-step run: arbitrary bytes as one to three input
// files, read in one of the input encodings, must give the same words, in the same
// order, with the same total and the same reports of ill-formed files. The same
// bytes also go through the HTML filter in one piece and in pieces cut where the
// input says, which must agree, and the files figure of every word must be the
// number of files in which a run of that file alone finds it.
// LINTAVEL_FUZZ_ENCODING (cp1252, utf-8, utf-16 or auto) holds every run to one
// encoding; without it the first byte of the input chooses.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "engine/code_page.h"
#include "engine/extraction.h"
#include "engine/html_text.h"
#include "support/literal_extraction.h"
#include "support/reference_decoding.h"
#include "support/temp_dir.h"

namespace {

using lintavel::InputEncoding;

std::optional<InputEncoding> fixed_encoding;

// The filter's text, unclosed construct and its line for `bytes` fed in pieces
// whose sizes come from `sizes` in turn (all at once when it is empty).
std::tuple<std::string, std::string, std::uint64_t> FilterInPieces(
    std::string_view bytes, std::string_view sizes, lintavel::WordEncoding encoding) {
  lintavel::HtmlTextFilter filter(encoding);
  std::string out;
  for (std::size_t at = 0, turn = 0; at < bytes.size(); ++turn) {
    const std::size_t piece = sizes.empty()
                                  ? bytes.size()
                                  : 1 + static_cast<unsigned char>(sizes[turn % sizes.size()]) % 17;
    filter.Feed(bytes.substr(at, piece), out);
    at += std::min(piece, bytes.size() - at);
  }
  filter.Finish(out);
  return {out, std::string(filter.unclosed()), filter.unclosed_line()};
}

// Each word's files figure from runs of one file each.
std::map<std::string, std::uint64_t> FilesOfEachWord(
    const std::vector<std::filesystem::path>& files, const lintavel::ExtractionOptions& options) {
  std::map<std::string, std::uint64_t> files_of;
  for (const std::filesystem::path& file : files) {
    for (const lintavel::CountedWord& word : lintavel::ExtractWords({&file, 1}, options).words) {
      ++files_of[std::string(word.word)];
    }
  }
  return files_of;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  const char* name = std::getenv("LINTAVEL_FUZZ_ENCODING");
  if (name == nullptr || *name == '\0') return 0;
  const std::string_view asked(name);
  if (asked == "cp1252") {
    fixed_encoding = InputEncoding::kCp1252;
  } else if (asked == "utf-8") {
    fixed_encoding = InputEncoding::kUtf8;
  } else if (asked == "utf-16") {
    fixed_encoding = InputEncoding::kUtf16;
  } else if (asked == "auto") {
    fixed_encoding = InputEncoding::kAuto;
  } else {
    std::fprintf(stderr, "LINTAVEL_FUZZ_ENCODING is '%s'; expected cp1252, utf-8, utf-16 or auto\n",
                 name);
    std::exit(2);
  }
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  static const lintavel::testing::TempDir dir;
  constexpr InputEncoding kEncodings[] = {InputEncoding::kCp1252, InputEncoding::kUtf8,
                                          InputEncoding::kAuto, InputEncoding::kUtf16};
  const unsigned control = data[0];
  const InputEncoding encoding = fixed_encoding.value_or(kEncodings[(control >> 3) % 4]);
  const std::string_view rest(reinterpret_cast<const char*>(data + 1), size - 1);
  const std::size_t file_count = 1 + control % 3;
  std::vector<std::filesystem::path> files;
  using Report = std::tuple<std::string, std::uint64_t, InputEncoding>;
  std::vector<Report> expected_reports;
  for (std::size_t i = 0; i < file_count; ++i) {
    const std::size_t begin = rest.size() * i / file_count;
    const std::size_t end = rest.size() * (i + 1) / file_count;
    const std::string_view bytes = rest.substr(begin, end - begin);
    files.push_back(dir.Write("input" + std::to_string(i), bytes));
    const lintavel::testing::DecodedText text = lintavel::testing::DecodePlainly(bytes, encoding);
    if (text.replaced != 0)
      expected_reports.emplace_back(files.back(), text.replaced, text.read_as);
  }
  const lintavel::testing::LiteralResult expected =
      lintavel::testing::LiteralExtraction(files, encoding);

  lintavel::ExtractionOptions options;
  options.threads = 1 + (control >> 2) % 2;
  options.encoding = encoding;
  std::vector<Report> reports;
  options.on_ill_formed = [&](const std::filesystem::path& file, std::uint64_t count,
                              InputEncoding read_as) {
    reports.emplace_back(file, count, read_as);
  };
  const lintavel::ExtractionResult result = lintavel::ExtractWords(files, options);
  std::vector<std::u16string> rows;
  for (const lintavel::CountedWord& word : result.words) {
    rows.push_back(encoding == InputEncoding::kCp1252
                       ? lintavel::DecodeCp1252(word.word)
                       : lintavel::testing::DecodeUtf8Plainly(word.word, false).text);
  }
  if (rows != expected.rows || result.total != static_cast<std::uint64_t>(expected.total) ||
      reports != expected_reports) {
    std::abort();
  }

  const lintavel::WordEncoding html_encoding =
      control & 0x20 ? lintavel::WordEncoding::kUtf8 : lintavel::WordEncoding::kCp1252;
  if (FilterInPieces(rest, {}, html_encoding) != FilterInPieces(rest, rest, html_encoding)) {
    std::abort();
  }

  lintavel::ExtractionOptions per_file;
  per_file.threads = options.threads;
  per_file.encoding = encoding;
  per_file.html = (control & 0x40) != 0;
  per_file.count_files = true;
  const lintavel::ExtractionResult counted = lintavel::ExtractWords(files, per_file);
  per_file.count_files = false;
  const std::map<std::string, std::uint64_t> files_of = FilesOfEachWord(files, per_file);
  if (counted.files.size() != counted.words.size() || files_of.size() != counted.words.size()) {
    std::abort();
  }
  for (std::size_t i = 0; i < counted.words.size(); ++i) {
    const auto found = files_of.find(std::string(counted.words[i].word));
    if (found == files_of.end() || found->second != counted.files[i]) std::abort();
  }
  return 0;
}
