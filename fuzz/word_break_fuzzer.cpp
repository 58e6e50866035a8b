// Unicode word boundaries on arbitrary bytes: read as UTF-8 (ill-formed parts
// replaced, as the engine's decoder does) the one-pass scanner gives the segments of
// the literal rule-by-rule reference, and the word path (ASCII masks) its words; read as
// Windows-1252 it gives the words of the same characters; the elision split only cuts words, never
// changes their bytes.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "engine/utf8.h"
#include "engine/word_break.h"
#include "support/word_break_reference.h"

namespace {

void Require(bool holds) {
  if (!holds) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using lintavel::reference::Segment;
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);

  lintavel::Utf8Normalizer normalizer;
  std::string text;
  normalizer.Feed(bytes, text);
  normalizer.Finish(text);
  std::vector<Segment> segments;
  lintavel::ForEachUnicodeSegment(text, [&](std::string_view segment, bool is_word) {
    segments.push_back({std::string(segment), is_word});
  });
  Require(segments == lintavel::reference::Segments(text));

  std::vector<std::string> words;
  lintavel::ForEachUnicodeWord(text, {}, [&](std::string_view word) { words.emplace_back(word); });
  Require(words == lintavel::reference::Words(text));

  std::string joined;
  lintavel::ForEachUnicodeWord(text, {.split_elisions = true},
                               [&](std::string_view word) { joined += word; });
  std::string whole;
  for (const Segment& segment : segments) {
    if (segment.is_word) whole += segment.text;
  }
  Require(joined == whole);

  std::vector<std::string> cp1252_words;
  lintavel::ForEachUnicodeWordCp1252(bytes, {}, [&](std::string_view word) {
    std::string utf8;
    lintavel::AppendCp1252AsUtf8(word, utf8);
    cp1252_words.push_back(std::move(utf8));
  });
  std::string as_utf8;
  lintavel::AppendCp1252AsUtf8(bytes, as_utf8);
  Require(cp1252_words == lintavel::reference::Words(as_utf8));
  return 0;
}
