#include "corpus/concordance_writer.h"

#include <algorithm>
#include <cstdint>
#include <string>

namespace lintavel {

namespace {

constexpr std::size_t kChunk = 256 * 1024;

// The characters of the UTF-8 `text`.
std::size_t CharactersOf(std::string_view text) {
  return static_cast<std::size_t>(std::count_if(text.begin(), text.end(), [](char c) {
    return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  }));
}

void AppendPadded(std::string_view text, std::size_t width, bool right_aligned, std::string& out) {
  const std::size_t have = CharactersOf(text);
  const std::size_t pad = have < width ? width - have : 0;
  if (right_aligned) out.append(pad, ' ');
  out.append(text);
  if (!right_aligned) out.append(pad, ' ');
}

// A file name in one TSV field: its tabs and line ends as blanks.
void AppendTsvName(std::string_view name, std::string& out) {
  for (const char c : name) out.push_back(c == '\t' || c == '\r' || c == '\n' ? ' ' : c);
}

}  // namespace

void WriteConcordance(std::span<const ConcordanceLine> lines, std::string_view word,
                      ListFormat format, std::size_t width,
                      const std::function<void(std::string_view)>& write) {
  std::string out;
  const auto flush = [&](bool always) {
    if (always || out.size() >= kChunk) {
      if (!out.empty()) write(out);
      out.clear();
    }
  };
  std::size_t name_width = 0;
  std::size_t line_width = 0;
  if (format == ListFormat::kText) {
    for (const ConcordanceLine& line : lines) {
      name_width = std::max(name_width, CharactersOf(line.path.string()));
      line_width = std::max(line_width, std::to_string(line.line).size());
    }
  }
  if (format == ListFormat::kCsv) out.append("file,line,left,word,right\r\n");
  if (format == ListFormat::kJson) {
    out.append("{\"word\":");
    AppendJsonString(word, out);
    out.append(",\"total\":").append(std::to_string(lines.size())).append(",\"lines\":[");
  }
  bool first = true;
  for (const ConcordanceLine& line : lines) {
    const std::string name = line.path.string();
    const std::string number = std::to_string(line.line);
    switch (format) {
      case ListFormat::kText:
        AppendPadded(name, name_width, false, out);
        out.append("  ");
        AppendPadded(number, line_width, true, out);
        out.append("  ");
        AppendPadded(line.left, width, true, out);
        out.append("  ").append(line.word).append("  ").append(line.right).append("\r\n");
        break;
      case ListFormat::kTsv:
        AppendTsvName(name, out);
        out.append("\t").append(number).append("\t").append(line.left).append("\t");
        out.append(line.word).append("\t").append(line.right).append("\r\n");
        break;
      case ListFormat::kCsv:
        AppendCsvField(name, out);
        out.append(",").append(number).append(",");
        AppendCsvField(line.left, out);
        out.push_back(',');
        AppendCsvField(line.word, out);
        out.push_back(',');
        AppendCsvField(line.right, out);
        out.append("\r\n");
        break;
      case ListFormat::kJson:
        out.append(first ? "\n{\"file\":" : ",\n{\"file\":");
        AppendJsonString(name, out);
        out.append(",\"line\":").append(number).append(",\"left\":");
        AppendJsonString(line.left, out);
        out.append(",\"word\":");
        AppendJsonString(line.word, out);
        out.append(",\"right\":");
        AppendJsonString(line.right, out);
        out.push_back('}');
        break;
    }
    first = false;
    flush(false);
  }
  if (format == ListFormat::kJson) out.append(first ? "]}\n" : "\n]}\n");
  flush(true);
}

}  // namespace lintavel
