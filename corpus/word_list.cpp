#include "corpus/word_list.h"

#include <algorithm>

#include "corpus/case_folding.h"
#include "engine/cleared_memory.h"
#include "engine/code_page.h"

namespace lintavel {

namespace {

void CountFigures(CorpusList& list) {
  list.distinct = list.words.size();
  list.once = static_cast<std::uint64_t>(std::count_if(
      list.words.begin(), list.words.end(), [](const CorpusWord& w) { return w.count == 1; }));
}

auto WordLess(WordEncoding encoding) {
  return [encoding](std::string_view a, std::string_view b) {
    return encoding == WordEncoding::kCp1252 ? Utf16OrdinalLess(a, b) : Utf8Utf16Less(a, b);
  };
}

}  // namespace

void AppendFolded(std::string_view word, WordEncoding encoding, std::string& out) {
  if (encoding == WordEncoding::kCp1252) {
    AppendFoldedCp1252(word, out);
  } else {
    AppendFoldedUtf8(word, out);
  }
}

CorpusMerger::CorpusMerger(WordEncoding encoding, bool fold_case, const StopWords* stop_words)
    : encoding_(encoding), fold_case_(fold_case), stop_words_(stop_words) {}

void CorpusMerger::AddRun(std::span<const CountedWord> words) {
  ++runs_;
  for (const CountedWord& counted : words) AddWord(runs_, counted.word, counted.count);
}

void CorpusMerger::AddWord(std::uint64_t run, std::string_view word, std::uint64_t count) {
  runs_ = run;
  if (fold_case_) {
    folded_.clear();
    AppendFolded(word, encoding_, folded_);
    word = folded_;
  }
  if (stop_words_ != nullptr && stop_words_->Contains(word)) return;
  auto found = words_.find(word);
  if (found == words_.end()) found = words_.emplace(arena_.Store(word), Figures{}).first;
  Figures& figures = found->second;
  figures.count += count;
  if (figures.last_run != run) {
    figures.last_run = run;
    ++figures.files;
  }
  total_ += count;
}

CorpusList CorpusMerger::Take() && {
  CorpusList list;
  list.encoding = encoding_;
  list.total = total_;
  list.words.reserve(words_.size());
  for (const auto& [word, figures] : words_) {
    list.words.push_back({word, figures.count, figures.files});
  }
  words_.clear();
  list.storage.Absorb(std::move(arena_));
  const auto less = WordLess(encoding_);
  std::sort(list.words.begin(), list.words.end(), [&](const CorpusWord& a, const CorpusWord& b) {
    return a.count != b.count ? a.count < b.count : less(a.word, b.word);
  });
  CountFigures(list);
  return list;
}

CorpusList ListOfRun(ExtractionResult&& result, const StopWords* stop_words) {
  CorpusList list;
  list.encoding = result.encoding;
  list.words.reserve(result.words.size());
  AdviseHugePages(list.words.data(), result.words.size() * sizeof(CorpusWord));
  const bool with_files = result.files.size() == result.words.size();
  for (std::size_t i = 0; i < result.words.size(); ++i) {
    // The list takes the pages of the words already copied, not fresh ones.
    if (i % (std::size_t{1} << 20) == 0) ReleasePages(result.words.data(), result.words.data() + i);
    const CountedWord& counted = result.words[i];
    if (stop_words != nullptr && stop_words->Contains(counted.word)) continue;
    list.words.push_back({counted.word, counted.count, with_files ? result.files[i] : 1});
    list.total += counted.count;
  }
  list.storage.Absorb(std::move(result.storage));
  result.words = {};
  result.files = {};
  CountFigures(list);
  return list;
}

void ShapeList(CorpusList& list, std::uint64_t min_count, std::optional<std::uint64_t> top,
               WordOrder order) {
  auto& words = list.words;
  if (min_count > 1) {
    std::erase_if(words, [min_count](const CorpusWord& w) { return w.count < min_count; });
  }
  const auto less = WordLess(list.encoding);
  const auto count_desc = [&](const CorpusWord& a, const CorpusWord& b) {
    return a.count != b.count ? a.count > b.count : less(a.word, b.word);
  };
  bool in_count_desc = false;
  if (top && *top < words.size()) {
    const auto keep = words.begin() + static_cast<std::ptrdiff_t>(*top);
    std::partial_sort(words.begin(), keep, words.end(), count_desc);
    words.erase(keep, words.end());
    in_count_desc = true;
  }
  switch (order) {
    case WordOrder::kCount:
      // The list comes least frequent first; only a cut for --top changed that.
      if (in_count_desc) {
        std::sort(words.begin(), words.end(), [&](const CorpusWord& a, const CorpusWord& b) {
          return a.count != b.count ? a.count < b.count : less(a.word, b.word);
        });
      }
      break;
    case WordOrder::kCountDesc:
      if (!in_count_desc) std::sort(words.begin(), words.end(), count_desc);
      break;
    case WordOrder::kWord:
      std::sort(words.begin(), words.end(),
                [&](const CorpusWord& a, const CorpusWord& b) { return less(a.word, b.word); });
      break;
  }
}

}  // namespace lintavel
