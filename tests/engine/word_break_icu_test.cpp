// The engine's word boundaries against ICU's word break iterator, on the Debian FAQ
// in seven languages (Chinese and Japanese among them) and on random text. ICU is
// linked into this test only; the program never loads it.
//
// ICU tailors the default rules; these tailorings are ICU's, not ours, and are what
// the comparison allows for:
// - "@" is a letter for ICU (e-mail addresses stay whole) and ":" is no MidLetter
//   ("a:b" is two words): undone here by building ICU's iterator from its own rules
//   with those two lines put back to the default.
// - Runs of Han, kana, Hangul syllables and the scripts written without spaces (Thai,
//   Lao, Khmer, Myanmar: Line_Break=Complex_Context) are cut by ICU with a word
//   dictionary, where the default rules give one segment per character (a katakana
//   run, or Hangul syllables with their letters: one segment); ICU also joins the
//   latter to other letters and digits, and parts Hangul from them. Boundaries between
//   two such characters, or beside a Hangul syllable or a letter of those scripts,
//   are left out of the comparison.
// - ICU calls a run of connectors alone ("__") a word; it holds no letter or number,
//   so the engine does not.
// Every other boundary, and whether each byte lies in a word, must be the same.
#include <gtest/gtest.h>
#include <unicode/brkiter.h>
#include <unicode/rbbi.h>
#include <unicode/ubrk.h>
#include <unicode/uniset.h>
#include <unicode/utext.h>

#include <cstdio>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "engine/utf8.h"
#include "engine/word_break.h"
#include "support/word_break_reference.h"

