// The sample list's scrambling undone: every text of Windows-1252 characters with
// codes 1 to 255 comes back whole, with as many characters as it had.
#include <QString>
#include <cstdint>
#include <cstdlib>

#include "engine/code_page.h"
#include "window/scrambler.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  QString text;
  for (std::size_t i = 0; i < size; ++i) {
    if (data[i] != 0) text += QChar(lintavel::DecodeCp1252(data[i]));
  }
  const QString key = QString::fromLatin1(lintavel::kScramblingKey);
  const QString scrambled = lintavel::ScrambleText(text, key);
  if (scrambled.size() != text.size()) std::abort();
  for (const QChar c : scrambled) {
    if (c.unicode() == 0) std::abort();  // codes stay within 1 to 255
  }
  if (lintavel::UnscrambleText(scrambled, key) != text) std::abort();
  return 0;
}
