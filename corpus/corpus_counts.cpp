#include "corpus/corpus_counts.h"

#include <algorithm>
#include <stdexcept>

namespace lintavel {

namespace {

constexpr std::string_view kMagic = "LTVC2";

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

  // A number from 0 to `most`.
  std::uint64_t Small(std::uint64_t most) {
    const std::uint64_t value = Number();
    if (value > most) Fail();
    return value;
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
    throw std::invalid_argument("not the serialized form of word counts");
  }

 private:
  std::string_view bytes_;
};

constexpr std::uint64_t kFoldCase = 1;
constexpr std::uint64_t kHtml = 2;
constexpr std::uint64_t kPerFile = 4;
constexpr std::uint64_t kCut = 8;
constexpr std::uint64_t kUnicodeWords = 16;
constexpr std::uint64_t kSplitElisions = 32;
// Above the flags, the sequences counted: 3 bits each for the shortest and longest
// less one, 2 for the breaks; all 0 for words, so word counts pickle as before.
constexpr int kNgramShift = 6;
constexpr std::uint64_t kAllFlags = (std::uint64_t{1} << (kNgramShift + 8)) - 1;

// What differs between two origins, worded for a message.
std::string_view Difference(const CountsOrigin& a, const CountsOrigin& b) {
  if (a.encoding != b.encoding) return "different encodings";
  if (a.fold_case != b.fold_case) return "and without fold_case";
  if (a.html != b.html) return "and without html";
  if (a.per_file != b.per_file) return "and without files figures (per_file)";
  if (a.unicode_words != b.unicode_words || a.split_elisions != b.split_elisions) {
    return "different word rules (words, split_elisions)";
  }
  if (a.ngram_shortest != b.ngram_shortest || a.ngram_longest != b.ngram_longest ||
      a.ngram_breaks != b.ngram_breaks) {
    return "different sequences of words (ngrams, ngram_breaks)";
  }
  return "different stop lists";
}

}  // namespace

CorpusCounts::CorpusCounts(CorpusList list, std::vector<FileFailure> failures,
                           const CountsOrigin& origin)
    : list_(std::move(list)), failures_(std::move(failures)), origin_(origin) {}

const CorpusWord* CorpusCounts::Find(std::string_view word) const {
  if (index_.empty() && !list_.words.empty()) {
    index_.reserve(list_.words.size());
    for (std::size_t i = 0; i < list_.words.size(); ++i) index_.emplace(list_.words[i].word, i);
  }
  const auto found = index_.find(word);
  return found == index_.end() ? nullptr : &list_.words[found->second];
}

std::uint64_t CorpusCounts::CountOf(std::string_view word) const {
  const CorpusWord* found = Find(word);
  return found == nullptr ? 0 : found->count;
}

std::uint64_t CorpusCounts::FilesOf(std::string_view word) const {
  const CorpusWord* found = Find(word);
  return found == nullptr ? 0 : found->files;
}

bool CorpusCounts::Contains(std::string_view word) const { return Find(word) != nullptr; }

std::size_t CorpusCounts::PartitionOf(std::string_view word, std::size_t parts) {
  // FNV-1a: the same on every worker, unlike a hash seeded per process.
  std::uint64_t h = 0xcbf29ce484222325ull;
  for (const char c : word) h = (h ^ static_cast<unsigned char>(c)) * 0x100000001b3ull;
  return static_cast<std::size_t>((h ^ (h >> 32)) % parts);
}

std::vector<CorpusCounts> CorpusCounts::Partitioned(std::size_t parts) const {
  std::vector<CorpusList> lists(parts);
  for (CorpusList& list : lists) list.encoding = list_.encoding;
  for (const CorpusWord& word : list_.words) {
    CorpusList& list = lists[PartitionOf(word.word, parts)];
    list.words.push_back({list.storage.Store(word.word), word.count, word.files});
    list.total += word.count;
    ++list.distinct;
    if (word.count == 1) ++list.once;
  }
  std::vector<CorpusCounts> pieces;
  pieces.reserve(parts);
  for (std::size_t i = 0; i < parts; ++i) {
    pieces.emplace_back(std::move(lists[i]), i == 0 ? failures_ : std::vector<FileFailure>(),
                        origin_.value_or(CountsOrigin()));
    if (!origin_) pieces.back().origin_.reset();
  }
  return pieces;
}

