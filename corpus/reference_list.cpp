#include "corpus/reference_list.h"

#include <charconv>
#include <vector>

#include "corpus/side_file.h"
#include "engine/utf8.h"

namespace lintavel {

namespace {

std::optional<std::uint64_t> CountIn(std::string_view field) {
  std::uint64_t number = 0;
  const char* end = field.data() + field.size();
  const auto [stop, error] = std::from_chars(field.data(), end, number);
  if (field.empty() || stop != end || error != std::errc()) return std::nullopt;
  return number;
}

// The fields of one RFC 4180 line, or nothing when its quotes are not closed.
std::optional<std::vector<std::string>> CsvFields(std::string_view line) {
  std::vector<std::string> fields(1);
  bool quoted = false;
  for (std::size_t i = 0; i < line.size(); ++i) {
    const char c = line[i];
    if (quoted) {
      if (c != '"') {
        fields.back().push_back(c);
      } else if (i + 1 < line.size() && line[i + 1] == '"') {
        fields.back().push_back('"');
        ++i;
      } else {
        quoted = false;
      }
    } else if (c == '"') {
      quoted = true;
    } else if (c == ',') {
      fields.emplace_back();
    } else {
      fields.back().push_back(c);
    }
  }
  if (quoted) return std::nullopt;
  return fields;
}

std::vector<std::string_view> TabFields(std::string_view line) {
  std::vector<std::string_view> fields;
  for (std::size_t from = 0;;) {
    const std::size_t tab = line.find('\t', from);
    fields.push_back(line.substr(from, tab == line.npos ? line.npos : tab - from));
    if (tab == line.npos) return fields;
    from = tab + 1;
  }
}

}  // namespace

std::optional<std::string> ReadReferenceList(const std::string& path, WordEncoding encoding,
                                             bool fold_case, const StopWords* stop_words,
                                             CorpusList& list) {
  std::string bytes;
  if (auto refusal = ReadSideFile(path, PipeRule::kRefuse, [&](std::string_view piece) {
        bytes.append(piece);
        return true;
      })) {
    return path + ": " + *refusal;
  }
  CorpusMerger merger(encoding, fold_case, stop_words);
  enum class Layout { kUnknown, kCountWord, kWordCount, kCsv } layout = Layout::kUnknown;
  // A quoted CSV field may hold a line break: such a record spans lines.
  std::string record;
  std::uint64_t record_line = 0;
  std::uint64_t line_number = 0;
  const auto wrong = [&](std::uint64_t line, std::string_view what) {
    return path + ": line " + std::to_string(line) + ": " + std::string(what);
  };
  const auto add = [&](std::string_view word, std::uint64_t count) {
    if (word.empty() || count == 0) return;
    merger.AddWord(1, word, count);
  };
  if (bytes.starts_with("\xEF\xBB\xBF")) bytes.erase(0, 3);
  const bool csv = bytes.starts_with("word,count\r") || bytes.starts_with("word,count\n") ||
                   bytes.starts_with("word,count,files\r") ||
                   bytes.starts_with("word,count,files\n");
  if (bytes.starts_with("{")) {
    return wrong(1, "a JSON list is not read as a reference; write it with --format tsv or csv");
  }
  std::string converted;
  for (std::size_t from = 0; from < bytes.size();) {
    std::size_t end = bytes.find('\n', from);
    if (end == bytes.npos) end = bytes.size();
    std::string_view line(bytes.data() + from, end - from);
    from = end + 1;
    ++line_number;
    if (line.ends_with('\r')) line.remove_suffix(1);
    if (csv) {
      if (line_number == 1) {
        layout = Layout::kCsv;
        continue;
      }
      if (record.empty()) record_line = line_number;
      if (!record.empty()) record.append("\r\n");
      record.append(line);
      const auto fields = CsvFields(record);
      if (!fields) continue;  // the record goes on on the next line
      const std::string whole = std::move(record);
      record.clear();
      if (whole.empty()) continue;
      const auto count = fields->size() >= 2 ? CountIn((*fields)[1]) : std::nullopt;
      if (fields->size() < 2 || fields->size() > 3 || !count) {
        return wrong(record_line, "not \"word,count[,files]\"");
      }
      std::string_view word = (*fields)[0];
      if (encoding == WordEncoding::kCp1252) {
        converted = Utf8ToCp1252(word);
        word = converted;
      }
      add(word, *count);
      continue;
    }
    if (line.empty()) continue;
    const std::vector<std::string_view> fields = TabFields(line);
    if (fields.size() < 2 || fields.size() > 3) {
      return wrong(line_number, "not \"count<TAB>word[<TAB>files]\" nor \"word<TAB>count\"");
    }
    const auto first = CountIn(fields[0]);
    const auto second = CountIn(fields[1]);
    if (layout == Layout::kUnknown && fields.size() == 2 && !first && second) {
      layout = Layout::kWordCount;
    } else if (layout == Layout::kUnknown && first && (!second || fields.size() == 3)) {
      layout = Layout::kCountWord;
    }
    const Layout taken = layout == Layout::kUnknown ? Layout::kCountWord : layout;
    if (taken == Layout::kCountWord && first && (fields.size() == 2 || CountIn(fields[2]))) {
      add(fields[1], *first);
    } else if (taken == Layout::kWordCount && second && fields.size() == 2) {
      add(fields[0], *second);
    } else {
      return wrong(line_number, taken == Layout::kCountWord
                                    ? "not \"count<TAB>word[<TAB>files]\" as the lines before"
                                    : "not \"word<TAB>count\" as the lines before");
    }
  }
  if (!record.empty()) return wrong(record_line, "a quoted field is never closed");
  list = std::move(merger).Take();
  return std::nullopt;
}

}  // namespace lintavel
