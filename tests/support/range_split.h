#pragma once

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "corpus/corpus_counts.h"
#include "corpus/corpus_run.h"
#include "engine/file_decoding.h"
#include "engine/range_extraction.h"

namespace lintavel::testing {

// What differs between the file at `path` counted whole and cut at `cuts` (offsets
// in any order, any number) into ranges that are counted one by one and merged;
// empty when nothing does. With `ngrams`, the sequences are counted.
inline std::string RangeSplitMismatch(const std::filesystem::path& path, InputEncoding encoding,
                                      std::vector<std::uint64_t> cuts,
                                      const CorpusSettings& settings,
                                      const NgramSettings& ngrams = {}) {
  ExtractionOptions options;
  options.encoding = encoding;
  options.ngrams = ngrams;
  options.threads = 1;
  const StopWords no_stop_words;
  const std::filesystem::path files[] = {path};
  const CorpusRun whole = ExtractCorpus(files, options, settings, no_stop_words);

  const FileDecoding decoding = DecodingOf(path, encoding);
  std::sort(cuts.begin(), cuts.end());
  cuts.insert(cuts.begin(), 0);
  std::vector<CorpusCounts> parts;
  for (std::size_t i = 0; i < cuts.size(); ++i) {
    ByteRange range{cuts[i], std::nullopt};
    if (i + 1 < cuts.size()) range.end = cuts[i + 1];
    CountsOrigin origin;
    origin.encoding = encoding;
    origin.fold_case = settings.fold_case;
    origin.per_file = settings.per_file;
    CorpusRun run =
        ExtractCorpusRange(path, range, decoding, options, settings, no_stop_words, nullptr);
    parts.emplace_back(std::move(run.list), std::vector<FileFailure>{}, origin);
  }
  std::vector<const CorpusCounts*> pointers;
  for (const CorpusCounts& part : parts) pointers.push_back(&part);
  const CorpusCounts merged = CorpusCounts::Merged(pointers, true);

  const auto& a = whole.list.words;
  const auto& b = merged.list().words;
  if (whole.list.total != merged.list().total) {
    return "total " + std::to_string(whole.list.total) + " whole, " +
           std::to_string(merged.list().total) + " merged";
  }
  if (a.size() != b.size()) {
    return std::to_string(a.size()) + " words whole, " + std::to_string(b.size()) + " merged";
  }
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (a[i].word != b[i].word || a[i].count != b[i].count ||
        (settings.per_file && a[i].files != b[i].files)) {
      return "word " + std::to_string(i) + ": '" + std::string(a[i].word) + "' x" +
             std::to_string(a[i].count) + " whole, '" + std::string(b[i].word) + "' x" +
             std::to_string(b[i].count) + " merged (files " + std::to_string(a[i].files) + ", " +
             std::to_string(b[i].files) + ")";
    }
  }
  return "";
}

}  // namespace lintavel::testing
