// The concordance against a literal scan of the same text.
#include "corpus/concordance.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "corpus/case_folding.h"
#include "engine/code_page.h"
#include "engine/utf8.h"
#include "engine/word_break.h"
#include "support/temp_dir.h"

namespace lintavel {
namespace {

using testing::TempDir;

// What the literal scan finds at one occurrence; contexts in UTF-16.
struct Expected {
  std::size_t file = 0;
  std::uint64_t line = 0;
  std::u16string left, word, right;
  bool operator==(const Expected&) const = default;
};

std::u16string Utf16Of(std::string_view utf8) {
  std::u16string out;
  for (std::size_t i = 0; i < utf8.size();) {
    const auto lead = static_cast<unsigned char>(utf8[i]);
    const int length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : 3;  // the tests' text is in the BMP
    char32_t cp = length == 1 ? lead : length == 2 ? lead & 0x1F : lead & 0x0F;
    for (int k = 1; k < length; ++k)
      cp = (cp << 6) | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
    out.push_back(static_cast<char16_t>(cp));
    i += static_cast<std::size_t>(length);
  }
  return out;
}

std::string Utf8Of(std::u16string_view text) {
  std::string out;
  for (char16_t c : text) AppendUtf8(c, out);
  return out;
}

// The file's bytes for `text` (BMP only) in `encoding`.
std::string Encode(std::u16string_view text, InputEncoding encoding) {
  switch (encoding) {
    case InputEncoding::kCp1252:
      return EncodeCp1252(text);
    case InputEncoding::kUtf16: {
      std::string bytes = "\xFF\xFE";
      for (char16_t c : text) {
        bytes.push_back(static_cast<char>(c & 0xFF));
        bytes.push_back(static_cast<char>(c >> 8));
      }
      return bytes;
    }
    default:
      return Utf8Of(text);
  }
}

bool IsSeparator(char16_t c) { return c == u' ' || c == u'\r' || c == u'\n'; }
bool IsRemoved(char16_t c) {
  return c == u'\t' ||
         (c < 0x80 && std::u16string_view(u"~`!@#$%^&*()_+-={}|[]\\;':\"<>?,./").find(c) !=
                          std::u16string_view::npos);
}
char16_t Shown(char16_t c) { return c == u'\t' || c == u'\r' || c == u'\n' ? u' ' : c; }

// The occurrence of text[i, end) with its line and context.
Expected HitAt(std::u16string_view text, std::size_t i, std::size_t end, std::size_t width,
               std::size_t file, std::uint64_t line) {
  Expected hit{file, line, {}, {}, {}};
  const std::size_t from = i > width ? i - width : 0;
  for (std::size_t k = from; k < i; ++k) hit.left.push_back(Shown(text[k]));
  for (std::size_t k = i; k < end; ++k) hit.word.push_back(Shown(text[k]));
  for (std::size_t k = end; k < std::min(text.size(), end + width); ++k)
    hit.right.push_back(Shown(text[k]));
  return hit;
}

// Every occurrence of `word` among the words the Unicode rule cuts from the whole
// text at once; `word` must itself be one such word.
void UnicodeScan(std::u16string_view text, std::u16string_view word, bool fold, bool split,
                 std::size_t width, std::size_t file, std::vector<Expected>& found) {
  const UnicodeWordOptions cut{split};
  const auto folded = [fold](std::u16string_view token) {
    std::u16string out;
    for (char16_t c : token) out.push_back(fold ? static_cast<char16_t>(FoldCase(c)) : c);
    return out;
  };
  std::vector<std::string> listed;
  ForEachUnicodeWord(Utf8Of(word), cut, [&](std::string_view w) { listed.emplace_back(w); });
  if (listed.size() != 1) return;
  const std::u16string wanted = folded(Utf16Of(listed[0]));
  const std::string utf8 = Utf8Of(text);
  ForEachUnicodeWord(utf8, cut, [&](std::string_view w) {
    const std::u16string token = Utf16Of(w);
    if (folded(token) != wanted) return;
    const std::size_t i = Utf16Of(std::string_view(utf8).substr(0, w.data() - utf8.data())).size();
    std::uint64_t line = 1;
    for (std::size_t k = 0; k < i; ++k) {
      if (text[k] == u'\n' || (text[k] == u'\r' && text[k + 1] != u'\n')) ++line;
    }
    found.push_back(HitAt(text, i, i + token.size(), width, file, line));
  });
}

// Every occurrence of `word` in `text`, found by cutting the whole text at each
// separator and cleaning every token, character by character.
void LiteralScan(std::u16string_view text, std::u16string_view word, bool fold, std::size_t width,
                 std::size_t file, std::vector<Expected>& found) {
  const auto clean = [fold](std::u16string_view token) {
    std::u16string listed;
    for (char16_t c : token) {
      if (!IsRemoved(c)) listed.push_back(fold ? static_cast<char16_t>(FoldCase(c)) : c);
    }
    return listed;
  };
  const std::u16string wanted = clean(word);
  std::uint64_t line = 1;
  for (std::size_t i = 0; i < text.size();) {
    if (IsSeparator(text[i])) {
      if (text[i] == u'\n' || (text[i] == u'\r' && (i + 1 == text.size() || text[i + 1] != u'\n')))
        ++line;
      ++i;
      continue;
    }
    std::size_t end = i;
    while (end < text.size() && !IsSeparator(text[end])) ++end;
    const std::u16string_view token = text.substr(i, end - i);
    if (!wanted.empty() && clean(token) == wanted)
      found.push_back(HitAt(text, i, end, width, file, line));
    i = end;
  }
}

// Random text from few pieces, so that words recur with punctuation, tabs, case and
// every line end around them; `wide` adds characters Windows-1252 lacks.
std::u16string RandomText(std::mt19937& random, bool wide, bool html) {
  std::vector<std::u16string> pieces = {u"ab",     u"a",    u"Ab",      u"AB",    u"b", u"\u00e9",
                                        u"\u00c9", u"'",    u"-",       u".",     u" ", u"  ",
                                        u"\t",     u"\r\n", u"\n",      u"\r",    u" ", u" ",
                                        u"\u0160", u"k",    u"l\u2019", u"\u2019"};
  if (wide) {
    pieces.push_back(u"\u0436");
    pieces.push_back(u"\u0416");
    pieces.push_back(u"\u212a");  // the Kelvin sign, which folds to ASCII "k"
  }
  if (html) {
    pieces.push_back(u"<b>");
    pieces.push_back(u"<br>");
  }
  std::uniform_int_distribution<std::size_t> pick(0, pieces.size() - 1);
  std::u16string text;
  for (int i = 0; i < 400; ++i) text += pieces[pick(random)];
  return text;
}

// The text the HTML filter leaves of RandomText's tags: inline ones join, others part.
std::u16string WithoutTags(std::u16string text) {
  for (const auto& [tag, by] :
       {std::pair<std::u16string, std::u16string>{u"<br>", u" "}, {u"<b>", u""}}) {
    for (std::size_t at; (at = text.find(tag)) != text.npos;) text.replace(at, tag.size(), by);
  }
  return text;
}

std::vector<Expected> Found(std::span<const std::filesystem::path> files, std::string_view word,
                            const ConcordanceOptions& options) {
  std::vector<Expected> found;
  FindConcordance(files, word, options, [&](const ConcordanceLine& line) {
    found.push_back(
        {line.file_index, line.line, Utf16Of(line.left), Utf16Of(line.word), Utf16Of(line.right)});
    return true;
  });
  return found;
}

TEST(Concordance, FindsWhatALiteralScanFinds) {
  const struct {
    InputEncoding encoding;
    bool wide;
  } kEncodings[] = {{InputEncoding::kCp1252, false},
                    {InputEncoding::kUtf8, true},
                    {InputEncoding::kUtf16, true},
                    {InputEncoding::kAuto, true}};
  const std::u16string kWords[] = {u"ab",  u"a",      u"Ab", u"\u00e9a",   u"\u0160b",
                                   u"a'b", u"\u0436", u"ka", u"l\u2019ab", u"l\u2019"};
  std::mt19937 random(20261208);
  TempDir dir;
  for (const auto& [encoding, wide] : kEncodings) {
    for (const bool html : {false, true}) {
      std::vector<std::filesystem::path> files;
      std::vector<std::u16string> texts;
      for (int f = 0; f < 3; ++f) {
        texts.push_back(RandomText(random, wide, html));
        files.push_back(
            dir.Write("f" + std::to_string(files.size()) + ".txt", Encode(texts.back(), encoding)));
      }
      for (const bool fold : {false, true}) {
        for (const std::size_t width : {std::size_t{0}, std::size_t{7}}) {
          for (const std::u16string& word : kWords) {
            if (!wide && word == u"\u0436") continue;
            // The default rule, the Unicode rule, and that with elisions split.
            for (const int rule : {0, 1, 2}) {
              std::vector<Expected> expected;
              for (std::size_t f = 0; f < files.size(); ++f) {
                const std::u16string text = html ? WithoutTags(texts[f]) : texts[f];
                if (rule == 0) {
                  LiteralScan(text, word, fold, width, f, expected);
                } else {
                  UnicodeScan(text, word, fold, rule == 2, width, f, expected);
                }
              }
              ConcordanceOptions options;
              options.encoding = encoding;
              options.html = html;
              options.fold_case = fold;
              options.width = width;
              options.threads = 2;
              options.words = rule == 0 ? WordRule::kDefault : WordRule::kUnicode;
              options.split_elisions = rule == 2;
              // Whole files, and files cut in stretches shorter than their words.
              for (const std::uint64_t stretch :
                   {std::uint64_t{1} << 20, std::uint64_t{1}, std::uint64_t{29}}) {
                options.stretch_bytes = stretch;
                const std::vector<Expected> found = Found(files, Utf8Of(word), options);
                EXPECT_EQ(found.size(), expected.size());
                EXPECT_TRUE(found == expected)
                    << "encoding " << static_cast<int>(encoding) << " html " << html << " fold "
                    << fold << " width " << width << " word " << Utf8Of(word) << " rule " << rule
                    << " stretch " << stretch;
              }
            }
          }
        }
      }
    }
  }
}

TEST(Concordance, TheUnicodeRuleFindsWordsLongerThanAStretchAndItsContext) {
  TempDir dir;
  std::string word;
  for (int i = 0; i < 400; ++i) word += "\u0436";  // one word of 800 bytes
  const std::filesystem::path files[] = {dir.Write("a.txt", "ab " + word + " ab\n")};
  ConcordanceOptions options;
  options.encoding = InputEncoding::kUtf8;
  options.words = WordRule::kUnicode;
  options.width = 2;
  options.stretch_bytes = 64;
  const std::vector<Expected> found = Found(files, word, options);
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(found[0].word, Utf16Of(word));
  EXPECT_EQ(found[0].left, u"b ");
}

TEST(Concordance, AVanishedFileIsReportedAndTheOthersAreSearched) {
  TempDir dir;
  const std::vector<std::filesystem::path> files = {
      dir.Write("a.txt", "x word y\n"), dir.path() / "gone.txt", dir.Write("b.txt", "word\n")};
  std::vector<FileFailure> failures;
  ConcordanceOptions options;
  options.on_failure = [&](const FileFailure& failure) { failures.push_back(failure); };
  std::vector<std::size_t> from;
  EXPECT_TRUE(FindConcordance(files, "word", options, [&](const ConcordanceLine& line) {
    from.push_back(line.file_index);
    return true;
  }));
  EXPECT_EQ(from, (std::vector<std::size_t>{0, 2}));
  ASSERT_EQ(failures.size(), 1u);
  EXPECT_EQ(failures[0].path, files[1]);
  EXPECT_EQ(failures[0].stage, FailureStage::kOpen);
}

TEST(Concordance, StopsWhenTheReceiverSaysSoAndWhenCancelled) {
  TempDir dir;
  const std::vector<std::filesystem::path> files(20, dir.Write("a.txt", "w w w\n"));
  ConcordanceOptions options;
  options.threads = 2;
  int seen = 0;
  EXPECT_FALSE(
      FindConcordance(files, "w", options, [&](const ConcordanceLine&) { return ++seen < 4; }));
  EXPECT_EQ(seen, 4);
  std::atomic<bool> cancel = true;
  options.cancel = &cancel;
  seen = 0;
  EXPECT_FALSE(FindConcordance(files, "w", options, [&](const ConcordanceLine&) {
    ++seen;
    return true;
  }));
  EXPECT_EQ(seen, 0);
}

TEST(Concordance, SortsByTheWordAfterOrBeforeThenTextOrder) {
  TempDir dir;
  const std::vector<std::filesystem::path> files = {dir.Write("a.txt", "c w b\nb w a\na w b\n"),
                                                    dir.Write("b.txt", "a w a\n")};
  std::vector<ConcordanceLine> lines;
  FindConcordance(files, "w", {}, [&](const ConcordanceLine& line) {
    lines.push_back(line);
    return true;
  });
  const auto order = [&] {
    std::string shown;
    for (const auto& line : lines)
      shown += std::to_string(line.file_index) + ":" + std::to_string(line.line) + " ";
    return shown;
  };
  SortConcordance(lines, KwicSort::kRight);
  EXPECT_EQ(order(), "0:2 1:1 0:1 0:3 ");
  SortConcordance(lines, KwicSort::kLeft);
  EXPECT_EQ(order(), "0:3 1:1 0:2 0:1 ");
  SortConcordance(lines, KwicSort::kText);
  EXPECT_EQ(order(), "0:1 0:2 0:3 1:1 ");
}

}  // namespace
}  // namespace lintavel
