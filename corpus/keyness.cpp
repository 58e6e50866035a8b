#include "corpus/keyness.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include <boost/unordered/unordered_flat_map.hpp>

#include "engine/word_hash.h"

namespace lintavel {

namespace {

// Wide enough for the product of two counts.
__extension__ typedef unsigned __int128 WideCount;

// x * ln(x / expected), 0 for a zero count (its limit).
double Term(double x, double expected) { return x == 0 ? 0.0 : x * std::log(x / expected); }

std::string Figure(double value) {
  char text[64];
  std::snprintf(text, sizeof text, "%.6f", value);
  return text;
}

}  // namespace

KeynessScores ScoreKeyness(std::uint64_t target, std::uint64_t reference,
                           std::uint64_t target_total, std::uint64_t reference_total) {
  KeynessScores scores;
  const double a = static_cast<double>(target);
  const double b = static_cast<double>(reference);
  const double c = static_cast<double>(target_total);
  const double d = static_cast<double>(reference_total);
  // Compared exactly: a/c against b/d.
  const WideCount left = static_cast<WideCount>(target) * reference_total;
  const WideCount right = static_cast<WideCount>(reference) * target_total;
  scores.direction = left > right ? '+' : left < right ? '-' : '=';
  if (c == 0 || d == 0) return scores;
  const double e1 = c * (a + b) / (c + d);
  const double e2 = d * (a + b) / (c + d);
  scores.log_likelihood = std::max(0.0, 2 * (Term(a, e1) + Term(b, e2)));
  scores.log_ratio = std::log2(((a == 0 ? 0.5 : a) / c) / ((b == 0 ? 0.5 : b) / d));
  if (reference != 0) scores.percent_diff = (a / c - b / d) * 100 / (b / d);
  return scores;
}

KeynessTable CompareLists(const CorpusList& target, const CorpusList& reference, KeynessSide side,
                          double min_ll, std::uint64_t min_count,
                          std::optional<std::uint64_t> top) {
  KeynessTable table;
  table.encoding = target.encoding;
  table.target_total = target.total;
  table.reference_total = reference.total;
  boost::unordered_flat_map<std::string_view, std::uint64_t, WordHash,
                            std::equal_to<std::string_view>>
      in_reference;
  in_reference.reserve(reference.words.size());
  for (const CorpusWord& word : reference.words) in_reference[word.word] += word.count;
  const auto keep = [&](std::string_view word, std::uint64_t a, std::uint64_t b) {
    if (std::max(a, b) < min_count) return;
    KeywordRow row{word, a, b, ScoreKeyness(a, b, target.total, reference.total)};
    const bool wanted = side == KeynessSide::kBoth ||
                        (side == KeynessSide::kPositive && row.scores.direction == '+') ||
                        (side == KeynessSide::kNegative && row.scores.direction == '-');
    if (wanted && row.scores.log_likelihood >= min_ll) table.rows.push_back(row);
  };
  boost::unordered_flat_map<std::string_view, bool, WordHash, std::equal_to<std::string_view>>
      in_target;
  in_target.reserve(target.words.size());
  for (const CorpusWord& word : target.words) {
    in_target[word.word] = true;
    const auto found = in_reference.find(word.word);
    keep(word.word, word.count, found == in_reference.end() ? 0 : found->second);
  }
  if (side != KeynessSide::kPositive) {
    for (const CorpusWord& word : reference.words) {
      if (!in_target.contains(word.word)) keep(table.storage.Store(word.word), 0, word.count);
    }
  }
  std::sort(table.rows.begin(), table.rows.end(), [](const KeywordRow& x, const KeywordRow& y) {
    if (x.scores.log_likelihood != y.scores.log_likelihood) {
      return x.scores.log_likelihood > y.scores.log_likelihood;
    }
    return x.word < y.word;
  });
  if (top && table.rows.size() > *top) table.rows.resize(*top);
  return table;
}

void WriteKeyness(const KeynessTable& table, ListFormat format, WordEncoding output,
                  const std::function<void(std::string_view)>& write) {
  static constexpr std::string_view kNames[] = {
      "word",           "target_count", "reference_count", "target_total", "reference_total",
      "log_likelihood", "log_ratio",    "percent_diff",    "direction"};
  ChunkedRows rows(write);
  std::string& chunk = rows.chunk();
  if (format == ListFormat::kTsv || format == ListFormat::kCsv) {
    for (std::size_t i = 0; i < std::size(kNames); ++i) {
      if (i != 0) chunk.push_back(format == ListFormat::kTsv ? '\t' : ',');
      chunk.append(kNames[i]);
    }
    chunk.append("\r\n");
  } else if (format == ListFormat::kJson) {
    chunk.append("{\"target_total\":" + std::to_string(table.target_total) +
                 ",\"reference_total\":" + std::to_string(table.reference_total) + ",\"words\":[");
  }
  std::string word;
  std::vector<std::string> fields(std::size(kNames) - 1);
  for (const KeywordRow& row : table.rows) {
    word.clear();
    const WordEncoding to =
        format == ListFormat::kText || format == ListFormat::kTsv ? output : WordEncoding::kUtf8;
    AppendWord(row.word, table.encoding, to, word);
    fields[0] = std::to_string(row.target);
    fields[1] = std::to_string(row.reference);
    fields[2] = std::to_string(table.target_total);
    fields[3] = std::to_string(table.reference_total);
    fields[4] = Figure(row.scores.log_likelihood);
    fields[5] = Figure(row.scores.log_ratio);
    fields[6] = row.scores.percent_diff ? Figure(*row.scores.percent_diff) : "";
    fields[7] = std::string(1, row.scores.direction);
    switch (format) {
      case ListFormat::kText:
        chunk.append(word).append("\r\n");
        break;
      case ListFormat::kTsv:
      case ListFormat::kCsv: {
        const char separator = format == ListFormat::kTsv ? '\t' : ',';
        if (format == ListFormat::kCsv) {
          AppendCsvField(word, chunk);
        } else {
          chunk.append(word);
        }
        for (const std::string& field : fields) chunk.append(1, separator).append(field);
        chunk.append("\r\n");
        break;
      }
      case ListFormat::kJson:
        chunk.append(rows.first() ? "\n{\"word\":" : ",\n{\"word\":");
        AppendJsonString(word, chunk);
        for (std::size_t i = 0; i < fields.size(); ++i) {
          chunk.append(",\"").append(kNames[i + 1]).append("\":");
          if (i == 7) {
            AppendJsonString(fields[i], chunk);
          } else {
            chunk.append(fields[i].empty() ? std::string_view("null") : fields[i]);
          }
        }
        chunk.push_back('}');
        break;
    }
    rows.EndRow();
  }
  rows.Finish(format == ListFormat::kJson);
}

}  // namespace lintavel