namespace lintavel {
namespace {

// ICU takes Hangul syllables and the letters written without spaces apart from other
// letters, and the latter as letters (also giving a Hangul syllable with a mark after
// it no word status): boundaries beside them, and whether their segments are words,
// differ either way.
bool Apart(char32_t cp) {
  static const icu::UnicodeSet* const kApart = [] {
    UErrorCode status = U_ZERO_ERROR;
    auto* set = new icu::UnicodeSet(u"[\\uAC00-\\uD7A3[:Line_Break=Complex_Context:]]", status);
    set->freeze();
    return set;
  }();
  return kApart->contains(static_cast<UChar32>(cp)) != 0;
}

// The characters that ICU cuts with a word dictionary.
bool InDictionary(char32_t cp) {
  static const icu::UnicodeSet* const kDictionary = [] {
    UErrorCode status = U_ZERO_ERROR;
    auto* set = new icu::UnicodeSet(
        u"[[:Han:][:Hiragana:][:Katakana:][:Line_Break=Complex_Context:]\u30FC\uFF70\uFF9E\uFF9F"
        u"\uAC00-\uD7A3]",
        status);
    set->freeze();
    return set;
  }();
  return kDictionary->contains(static_cast<UChar32>(cp)) != 0;
}

struct Cut {
  std::vector<std::size_t> boundaries;  // byte offsets, 0 and the end included
  std::vector<bool> in_word;            // per byte
  // Per byte: its segment holds an Apart character, or the text holds one that ICU
  // cuts by dictionary: after a dictionary run ICU's statuses do not follow its own
  // rules ("𘗴" alone is an ideograph for ICU, after a Han run no word; a digit after
  // Han and an unassigned character is no number).
  std::vector<bool> apart;
};

// ICU's word iterator for the root locale, with its "@" and ":" tailorings undone.
icu::RuleBasedBreakIterator& IcuWords() {
  static icu::RuleBasedBreakIterator* const kWords = [] {
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::BreakIterator> root(
        icu::BreakIterator::createWordInstance(icu::Locale::getRoot(), status));
    std::string rules;
    static_cast<icu::RuleBasedBreakIterator&>(*root).getRules().toUTF8String(rules);
    const auto replace = [&](std::string_view from, std::string_view to) {
      const std::size_t at = rules.find(from);
      EXPECT_NE(at, std::string::npos) << "ICU's rules no longer hold " << from;
      if (at != std::string::npos) rules.replace(at, from.size(), to);
    };
    replace("$ALetter=[\\p{Word_Break=ALetter}@];", "$ALetter=[\\p{Word_Break=ALetter}];");
    replace("$MidLetter=[\\p{Word_Break=MidLetter}-[\\:\\uFE55\\uFF1A]];",
            "$MidLetter=[\\p{Word_Break=MidLetter}];");
    UParseError error;
    auto* words =
        new icu::RuleBasedBreakIterator(icu::UnicodeString::fromUTF8(rules), error, status);
    EXPECT_TRUE(U_SUCCESS(status)) << u_errorName(status) << " at line " << error.line;
    return words;
  }();
  return *kWords;
}

Cut IcuCut(const std::string& text) {
  UErrorCode status = U_ZERO_ERROR;
  UText* utext = utext_openUTF8(nullptr, text.data(), static_cast<int64_t>(text.size()), &status);
  icu::RuleBasedBreakIterator& words = IcuWords();
  words.setText(utext, status);
  EXPECT_TRUE(U_SUCCESS(status)) << u_errorName(status);
  Cut cut;
  cut.in_word.assign(text.size(), false);
  cut.boundaries.push_back(0);
  std::vector<std::size_t> offsets;
  const std::u32string cps = reference::DecodeUtf8Plain(text, offsets);
  std::size_t index = 0;
  for (int32_t end = words.next(); end != UBRK_DONE; end = words.next()) {
    bool word = words.getRuleStatus() >= UBRK_WORD_NONE_LIMIT;
    bool connectors_only = true;
    for (; offsets[index] < static_cast<std::size_t>(end); ++index) {
      const WordBreak p = ClassOfCodePoint(cps[index]).property;
      connectors_only =
          connectors_only && (p == WordBreak::kExtendNumLet || p == WordBreak::kExtend ||
                              p == WordBreak::kFormat || p == WordBreak::kZwj);
    }
    word = word && !connectors_only;
    for (std::size_t i = cut.boundaries.back(); i < static_cast<std::size_t>(end); ++i)
      cut.in_word[i] = word;
    cut.boundaries.push_back(static_cast<std::size_t>(end));
  }
  utext_close(utext);
  if (text.empty()) cut.boundaries.clear();
  return cut;
}

Cut EngineCut(const std::string& text) {
  Cut cut;
  cut.in_word.assign(text.size(), false);
  std::size_t at = 0;
  cut.apart.assign(text.size(), false);
  std::vector<bool> apart;       // per segment
  std::vector<bool> dictionary;  // per segment
  ForEachUnicodeSegment(text, [&](std::string_view segment, bool is_word) {
    cut.boundaries.push_back(at);
    std::vector<std::size_t> offsets;
    apart.push_back(false);
    dictionary.push_back(false);
    for (const char32_t cp : reference::DecodeUtf8Plain(segment, offsets)) {
      apart.back() = apart.back() || Apart(cp);
      dictionary.back() = dictionary.back() || InDictionary(cp);
    }
    for (std::size_t i = 0; i < segment.size(); ++i) cut.in_word[at + i] = is_word;
    at += segment.size();
  });
  if (!text.empty()) cut.boundaries.push_back(text.size());
  bool any_dictionary = false;
  for (const bool d : dictionary) any_dictionary = any_dictionary || d;
  for (std::size_t k = 0; k < apart.size(); ++k) {
    const bool skip = apart[k] || any_dictionary;
    for (std::size_t i = cut.boundaries[k]; i < cut.boundaries[k + 1]; ++i) cut.apart[i] = skip;
  }
  return cut;
}

// Drops the boundaries that lie inside a run that ICU cuts with its dictionary.
std::vector<std::size_t> OutsideDictionaryRuns(const std::string& text,
                                               const std::vector<std::size_t>& boundaries) {
  std::vector<std::size_t> offsets;
  const std::u32string cps = reference::DecodeUtf8Plain(text, offsets);
  // Per byte offset of a character: whether the character, or the one its marks follow,
  // is in the dictionary, or apart.
  std::vector<bool> dictionary(text.size() + 1, false);
  std::vector<bool> apart(text.size() + 1, false);
  char32_t last_base = 0;
  for (std::size_t i = 0; i < cps.size(); ++i) {
    const WordBreak p = ClassOfCodePoint(cps[i]).property;
    const bool mark = p == WordBreak::kExtend || p == WordBreak::kFormat || p == WordBreak::kZwj;
    if (!mark) last_base = cps[i];
    dictionary[offsets[i]] = InDictionary(last_base);
    apart[offsets[i]] = Apart(last_base);
  }
  std::vector<std::size_t> kept;
  std::size_t index = 0;
  for (const std::size_t b : boundaries) {
    while (offsets[index] < b) ++index;
    const bool inside = index > 0 && index < cps.size() &&
                        ((dictionary[offsets[index - 1]] && InDictionary(cps[index])) ||
                         apart[offsets[index - 1]] || Apart(cps[index]));
    if (!inside) kept.push_back(b);
  }
  return kept;
}

// The first difference between ICU and the engine on `text`, or "" when they agree.
std::string Difference(const std::string& text) {
  const Cut icu = IcuCut(text);
  const Cut engine = EngineCut(text);
  const auto around = [&](std::size_t at) {
    const std::size_t from = at > 24 ? at - 24 : 0;
    return "at byte " + std::to_string(at) + ": [" + text.substr(from, 48) + "]";
  };
  const std::vector<std::size_t> a = OutsideDictionaryRuns(text, icu.boundaries);
  const std::vector<std::size_t> b = OutsideDictionaryRuns(text, engine.boundaries);
  for (std::size_t i = 0; i < a.size() || i < b.size(); ++i) {
    if (i >= a.size() || i >= b.size() || a[i] != b[i]) {
      const std::size_t at =
          std::min(i < a.size() ? a[i] : text.size(), i < b.size() ? b[i] : text.size());
      const auto near = [&](const std::vector<std::size_t>& cuts) {
        std::string listed;
        for (const std::size_t c : cuts)
          if (c + 16 >= at && c <= at + 16) listed += " " + std::to_string(c);
        return listed;
      };
      return "boundaries differ " + around(at) + "; ICU:" + near(a) + "; engine:" + near(b);
    }
  }
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (icu.in_word[i] != engine.in_word[i] && !engine.apart[i])
      return std::string(icu.in_word[i] ? "only ICU" : "only the engine") + " has a word " +
             around(i);
  }
  return "";
}

std::string Gunzip(const std::string& path) {
  std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(("gzip -dc " + path).c_str(), "r"), pclose);
  std::string text;
  char buffer[65536];
  while (const std::size_t got = std::fread(buffer, 1, sizeof buffer, pipe.get()))
    text.append(buffer, got);
  return text;
}

