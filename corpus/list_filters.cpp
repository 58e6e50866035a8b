#include "corpus/list_filters.h"

#include <algorithm>

#include "engine/utf8.h"

#ifdef LINTAVEL_HAVE_RE2
#include <re2/re2.h>
#endif

namespace lintavel {

namespace {

std::uint64_t Utf8Length(std::string_view word) {
  // Every byte but the continuation bytes (10xxxxxx) begins a code point.
  return static_cast<std::uint64_t>(std::count_if(word.begin(), word.end(), [](char byte) {
    return (static_cast<unsigned char>(byte) & 0xC0) != 0x80;
  }));
}

}  // namespace

#ifdef LINTAVEL_HAVE_RE2
struct ListFilter::Patterns {
  std::vector<std::unique_ptr<RE2>> match;
  std::vector<std::unique_ptr<RE2>> exclude;
};

namespace {

std::vector<std::unique_ptr<RE2>> Compile(const std::vector<std::string>& patterns) {
  RE2::Options options;
  options.set_log_errors(false);
  std::vector<std::unique_ptr<RE2>> compiled;
  for (const std::string& pattern : patterns) {
    auto re = std::make_unique<RE2>(pattern, options);
    if (!re->ok()) {
      throw ListFilterError("invalid regular expression '" + pattern + "': " + re->error());
    }
    compiled.push_back(std::move(re));
  }
  return compiled;
}

}  // namespace
#else
struct ListFilter::Patterns {};
#endif

ListFilter::ListFilter(const ListFilterSettings& settings)
    : min_length_(settings.min_length), max_length_(settings.max_length) {
  if (settings.match.empty() && settings.exclude.empty()) return;
#ifdef LINTAVEL_HAVE_RE2
  patterns_ = std::make_unique<Patterns>();
  patterns_->match = Compile(settings.match);
  patterns_->exclude = Compile(settings.exclude);
#else
  throw ListFilterError("this build has no regular expressions (RE2 is missing)");
#endif
}

ListFilter::~ListFilter() = default;
ListFilter::ListFilter(ListFilter&&) noexcept = default;
ListFilter& ListFilter::operator=(ListFilter&&) noexcept = default;

bool ListFilter::empty() const { return !patterns_ && !min_length_ && !max_length_; }

bool ListFilter::Keeps(std::string_view word, WordEncoding encoding) const {
  if (min_length_ || max_length_) {
    const std::uint64_t length = encoding == WordEncoding::kUtf8 ? Utf8Length(word) : word.size();
    if (min_length_ && length < *min_length_) return false;
    if (max_length_ && length > *max_length_) return false;
  }
#ifdef LINTAVEL_HAVE_RE2
  if (patterns_) {
    std::string utf8;
    if (encoding == WordEncoding::kCp1252) {
      AppendCp1252AsUtf8(word, utf8);
      word = utf8;
    }
    const re2::StringPiece piece(word.data(), word.size());
    for (const auto& re : patterns_->match)
      if (!RE2::PartialMatch(piece, *re)) return false;
    for (const auto& re : patterns_->exclude)
      if (RE2::PartialMatch(piece, *re)) return false;
  }
#endif
  return true;
}

void FilterList(CorpusList& list, const ListFilter& filter) {
  if (filter.empty()) return;
  std::erase_if(list.words,
                [&](const CorpusWord& word) { return !filter.Keeps(word.word, list.encoding); });
}

}  // namespace lintavel
