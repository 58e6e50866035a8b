#include "corpus/lemma_list.h"

#include "corpus/word_groups.h"
#include "engine/text_rules.h"
#include "engine/word_break.h"

namespace lintavel {

namespace {

std::string_view Trim(std::string_view text) {
  const std::size_t first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

}  // namespace

std::vector<std::string> WordsOfEntry(std::string_view entry, const SideFileWords& rules) {
  std::vector<std::string> words;
  if (rules.unicode_words) {
    const UnicodeWordOptions options{.split_elisions = rules.split_elisions};
    const auto add = [&](std::string_view word) { words.emplace_back(word); };
    if (rules.encoding == WordEncoding::kCp1252) {
      ForEachUnicodeWordCp1252(entry, options, add);
    } else {
      ForEachUnicodeWord(entry, options, add);
    }
  } else {
    std::string word;
    for (const char byte : entry) {
      if (ClassOf(byte) == ByteClass::kSeparator) {
        if (!word.empty()) words.push_back(std::move(word));
        word.clear();
      } else if (ClassOf(byte) == ByteClass::kWord) {
        word.push_back(byte);
      }
    }
    if (!word.empty()) words.push_back(std::move(word));
  }
  if (rules.fold_case) {
    for (std::string& word : words) {
      std::string folded;
      AppendFolded(word, rules.encoding, folded);
      word = std::move(folded);
    }
  }
  return words;
}

LemmaList LemmaList::Parse(std::string_view bytes, const std::string& file_name,
                           const SideFileWords& rules) {
  LemmaList list;
  std::string text;
  if (rules.encoding == WordEncoding::kUtf8) {
    Utf8Normalizer normalizer;
    normalizer.Feed(bytes, text);
    normalizer.Finish(text);
    list.ill_formed_ = normalizer.replaced();
    bytes = text;
  }
  std::uint64_t number = 0;
  while (!bytes.empty()) {
    ++number;
    const std::size_t end = bytes.find('\n');
    std::string_view line = bytes.substr(0, end);
    bytes = end == std::string_view::npos ? std::string_view() : bytes.substr(end + 1);
    if (line.ends_with('\r')) line.remove_suffix(1);
    line = Trim(line.substr(0, line.find('#')));
    if (line.empty()) continue;

    const auto fail = [&](const std::string& reason) {
      throw LemmaListError(file_name, number, reason);
    };
    std::size_t split = line.find("->");
    std::size_t after = split + 2;
    if (split == std::string_view::npos) {
      split = line.find('\t');
      after = split + 1;
      if (split == std::string_view::npos) fail("no \"->\" or tab between the lemma and its forms");
    }
    const auto one_word = [&](std::string_view entry) {
      std::vector<std::string> words = WordsOfEntry(entry, rules);
      if (words.size() != 1) {
        fail("'" + std::string(entry) + "' is " + (words.empty() ? "no word" : "not one word"));
      }
      return std::move(words.front());
    };
    const std::string_view lemma_entry = Trim(line.substr(0, split));
    if (lemma_entry.empty()) fail("no lemma before its forms");
    const std::string_view lemma = list.arena_.Store(one_word(lemma_entry));
    std::string_view forms = line.substr(after);
    if (forms.find("->") != std::string_view::npos) fail("more than one \"->\"");
    bool any = false;
    while (true) {
      const std::size_t start = forms.find_first_not_of(", \t");
      if (start == std::string_view::npos) break;
      forms.remove_prefix(start);
      const std::size_t stop = std::min(forms.find_first_of(", \t"), forms.size());
      const std::string form = one_word(forms.substr(0, stop));
      forms.remove_prefix(stop);
      any = true;
      const auto found = list.lemma_of_.find(std::string_view(form));
      if (found == list.lemma_of_.end()) {
        list.lemma_of_.emplace(list.arena_.Store(form), Entry{lemma, number});
      } else if (found->second.lemma != lemma) {
        fail("'" + form + "' is a form of '" + std::string(found->second.lemma) + "' (line " +
             std::to_string(found->second.line) + ") and of '" + std::string(lemma) + "' (line " +
             std::to_string(number) + ")");
      }
    }
    if (!any) fail("no forms after the lemma '" + std::string(lemma) + "'");
  }
  return list;
}

void ApplyLemmas(CorpusList& list, const LemmaList& lemmas) {
  GroupWords(
      list,
      [&](std::string_view word, std::string&) { return lemmas.LemmaOf(word).value_or(word); },
      GroupLabel::kKey);
}

}  // namespace lintavel