CorpusCounts CorpusCounts::Merged(std::span<const CorpusCounts* const> parts, bool same_file) {
  std::optional<CountsOrigin> origin;
  for (const CorpusCounts* part : parts) {
    if (!part->origin_) continue;
    if (part->origin_->cut) {
      throw std::invalid_argument(
          "cannot merge counts cut by top or min_count, or grouped or filtered (lemma_list, "
          "stem, match, exclude, min_length, max_length): merge the counts first");
    }
    if (!origin) {
      origin = part->origin_;
    } else if (*origin != *part->origin_) {
      throw std::invalid_argument("cannot merge counts made with " +
                                  std::string(Difference(*origin, *part->origin_)));
    }
  }
  // Counts without words (an empty CorpusCounts() among them) take any encoding.
  WordEncoding encoding = WordEncoding::kCp1252;
  for (const CorpusCounts* part : parts) {
    if (!part->list_.words.empty() || part->origin_) {
      encoding = part->list_.encoding;
      break;
    }
  }
  CorpusMerger merger(encoding, false, nullptr);
  std::uint64_t total = 0;
  std::vector<FileFailure> failures;
  for (std::size_t i = 0; i < parts.size(); ++i) {
    const CorpusCounts& part = *parts[i];
    if (part.list_.encoding != encoding && !part.list_.words.empty()) {
      throw std::invalid_argument(
          "cannot merge counts of Windows-1252 words with counts of UTF-8 words");
    }
    for (const CorpusWord& word : part.list_.words) merger.AddWord(i + 1, word.word, word.count);
    total += part.list_.total;
    failures.insert(failures.end(), part.failures_.begin(), part.failures_.end());
  }
  CorpusList list = std::move(merger).Take();
  list.total = total;
  const bool per_file = origin && origin->per_file;
  if (per_file) {
    boost::unordered_flat_map<std::string_view, std::uint64_t, WordHash,
                              std::equal_to<std::string_view>>
        files;
    files.reserve(list.words.size());
    for (const CorpusCounts* part : parts) {
      for (const CorpusWord& word : part->list_.words) {
        std::uint64_t& figure = files[word.word];
        figure = same_file ? std::max(figure, word.files) : figure + word.files;
      }
    }
    for (CorpusWord& word : list.words) word.files = files[word.word];
  }
  CorpusCounts merged;
  merged.list_ = std::move(list);
  merged.failures_ = std::move(failures);
  merged.origin_ = origin;
  return merged;
}

void CorpusCounts::Shape(std::uint64_t min_count, std::optional<std::uint64_t> top,
                         WordOrder order) {
  ShapeList(list_, min_count, top, order);
  if ((min_count > 1 || top) && origin_) origin_->cut = true;
  index_.clear();
}

void CorpusCounts::DropRepeatedFailures() {
  std::vector<FileFailure> kept;
  for (FileFailure& failure : failures_) {
    if (!kept.empty() && kept.back().path == failure.path && kept.back().stage == failure.stage &&
        kept.back().reason == failure.reason) {
      continue;
    }
    kept.push_back(std::move(failure));
  }
  failures_ = std::move(kept);
}

void CorpusCounts::Regroup(const std::function<void(CorpusList&)>& change) {
  change(list_);
  if (origin_) origin_->cut = true;
  index_.clear();
}