TEST(UnicodeWordBreakIcu, AgreesWithIcuOnTheDebianFaqInSevenLanguages) {
  for (const char* language : {"en", "de", "fr", "it", "ru", "ja", "zh-cn"}) {
    const std::string path =
        std::string("/usr/share/doc/debian/FAQ/debian-faq.") + language + ".txt.gz";
    const std::string text = Gunzip(path);
    ASSERT_GT(text.size(), 50'000u) << path << ": install the debian-faq packages";
    // Line by line, so that a difference names its line.
    std::size_t start = 0;
    int line = 1;
    for (std::size_t end; start < text.size(); start = end + 1, ++line) {
      end = text.find('\n', start);
      if (end == std::string::npos) end = text.size();
      const std::string piece = text.substr(start, end - start + 1);
      const std::string difference = Difference(piece);
      ASSERT_EQ(difference, "") << path << " line " << line;
    }
  }
}

TEST(UnicodeWordBreakIcu, AgreesWithIcuOnRandomText) {
  // Without Hangul and the letters written without spaces: ICU's parting of those
  // from other letters moves boundaries a character or two away too ("é:뽕" is one
  // word by the default rules; ICU cuts it in three).
  std::mt19937 random(2629);
  for (int round = 0; round < 20000; ++round) {
    std::vector<std::size_t> offsets;
    std::string text;
    for (const char32_t cp : reference::DecodeUtf8Plain(
             reference::RandomWordBreakText(random, 1 + round % 32), offsets)) {
      if (!Apart(cp)) AppendUtf8(cp, text);
    }
    ASSERT_EQ(Difference(text), "") << "round " << round;
  }
}

}  // namespace
}  // namespace lintavel
