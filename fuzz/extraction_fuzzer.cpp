// The engine against the step-by-step run: arbitrary bytes as one to three input
// files, read in one of the input encodings, must give the same words, in the same
// order, with the same total and the same reports of ill-formed files.
// LINTAVEL_FUZZ_ENCODING (cp1252, utf-8, utf-16 or auto) holds every run to one
// encoding; without it the first byte of the input chooses.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "engine/code_page.h"
#include "engine/extraction.h"
#include "support/literal_extraction.h"
#include "support/reference_decoding.h"
#include "support/temp_dir.h"

namespace {

using lintavel::InputEncoding;

std::optional<InputEncoding> fixed_encoding;

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
  return 0;
}
