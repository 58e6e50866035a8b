#include "window/scrambler.h"

#include <gtest/gtest.h>

#include "support/qt_printers.h"

#include "engine/code_page.h"

namespace lintavel {
namespace {

const QString kKey = QString::fromLatin1(kScramblingKey);

TEST(ScrambleText, KeyIsEightLowerCaseLetters) {
  ASSERT_EQ(kKey.size(), 8);
  for (const QChar c : kKey) EXPECT_TRUE(c >= 'a' && c <= 'z');
}

TEST(ScrambleText, EveryCodeAtEveryKeyPlaceComesBack) {
  QString all;
  for (int round = 0; round < 8; ++round) {
    for (int code = 1; code < 256; ++code)
      all += QChar(DecodeCp1252(static_cast<unsigned char>(code)));
    all += QChar('x');  // shifts the key against the codes for the next round
  }
  const QString scrambled = ScrambleText(all, kKey);
  EXPECT_EQ(scrambled.size(), all.size());
  EXPECT_NE(scrambled, all);
  EXPECT_EQ(UnscrambleText(scrambled, kKey), all);
}

TEST(ScrambleText, AddsTheKeyCodesAndWrapsAtEightCharacters) {
  // 'a' (97) + 'q' (113) = 210.
  const QString text = QStringLiteral("aaaaaaaaa");
  const QString scrambled = ScrambleText(text, kKey);
  ASSERT_EQ(scrambled.size(), 9);
  EXPECT_EQ(scrambled[0], scrambled[8]);  // the key starts again at the ninth character
  EXPECT_EQ(scrambled[0].unicode(), 210);
  // 0xFF + 'q' = 368, less 255 gives 113.
  EXPECT_EQ(ScrambleText(QStringLiteral("\u00ff"), kKey)[0].unicode(), 113);
}

TEST(ScrambleText, EmptyTextStaysEmpty) {
  EXPECT_EQ(ScrambleText(QString(), kKey), QString());
  EXPECT_EQ(UnscrambleText(QString(), kKey), QString());
}

}  // namespace
}  // namespace lintavel
