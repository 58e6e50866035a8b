#include "engine/html_text.h"

#include <gtest/gtest.h>

#include <string>

namespace lintavel {
namespace {

std::string FilterInPieces(std::string_view html, std::size_t split, std::size_t piece,
                           HtmlTextFilter& filter) {
  std::string out;
  filter.Feed(html.substr(0, split), out);
  for (std::size_t at = split; at < html.size(); at += piece) {
    filter.Feed(html.substr(at, piece), out);
  }
  filter.Finish(out);
  return out;
}

// Every construct split at every place between two chunks, and fed a byte at a
// time, gives the text of the whole fed at once.
TEST(HtmlTextFilter, ChunkBoundariesChangeNothing) {
  struct Case {
    std::string_view html;
    std::string_view text;
    std::string_view unclosed;
  };
  const Case cases[] = {
      {"a<p class=\"x>y\">b</p>c", "a b c", ""},
      {"in<b>si</b>de<br/>x", "inside x", ""},
      {"x<!-- a -- b --->y<!DOCTYPE html>z", "xyz", ""},
      {"<script>a</scriptx></SCRIPT >b", "  b", ""},
      {"&eacute;&#233;&#xe9;&amp&ampx&#;&lt", "\xC3\xA9\xC3\xA9\xC3\xA9&&x&#;<", ""},
      {"a<3<", "a<3<", ""},
      {"a\n\n<style>b", "a\n\n ", "style"},
      {"a<p title='b", "a", "tag"},
      // Inline names are told apart whole: longer or other names end a word.
      {"<ACRONYM>ab</acronym>c<acronymx>d<strongest>e<Span>f</SPAN>g", "abc d efg", ""},
      {std::string_view("<b\0>x<b>y", 9), " xy", ""},
  };
  for (const Case& c : cases) {
    for (std::size_t split = 0; split <= c.html.size(); ++split) {
      for (const std::size_t piece : {std::size_t{1}, c.html.size() + 1}) {
        HtmlTextFilter filter(WordEncoding::kUtf8);
        EXPECT_EQ(FilterInPieces(c.html, split, piece, filter), c.text)
            << c.html << " split at " << split << " in pieces of " << piece;
        EXPECT_EQ(filter.unclosed(), c.unclosed) << c.html;
      }
    }
  }
}

TEST(HtmlTextFilter, TellsTheLineWhereTheUnclosedPartBegan) {
  HtmlTextFilter filter(WordEncoding::kCp1252);
  std::string out;
  filter.Feed("<p>one\r\ntwo\n", out);
  filter.Feed("three <!-- four\nfive", out);
  filter.Finish(out);
  EXPECT_EQ(out, " one\r\ntwo\nthree ");
  EXPECT_EQ(filter.unclosed(), "comment");
  EXPECT_EQ(filter.unclosed_line(), 3u);

  // Only the construct left open counts, not those opened and closed before it.
  HtmlTextFilter later(WordEncoding::kUtf8);
  out.clear();
  later.Feed("<p>a\n<b>b</b>\n", out);
  later.Feed("<i>c\n\n<p", out);
  later.Feed("\nclass=x", out);
  later.Finish(out);
  EXPECT_EQ(later.unclosed(), "tag");
  EXPECT_EQ(later.unclosed_line(), 5u);

  // Line feeds are counted 16 bytes at a time in counters of a byte: far more lines
  // than a byte holds, in one run of text.
  HtmlTextFilter many(WordEncoding::kCp1252);
  std::string lines;
  for (int i = 0; i < 10'000; ++i) lines += "w\n";
  many.Feed(lines + "<!--", out);
  many.Finish(out);
  EXPECT_EQ(many.unclosed_line(), 10'001u);
}

// References that are not whole are kept as written; numbers are read as HTML reads
// them; "<!-->" is a whole comment; a lone CR ends a line for the unclosed part's
// line as LF and CR LF do. Each fed whole and cut at every place.
TEST(HtmlTextFilter, ReadsReferencesCommentsAndLineEndsAsHtmlDoes) {
  struct Case {
    std::string_view html;
    std::string_view text;
    std::string_view unclosed;
    std::uint64_t line;
  };
  const std::string zeros(50, '0');
  const std::string long_number = "&#" + zeros + "65;&#x" + zeros + "41g";
  const Case cases[] = {
      {"a&#X;b", "a&#X;b", "", 0},
      {"&#;&#x;&#xZZ;&#", "&#;&#x;&#xZZ;&#", "", 0},
      {"&#X41;&#65x&#97;", "AAxa", "", 0},
      {long_number, "AAg", "", 0},
      {"&#99999999999999999999;&#x110000;", "\xEF\xBF\xBD\xEF\xBF\xBD", "", 0},
      {"a <!--> b <!-- c --> d", "a  b  d", "", 0},
      {"a<!--->b<!-->c", "abc", "", 0},
      {"a<!-- ->b", "a", "comment", 1},
      {"line1\rline2\r<!-- open\rline4\r", "line1\rline2\r", "comment", 3},
      {"line1\nline2\n<!-- open\nline4\n", "line1\nline2\n", "comment", 3},
      {"line1\r\nline2\r\n<!-- open\r\nline4\r\n", "line1\r\nline2\r\n", "comment", 3},
      {"a\r\n\r\r\n\n<p", "a\r\n\r\r\n\n", "tag", 5},
  };
  for (const Case& c : cases) {
    for (std::size_t split = 0; split <= c.html.size(); ++split) {
      for (const std::size_t piece : {std::size_t{1}, c.html.size() + 1}) {
        HtmlTextFilter filter(WordEncoding::kUtf8);
        EXPECT_EQ(FilterInPieces(c.html, split, piece, filter), c.text)
            << ::testing::PrintToString(c.html) << " split at " << split << " in pieces of "
            << piece;
        EXPECT_EQ(filter.unclosed(), c.unclosed) << c.html;
        if (!c.unclosed.empty()) {
          EXPECT_EQ(filter.unclosed_line(), c.line)
              << ::testing::PrintToString(c.html) << " split at " << split;
        }
      }
    }
  }
}

}  // namespace
}  // namespace lintavel
