// Ranges against the whole file: arbitrary bytes as one file, cut into ranges at
// offsets the input chooses, each range counted on its own and the results merged,
// must give the words, counts, files figures and total of the file counted whole,
// in each input encoding (the bytes bring byte-order marks or none).
// Input: a control byte (encoding, number of cuts, case folding), two bytes per
// cut, then the file. LINTAVEL_FUZZ_ENCODING (cp1252, utf-8, utf-16 or auto) holds
// every run to one encoding.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "corpus/option_names.h"
#include "support/range_split.h"
#include "support/temp_dir.h"

namespace {

using lintavel::InputEncoding;

std::optional<InputEncoding> fixed_encoding;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  const char* name = std::getenv("LINTAVEL_FUZZ_ENCODING");
  if (name != nullptr && *name != '\0') {
    fixed_encoding = lintavel::InputEncodingNamed(name);
    if (!fixed_encoding) {
      std::fprintf(stderr, "LINTAVEL_FUZZ_ENCODING: unknown encoding '%s'\n", name);
      std::abort();
    }
  }
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const lintavel::testing::TempDir dir;
  constexpr InputEncoding kEncodings[] = {InputEncoding::kCp1252, InputEncoding::kUtf8,
                                          InputEncoding::kUtf16, InputEncoding::kAuto};
  if (size < 1) return 0;
  const std::uint8_t control = data[0];
  const std::size_t cut_count = control & 7;
  if (size < 1 + 2 * cut_count) return 0;
  const std::string_view file(reinterpret_cast<const char*>(data) + 1 + 2 * cut_count,
                              size - 1 - 2 * cut_count);
  std::vector<std::uint64_t> cuts;
  for (std::size_t i = 0; i < cut_count; ++i) {
    const unsigned offset = data[1 + 2 * i] | (data[2 + 2 * i] << 8);
    cuts.push_back(offset % (file.size() + 1));
  }
  const InputEncoding encoding = fixed_encoding.value_or(kEncodings[(control >> 3) % 4]);
  lintavel::CorpusSettings settings;
  settings.fold_case = (control & 0x20) != 0;
  settings.per_file = (control & 0x40) != 0;
  const auto path = dir.Write("file", file);
  const std::string mismatch =
      lintavel::testing::RangeSplitMismatch(path, encoding, cuts, settings);
  if (!mismatch.empty()) {
    std::fprintf(stderr, "ranges merged differ from the whole file: %s\n", mismatch.c_str());
    std::abort();
  }
  return 0;
}
