#include "shell/settings_store.h"

#include <gtest/gtest.h>

#include "support/qt_printers.h"

#include <QDir>
#include <QFile>

#include "support/temp_dir.h"

namespace lintavel {
namespace {

QString IniIn(const testing::TempDir& dir) {
  return QString::fromStdString((dir.path() / "Quorvane.ini").string());
}

TEST(SettingsStore, AFirstStartReadsTheDefaults) {
  testing::TempDir dir;
  const SettingsStore settings(IniIn(dir));
  EXPECT_EQ(settings.GetSetting(kSettingExtension, QStringLiteral("txt")), "txt");
  EXPECT_EQ(settings.GetSetting(kSettingLastFolder, QString()), "");
  EXPECT_EQ(settings.GetSetting(kSettingSnapshot, QString()), "");
  EXPECT_EQ(settings.GetSetting(kSettingSnapshot, false), "False");
}

TEST(SettingsStore, WrittenTextsComeBackExactlyAcrossStarts) {
  testing::TempDir dir;
  QString awkward;
  for (char16_t c = 1; c < 0x100; ++c) awkward += QChar(c);
  awkward += QStringLiteral("\u20ac;=[x]\"@|");
  {
    SettingsStore settings(IniIn(dir));
    settings.SaveSetting(kSettingLastFolder, QString());
    settings.SaveSetting(kSettingSnapshot, awkward);
    settings.SaveSetting(kSettingExtension, QStringLiteral("doc"));
    EXPECT_TRUE(settings.saved());
  }
  const SettingsStore again(IniIn(dir));
  EXPECT_EQ(again.GetSetting(kSettingLastFolder, QStringLiteral("default")), "");
  EXPECT_EQ(again.GetSetting(kSettingSnapshot, false), awkward);
  EXPECT_EQ(again.GetSetting(kSettingExtension, QStringLiteral("txt")), "doc");
  QFile ini(IniIn(dir));
  ASSERT_TRUE(ini.open(QIODevice::ReadOnly));
  EXPECT_TRUE(ini.readAll().contains("[Lintavel]"));
}

TEST(SettingsStore, AStoreThatCannotBeWrittenKeepsTheValueForTheSession) {
  testing::TempDir dir;
  dir.Write("not-a-folder", "x");
  SettingsStore settings(
      QString::fromStdString((dir.path() / "not-a-folder/Quorvane.ini").string()));
  settings.SaveSetting(kSettingExtension, QStringLiteral("html"));
  EXPECT_FALSE(settings.saved());
  EXPECT_EQ(settings.GetSetting(kSettingExtension, QStringLiteral("txt")), "html");
}

TEST(SettingsStore, AnUnreadableFileIsKeptAsideNotOverwritten) {
  testing::TempDir dir;
  const std::string garbage("[Lintavel\n\xff\xfe\0\0=broken", 22);
  dir.Write("Quorvane.ini", garbage);
  SettingsStore settings(IniIn(dir));
  settings.SaveSetting(kSettingExtension, QStringLiteral("txt"));
  const QStringList files =
      QDir(QString::fromStdString(dir.path().string())).entryList(QDir::Files);
  bool kept = false;
  for (const QString& name : files) {
    if (name.startsWith("Quorvane.ini.unreadable-")) {
      kept = testing::ReadBytes(dir.path() / name.toStdString()) == garbage;
    }
  }
  // Either the parser accepted the file (nothing to keep aside) or it was kept whole.
  EXPECT_TRUE(kept || files.size() == 1) << files.join(", ").toStdString();
}

}  // namespace
}  // namespace lintavel
