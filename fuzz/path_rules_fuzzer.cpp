// The folder rules against plain renderings: separator folding, the wildcard
// matcher against a recursive one that folds case with Qt (as the window did before
// the rules left it), the folder-name filter against its definition, and the
// decoding of raw file names against Qt's.
#include <QFile>
#include <QString>
#include <cstdint>
#include <cstdlib>
#include <iterator>
#include <string>

#include "engine/code_page.h"
#include "folders/file_names.h"
#include "folders/file_system.h"

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
  namespace folders = lintavel::folders;
  const std::string raw(reinterpret_cast<const char*>(data), size);

  // Raw bytes as a file name: the same text as the window's decoding, and carried
  // exactly when that decoding gives the bytes back.
  const QString qt_decoded = QFile::decodeName(QByteArray::fromStdString(raw));
  const std::u16string decoded = folders::DecodeName(raw);
  Require(decoded == std::u16string_view(QStringView(qt_decoded).utf16(),
                                         static_cast<std::size_t>(qt_decoded.size())));
  Require(folders::Utf16Length(raw) == decoded.size());
  Require(folders::IsCarriableName(raw) ==
          (QFile::encodeName(qt_decoded) == QByteArray::fromStdString(raw)));

  // Text over a small alphabet, so that separators, stars and dots meet often; it
  // holds letters that fold outside ASCII, a character beyond the basic plane and a
  // byte-order mark.
  static constexpr char32_t kAlphabet[] =
      U"//*?.aAbB~\u00e9\u00c9\u20ac\u0081\t\u1e9e\u00df\U00010400\ufeff";
  constexpr std::size_t kLetters = std::size(kAlphabet) - 1;
  QString text;
  for (std::size_t i = 0; i < size; ++i) {
    const char32_t c = kAlphabet[data[i] % kLetters];
    if (QChar::requiresSurrogates(c)) {
      text += QChar(QChar::highSurrogate(c));
      text += QChar(QChar::lowSurrogate(c));
    } else {
      text += QChar(static_cast<char16_t>(c));
    }
  }
  const std::string utf8 = text.toStdString();

  const std::string folded = folders::FoldDoubleSeparators(utf8);
  Require(folded.size() <= utf8.size());
  Require(folded == QString(text).replace(QStringLiteral("//"), QStringLiteral("/")).toStdString());

  const qsizetype split = text.indexOf(u'~');
  if (split >= 0 && text.size() <= 24) {
    const QStringView name = QStringView(text).left(split);
    const QStringView pattern = QStringView(text).mid(split + 1);
    const bool plain =
        PlainMatch(name, pattern) || (pattern.endsWith(u".*") && !name.contains(u'.') &&
                                      PlainMatch(name, pattern.first(pattern.size() - 2)));
    // A leading byte-order mark is no part of a name's bytes once decoded.
    if (!name.startsWith(u'\ufeff') && !pattern.startsWith(u'\ufeff')) {
      Require(folders::MatchesWildcard(name.toString().toStdString(),
                                       pattern.toString().toStdString()) == plain);
    }
  }

  bool bad = false;
  for (const QChar c : text) {
    const int code = lintavel::EncodeCp1252(c.unicode());
    bad = bad || code < 32 || (code >= 127 && code <= 159) || code == 63;
  }
  if (!text.startsWith(u'\ufeff')) Require(folders::HasBadCharacters(utf8) == bad);
  return 0;
}
