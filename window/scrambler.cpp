#include "window/scrambler.h"

#include "engine/code_page.h"

namespace lintavel {

namespace {

template <typename Combine>
QString Walk(const QString& text, const QString& key, Combine&& combine) {
  QString result;
  result.reserve(text.size());
  qsizetype k = 0;
  for (const QChar c : text) {
    const int a = EncodeCp1252(c.unicode());
    const int b = key.isEmpty() ? 0 : EncodeCp1252(key[k].unicode());
    if (!key.isEmpty()) k = (k + 1) % key.size();
    result += QChar(DecodeCp1252(static_cast<unsigned char>(combine(a, b))));
  }
  return result;
}

}  // namespace

QString ScrambleText(const QString& text, const QString& key) {
  return Walk(text, key, [](int a, int b) {
    const int s = a + b;
    return s > 255 ? s - 255 : s;
  });
}

QString UnscrambleText(const QString& text, const QString& key) {
  return Walk(text, key, [](int a, int b) {
    const int s = a - b;
    return s < 1 ? s + 255 : s;
  });
}

}  // namespace lintavel
