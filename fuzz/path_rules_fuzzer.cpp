// The path rules against plain renderings: separator folding, the wildcard matcher
// against a recursive one, and the folder-name filter against its definition.
#include <QString>
#include <cstdint>
#include <cstdlib>

#include "engine/code_page.h"
#include "window/file_system.h"
#include "window/folder_scan.h"

namespace {

void Require(bool holds) {
  if (!holds) std::abort();
}

bool PlainMatch(QStringView name, QStringView pattern) {
  if (pattern.isEmpty()) return name.isEmpty();
  if (pattern[0] == u'*') {
    return PlainMatch(name, pattern.mid(1)) ||
           (!name.isEmpty() && PlainMatch(name.mid(1), pattern));
  }
  if (name.isEmpty()) return false;
  if (pattern[0] != u'?' && pattern[0].toCaseFolded() != name[0].toCaseFolded()) return false;
  return PlainMatch(name.mid(1), pattern.mid(1));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // Text over a small alphabet, so that separators, stars and dots meet often.
  static const char16_t kAlphabet[] = u"//*?.aAbB~\u00e9\u00c9\u20ac\u0081\t";
  QString text;
  for (std::size_t i = 0; i < size; ++i) text += QChar(kAlphabet[data[i] % 15]);

  const QString folded = lintavel::FixDoubleBackslashes(text);
  Require(folded.size() <= text.size());
  Require(folded == QString(text).replace(QStringLiteral("//"), QStringLiteral("/")));
  if (!text.contains(QStringLiteral("//"))) Require(folded == text);

  const qsizetype split = text.indexOf(u'~');
  if (split >= 0 && text.size() <= 24) {
    const QStringView name = QStringView(text).left(split);
    const QStringView pattern = QStringView(text).mid(split + 1);
    const bool plain =
        PlainMatch(name, pattern) || (pattern.endsWith(u".*") && !name.contains(u'.') &&
                                      PlainMatch(name, pattern.first(pattern.size() - 2)));
    Require(lintavel::MatchesWildcard(name, pattern) == plain);
  }

  bool bad = false;
  for (const QChar c : text) {
    const int code = lintavel::EncodeCp1252(c.unicode());
    bad = bad || code < 32 || (code >= 127 && code <= 159) || code == 63;
  }
  Require(lintavel::HasBadCharacters(text) == bad);
  return 0;
}
