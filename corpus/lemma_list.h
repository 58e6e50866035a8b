#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include <boost/unordered/unordered_flat_map.hpp>

#include "corpus/word_list.h"
#include "engine/utf8.h"
#include "engine/word_arena.h"
#include "engine/word_hash.h"

namespace lintavel {

// How the entries of a side file (a lemma list) become words: by the same rules and
// case option as the text, so that its entries meet the text's words.
struct SideFileWords {
  WordEncoding encoding = WordEncoding::kUtf8;  // of the file's bytes, as of the text's words
  bool fold_case = false;
  bool unicode_words = false;   // the Unicode word boundaries, else the default rule
  bool split_elisions = false;  // with unicode_words
};

// The words that `entry` gives by `rules` (cut, cleaned, folded), in order.
std::vector<std::string> WordsOfEntry(std::string_view entry, const SideFileWords& rules);

// A lemma list that cannot be used: the file and line, and what is wrong with it.
class LemmaListError : public std::runtime_error {
 public:
  LemmaListError(const std::string& file, std::uint64_t line, const std::string& reason)
      : std::runtime_error(file + ":" + std::to_string(line) + ": " + reason), line_(line) {}
  std::uint64_t line() const { return line_; }

 private:
  std::uint64_t line_;
};

// Which lemma each form belongs to.
//
// The file has one lemma a line with its forms: `lemma -> form1, form2, ...`.
// - The lemma and its forms are parted by "->", with or without blanks or tabs
//   around it, or, in a line without "->", by the first tab (`lemma<TAB>form1,form2`).
// - Forms are parted by commas, tabs or blanks, any number of them.
// - "#" begins a comment, to the end of the line; blank lines and lines of only a
//   comment are skipped. Lines may end in LF or CR LF; a UTF-8 byte-order mark at the
//   start is skipped.
// - Each lemma and form must be one word by the text's rules (SideFileWords): "Don't"
//   is the form "dont" under the default rule, and "l’eau" is two words when
//   elisions are split, so it cannot be a form then.
// - A lemma may have several lines; a form listed twice under one lemma is one form.
//   A form listed under two lemmas is an error naming both lines.
// - Every word of the text that is a form is counted under its lemma; the lemma
//   itself and every other word stay as they are.
// - UTF-8 with ill-formed parts is read with each part as U+FFFD, and ill_formed()
//   tells how many, for the caller to report as it does for input files.
class LemmaList {
 public:
  // Reads the list from the bytes of the file named `file_name` (for messages).
  // Throws LemmaListError on a malformed line or a form under two lemmas.
  static LemmaList Parse(std::string_view bytes, const std::string& file_name,
                         const SideFileWords& rules);

  // The lemma of the word `word` (cut, cleaned and folded as the list was), if it is
  // a listed form. Safe to call from several threads at once.
  std::optional<std::string_view> LemmaOf(std::string_view word) const {
    const auto found = lemma_of_.find(word);
    if (found == lemma_of_.end()) return std::nullopt;
    return found->second.lemma;
  }

  std::size_t forms() const { return lemma_of_.size(); }
  std::uint64_t ill_formed() const { return ill_formed_; }

 private:
  struct Entry {
    std::string_view lemma;
    std::uint64_t line = 0;
  };
  WordArena arena_;
  boost::unordered_flat_map<std::string_view, Entry, WordHash, std::equal_to<std::string_view>>
      lemma_of_;
  std::uint64_t ill_formed_ = 0;
};

// Counts every form of `list` under its lemma, which is listed; the total stays.
void ApplyLemmas(CorpusList& list, const LemmaList& lemmas);

}  // namespace lintavel
