#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "engine/extraction.h"
#include "support/literal_reader.h"
#include "support/reference_decoding.h"
#include "support/temp_dir.h"
#include "support/word_helpers.h"

namespace lintavel::testing {

struct LiteralResult {
  std::vector<std::u16string> rows;
  long long total = 0;
};

// The extraction run written out stage by stage, as plainly as it is described:
// every line of every file (Windows-1252 through the window's reader, any other
// encoding through the plain decoders), tokens cut at each blank, cleaned, counted
// in entries joined by the occurrence separator, turned into count keys,
// bubble-sorted and unpacked. Quadratic; for small inputs only.
inline LiteralResult LiteralExtraction(const std::vector<std::filesystem::path>& files,
                                       InputEncoding encoding = InputEncoding::kCp1252) {
  const std::u16string separator = u"My_Separatora12";
  std::vector<std::u16string> all_lines;
  for (const auto& file : files) {
    const std::vector<std::u16string> lines =
        encoding == InputEncoding::kCp1252
            ? ReadLinesAsCp1252(file, {})
            : SplitLinesPlainly(DecodePlainly(ReadBytes(file), encoding).text);
    for (auto& line : lines) all_lines.push_back(line);
  }
  std::vector<std::u16string> tokens;
  for (const auto& line : all_lines) {
    if (line.find(u' ') != std::u16string::npos) {
      std::size_t start = 0;
      for (;;) {
        const std::size_t blank = line.find(u' ', start);
        const std::u16string piece = line.substr(start, blank - start);
        if (!piece.empty()) tokens.push_back(piece);
        if (blank == std::u16string::npos) break;
        start = blank + 1;
      }
    } else if (!line.empty()) {
      tokens.push_back(line);
    }
  }
  for (auto& token : tokens) {
    std::u16string spaceless = RemoveSpaces(token);
    token = RemovePunctuation(spaceless);
  }
  std::vector<std::u16string> entries;
  for (const auto& w : tokens) {
    if (w.empty()) continue;
    bool found = false;
    for (auto& entry : entries) {
      const std::size_t at = entry.find(separator);
      const std::u16string head = at == std::u16string::npos ? entry : entry.substr(0, at);
      if (head == w) {
        found = true;
        entry += separator + w;
        break;
      }
    }
    if (!found) entries.push_back(w);
  }
  std::vector<std::u16string> keys;
  for (const auto& e : entries) {
    const std::size_t at = e.find(separator);
    std::u16string word = at == std::u16string::npos ? e : e.substr(0, at);
    int count = 1;
    for (std::size_t pos = e.find(separator); pos != std::u16string::npos;
         pos = e.find(separator, pos + separator.size())) {
      ++count;
    }
    const std::string digits = std::to_string(count);
    keys.push_back(MakeCountKey(std::u16string(digits.begin(), digits.end()) + u" " + word));
  }
  SortByExchangePasses(keys);
  LiteralResult result;
  for (const auto& key : keys) {
    const std::u16string t = StripLeadingZeros(key);
    const std::size_t blank = t.find(u' ');
    result.rows.push_back(t.substr(blank + 1));
    result.total += std::stoll(std::string(t.begin(), t.begin() + static_cast<long>(blank)));
  }
  return result;
}

}  // namespace lintavel::testing