std::string CorpusCounts::Serialize() const {
  std::string out(kMagic);
  out.push_back(list_.encoding == WordEncoding::kCp1252 ? 'c' : 'u');
  out.push_back(origin_ ? 'o' : '-');
  if (origin_) {
    PutNumber(static_cast<std::uint64_t>(origin_->encoding), out);
    PutNumber((origin_->fold_case ? kFoldCase : 0u) | (origin_->html ? kHtml : 0) |
                  (origin_->per_file ? kPerFile : 0) | (origin_->cut ? kCut : 0) |
                  (origin_->unicode_words ? kUnicodeWords : 0) |
                  (origin_->split_elisions ? kSplitElisions : 0) |
                  (std::uint64_t{(origin_->ngram_shortest - 1) | (origin_->ngram_longest - 1) << 3 |
                                 origin_->ngram_breaks << 6}
                   << kNgramShift),
              out);
    PutNumber(origin_->stop_words, out);
  }
  PutNumber(list_.total, out);
  PutNumber(list_.distinct, out);
  PutNumber(list_.once, out);
  PutNumber(list_.words.size(), out);
  for (const CorpusWord& word : list_.words) {
    PutNumber(word.count, out);
    if (per_file()) PutNumber(word.files, out);
    PutText(word.word, out);
  }
  PutNumber(failures_.size(), out);
  for (const FileFailure& failure : failures_) {
    PutText(failure.path.native(), out);
    PutNumber(static_cast<std::uint64_t>(failure.stage), out);
    PutNumber(static_cast<std::uint64_t>(failure.error_number), out);
    PutText(failure.reason, out);
  }
  return out;
}

CorpusCounts CorpusCounts::Deserialize(std::string_view bytes) {
  if (!bytes.starts_with(kMagic) || bytes.size() < kMagic.size() + 2) Reader::Fail();
  CorpusCounts counts;
  CorpusList& list = counts.list_;
  const char encoding = bytes[kMagic.size()];
  if (encoding != 'c' && encoding != 'u') Reader::Fail();
  list.encoding = encoding == 'c' ? WordEncoding::kCp1252 : WordEncoding::kUtf8;
  const char made = bytes[kMagic.size() + 1];
  if (made != 'o' && made != '-') Reader::Fail();
  Reader reader(bytes.substr(kMagic.size() + 2));
  if (made == 'o') {
    CountsOrigin& origin = counts.origin_.emplace();
    origin.encoding =
        static_cast<InputEncoding>(reader.Small(static_cast<std::uint64_t>(InputEncoding::kAuto)));
    const std::uint64_t flags = reader.Small(kAllFlags);
    origin.fold_case = (flags & kFoldCase) != 0;
    origin.html = (flags & kHtml) != 0;
    origin.per_file = (flags & kPerFile) != 0;
    origin.cut = (flags & kCut) != 0;
    origin.unicode_words = (flags & kUnicodeWords) != 0;
    origin.split_elisions = (flags & kSplitElisions) != 0;
    const auto ngrams = static_cast<unsigned>(flags >> kNgramShift);
    origin.ngram_shortest = (ngrams & 7) + 1;
    origin.ngram_longest = ((ngrams >> 3) & 7) + 1;
    origin.ngram_breaks = ngrams >> 6;
    origin.stop_words = reader.Number();
  }
  list.total = reader.Number();
  list.distinct = reader.Number();
  list.once = reader.Number();
  const std::uint64_t words = reader.Items();
  for (std::uint64_t i = 0; i < words; ++i) {
    const std::uint64_t count = reader.Number();
    const std::uint64_t in_files = counts.per_file() ? reader.Number() : 0;
    list.words.push_back({list.storage.Store(reader.Text()), count, in_files});
  }
  counts.failures_.resize(reader.Items());
  for (FileFailure& failure : counts.failures_) {
    failure.path = std::string(reader.Text());
    failure.stage =
        static_cast<FailureStage>(reader.Small(static_cast<std::uint64_t>(FailureStage::kMemory)));
    failure.error_number = static_cast<int>(reader.Small(0x7FFFFFFF));
    failure.reason = reader.Text();
  }
  if (!reader.done()) Reader::Fail();
  return counts;
}

}  // namespace lintavel
