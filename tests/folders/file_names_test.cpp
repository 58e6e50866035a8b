#include "folders/file_names.h"

#include <gtest/gtest.h>

#include <string>

namespace lintavel::folders {
namespace {

TEST(DecodeName, GivesOneReplacementPerByteOfABadSequence) {
  struct Case {
    const char* bytes;
    std::u16string text;
    bool carriable;
  };
  const Case cases[] = {
      {"plain.txt", u"plain.txt", true},
      {"caf\xc3\xa9", u"caf\u00e9", true},
      {"\xe2\x82\xac", u"\u20ac", true},
      {"\xf0\x90\x90\x80", u"\U00010400", true},  // beyond the basic plane: two units
      {"\xef\xbf\xbe", u"\ufffe", true},
      {"a\xef\xbb\xbf", u"a\ufeff", true},
      {"\xef\xbb\xbf"
       "a",
       u"a", false},  // a leading byte-order mark is dropped
      {"\xff.txt", u"\ufffd.txt", false},
      {"\xc0\x80", u"\ufffd\ufffd", false},                      // overlong
      {"\xed\xa0\x80", u"\ufffd\ufffd\ufffd", false},            // a surrogate
      {"\xf4\x90\x80\x80", u"\ufffd\ufffd\ufffd\ufffd", false},  // beyond U+10FFFF
      {"\xe4\xb8x", u"\ufffd\ufffdx", false},                    // cut short
      {"\xe4\xb8", u"\ufffd\ufffd", false},
      {"", u"", true},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(DecodeName(c.bytes), c.text) << c.bytes;
    EXPECT_EQ(Utf16Length(c.bytes), c.text.size()) << c.bytes;
    EXPECT_EQ(IsCarriableName(c.bytes), c.carriable) << c.bytes;
  }
}

TEST(MatchesWildcard, FollowsTheWildcardRules) {
  struct Case {
    const char* name;
    const char* pattern;
    bool matches;
  };
  const Case cases[] = {
      {"a.txt", "*.txt", true},
      {"A.TXT", "*.txt", true},
      {"a.txt.bak", "*.txt", false},
      {"README", "*.*", true},
      {"a.b.c", "*.*", true},
      {".hidden", "*.*", true},
      {"a.doc", "*.txt", false},
      {"ab.txt", "?.txt", false},
      {"a.txt", "?.txt", true},
      {"notes", "*.txt", false},
      {"x", "*", true},
      {"caf\u00c9.TXT", "caf\u00e9.txt", true},
      {"\u1e9e.txt", "\u00df.txt", true},  // capital sharp s folds to sharp s
      {"\u0130.txt", "i.txt", false},      // dotted capital I has no simple folding
      {"\u03a3.txt", "\u03c2.txt", true},  // final sigma folds with sigma
      {"\U00010400.txt", "??.txt", true},  // a character beyond the basic plane is two units
      {"\U00010400.txt", "?.txt", false},
      {"\U00010400.txt", "\U00010428.txt", false},  // and is compared without folding
      {"abcabd", "*abd", true},
      {"", "*", true},
      {"a", "", false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(MatchesWildcard(std::string_view(c.name), std::string_view(c.pattern)), c.matches)
        << c.name << " ~ " << c.pattern;
  }
}

TEST(HasBadCharacters, FindsControlsC1AndCharactersOutsideTheCodePage) {
  struct Case {
    const char* name;
    bool bad;
  };
  const Case cases[] = {
      {"plain name", false},
      {"caf\u00e9 na\u00efve", false},
      {"5\u20ac", true},  // the euro sign is code 128
      {"", false},
      {"tab\there", true},
      {"del\x7f", true},
      {"c1\u0081", true},
      {"what?", true},
      {"\u4e2d\u6587", true},  // not in the code page: "?"
      {"\U00010400", true},
      {"\xff", true},  // a byte that is no UTF-8 reads as U+FFFD, outside the code page
  };
  for (const Case& c : cases)
    EXPECT_EQ(HasBadCharacters(std::string_view(c.name)), c.bad) << c.name;
}

}  // namespace
}  // namespace lintavel::folders
