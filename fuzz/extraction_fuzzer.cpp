// The engine against the step-by-step run: arbitrary bytes as one to three input
// files must give the same words, in the same order, with the same total.
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "engine/code_page.h"
#include "engine/extraction.h"
#include "support/literal_extraction.h"
#include "support/temp_dir.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  static const lintavel::testing::TempDir dir;
  const unsigned control = data[0];
  const std::string_view rest(reinterpret_cast<const char*>(data + 1), size - 1);
  const std::size_t file_count = 1 + control % 3;
  std::vector<std::filesystem::path> files;
  for (std::size_t i = 0; i < file_count; ++i) {
    const std::size_t begin = rest.size() * i / file_count;
    const std::size_t end = rest.size() * (i + 1) / file_count;
    files.push_back(dir.Write("input" + std::to_string(i), rest.substr(begin, end - begin)));
  }
  const lintavel::testing::LiteralResult expected = lintavel::testing::LiteralExtraction(files);

  lintavel::ExtractionOptions options;
  options.threads = 1 + (control >> 2) % 2;
  const lintavel::ExtractionResult result = lintavel::ExtractWords(files, options);
  std::vector<std::u16string> rows;
  for (const lintavel::CountedWord& word : result.words) {
    rows.push_back(lintavel::DecodeCp1252(word.word));
  }
  if (rows != expected.rows || result.total != static_cast<std::uint64_t>(expected.total)) {
    std::abort();
  }
  return 0;
}
