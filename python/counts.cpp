#include "python/counts.h"

#include <algorithm>
#include <stdexcept>

namespace lintavel::python {

namespace {

constexpr std::string_view kMagic = "LTVC1";

void PutNumber(std::uint64_t value, std::string& out) {
  while (value >= 0x80) {
    out.push_back(static_cast<char>((value & 0x7F) | 0x80));
    value >>= 7;
  }
  out.push_back(static_cast<char>(value));
}

void PutText(std::string_view text, std::string& out) {
  PutNumber(text.size(), out);
  out.append(text);
}

// Reads what PutNumber and PutText wrote, refusing anything cut short.
class Reader {
 public:
  explicit Reader(std::string_view bytes) : bytes_(bytes) {}

  std::uint64_t Number() {
    std::uint64_t value = 0;
    for (int shift = 0; shift < 64; shift += 7) {
      if (bytes_.empty()) Fail();
      const auto byte = static_cast<unsigned char>(bytes_.front());
      bytes_.remove_prefix(1);
      value |= static_cast<std::uint64_t>(byte & 0x7F) << shift;
      if ((byte & 0x80) == 0) return value;
    }
    Fail();
  }

  std::string_view Text() {
    const std::uint64_t size = Number();
    if (size > bytes_.size()) Fail();
    const std::string_view text = bytes_.substr(0, size);
    bytes_.remove_prefix(size);
    return text;
  }

  // A number of items, each of which takes at least one byte: a larger one is a
  // damaged form, not a reason to reserve memory for it.
  std::uint64_t Items() {
    const std::uint64_t items = Number();
    if (items > bytes_.size()) Fail();
    return items;
  }

  bool done() const { return bytes_.empty(); }

  [[noreturn]] static void Fail() {
    throw std::invalid_argument("not the pickled form of lintavel.Counts");
  }

 private:
  std::string_view bytes_;
};

}  // namespace

Counts::Counts(CorpusList list, std::vector<FileError> errors, bool per_file)
    : list_(std::move(list)), errors_(std::move(errors)), per_file_(per_file) {}

const CorpusWord* Counts::Find(std::string_view word) const {
  if (index_.empty() && !list_.words.empty()) {
    index_.reserve(list_.words.size());
    for (std::size_t i = 0; i < list_.words.size(); ++i) index_.emplace(list_.words[i].word, i);
  }
  const auto found = index_.find(word);
  return found == index_.end() ? nullptr : &list_.words[found->second];
}

std::uint64_t Counts::CountOf(std::string_view word) const {
  const CorpusWord* found = Find(word);
  return found == nullptr ? 0 : found->count;
}

std::uint64_t Counts::FilesOf(std::string_view word) const {
  const CorpusWord* found = Find(word);
  return found == nullptr ? 0 : found->files;
}

bool Counts::Contains(std::string_view word) const { return Find(word) != nullptr; }

Counts Counts::Merged(std::span<const Counts* const> parts, bool same_file) {
  // Counts without words (an empty Counts() among them) take any encoding.
  WordEncoding encoding = parts.empty() ? WordEncoding::kCp1252 : parts.front()->list_.encoding;
  for (const Counts* part : parts) {
    if (!part->list_.words.empty()) {
      encoding = part->list_.encoding;
      break;
    }
  }
  bool per_file = false;
  for (const Counts* part : parts) per_file = per_file || part->per_file_;
  for (const Counts* part : parts) {
    if (per_file && !part->per_file_ && !part->list_.words.empty()) {
      throw std::invalid_argument(
          "cannot merge counts with files figures (per_file) with counts without them");
    }
  }
  CorpusMerger merger(encoding, false, nullptr);
  std::uint64_t total = 0;
  std::vector<FileError> errors;
  for (std::size_t i = 0; i < parts.size(); ++i) {
    const Counts& part = *parts[i];
    if (part.list_.encoding != encoding && !part.list_.words.empty()) {
      throw std::invalid_argument(
          "cannot merge counts of Windows-1252 words with counts of UTF-8 words");
    }
    for (const CorpusWord& word : part.list_.words) merger.AddWord(i + 1, word.word, word.count);
    total += part.list_.total;
    errors.insert(errors.end(), part.errors_.begin(), part.errors_.end());
  }
  CorpusList list = std::move(merger).Take();
  list.total = total;
  if (per_file) {
    boost::unordered_flat_map<std::string_view, std::uint64_t, WordHash,
                              std::equal_to<std::string_view>>
        files;
    files.reserve(list.words.size());
    for (const Counts* part : parts) {
      for (const CorpusWord& word : part->list_.words) {
        std::uint64_t& figure = files[word.word];
        figure = same_file ? std::max(figure, word.files) : figure + word.files;
      }
    }
    for (CorpusWord& word : list.words) word.files = files[word.word];
  }
  return Counts(std::move(list), std::move(errors), per_file);
}

void Counts::Shape(std::uint64_t min_count, std::optional<std::uint64_t> top, WordOrder order) {
  ShapeList(list_, min_count, top, order);
  index_.clear();
}

void Counts::DropRepeatedErrors() {
  std::vector<FileError> kept;
  for (FileError& error : errors_) {
    if (!kept.empty() && kept.back().path == error.path && kept.back().reason == error.reason) {
      continue;
    }
    kept.push_back(std::move(error));
  }
  errors_ = std::move(kept);
}

std::string Counts::Serialize() const {
  std::string out(kMagic);
  out.push_back(list_.encoding == WordEncoding::kCp1252 ? 'c' : 'u');
  out.push_back(per_file_ ? 'f' : '-');
  PutNumber(list_.total, out);
  PutNumber(list_.distinct, out);
  PutNumber(list_.once, out);
  PutNumber(list_.words.size(), out);
  for (const CorpusWord& word : list_.words) {
    PutNumber(word.count, out);
    if (per_file_) PutNumber(word.files, out);
    PutText(word.word, out);
  }
  PutNumber(errors_.size(), out);
  for (const FileError& error : errors_) {
    PutText(error.path, out);
    PutText(error.reason, out);
  }
  return out;
}

Counts Counts::Deserialize(std::string_view bytes) {
  if (!bytes.starts_with(kMagic) || bytes.size() < kMagic.size() + 2) Reader::Fail();
  CorpusList list;
  const char encoding = bytes[kMagic.size()];
  if (encoding != 'c' && encoding != 'u') Reader::Fail();
  list.encoding = encoding == 'c' ? WordEncoding::kCp1252 : WordEncoding::kUtf8;
  const char files = bytes[kMagic.size() + 1];
  if (files != 'f' && files != '-') Reader::Fail();
  const bool per_file = files == 'f';
  Reader reader(bytes.substr(kMagic.size() + 2));
  list.total = reader.Number();
  list.distinct = reader.Number();
  list.once = reader.Number();
  const std::uint64_t words = reader.Items();
  for (std::uint64_t i = 0; i < words; ++i) {
    const std::uint64_t count = reader.Number();
    const std::uint64_t in_files = per_file ? reader.Number() : 0;
    list.words.push_back({list.storage.Store(reader.Text()), count, in_files});
  }
  std::vector<FileError> errors(reader.Items());
  for (FileError& error : errors) {
    error.path = reader.Text();
    error.reason = reader.Text();
  }
  if (!reader.done()) Reader::Fail();
  return Counts(std::move(list), std::move(errors), per_file);
}

}  // namespace lintavel::python
