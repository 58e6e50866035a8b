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

}  // namespace
}  // namespace lintavel
