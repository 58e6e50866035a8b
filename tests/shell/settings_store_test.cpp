#include "shell/settings_store.h"

#include <gtest/gtest.h>

#include "support/qt_printers.h"

#include <QDir>
#include <QFile>
#include <random>
#include <string>

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

// Files the settings cannot be read from are kept aside whole before the first
// write replaces them; a file the program wrote itself is read as it is.
TEST(SettingsStore, AnUnreadableFileIsKeptAsideNotOverwritten) {
  std::mt19937 random(23);
  std::string noise(3000, '\0');
  for (char& byte : noise) byte = static_cast<char>(random() & 0xFF);
  const struct {
    const char* name;
    std::string bytes;
    bool unreadable;
  } cases[] = {
      {"an unclosed section", std::string("[Lintavel\n\xff\xfe\0\0=broken", 22), true},
      {"3,000 random bytes", noise, true},
      {"a NUL byte", std::string("[Lintavel]\nExtension=t\0xt\n", 26), true},
      {"Latin-1 text", "[Lintavel]\nLastFolder=/home/caf\xe9\n", true},
      {"the program's own", "[Lintavel]\nLastFolder=/home/caf\xc3\xa9\nExtension=txt\n", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    testing::TempDir dir;
    dir.Write("Quorvane.ini", c.bytes);
    {
      SettingsStore settings(IniIn(dir));
      if (!c.unreadable) {
        EXPECT_EQ(settings.GetSetting(kSettingLastFolder, QString()), "/home/caf\u00e9");
      }
      settings.SaveSetting(kSettingSnapshot, QStringLiteral("kept"));
      EXPECT_TRUE(settings.saved());
    }
    QStringList aside = QDir(QString::fromStdString(dir.path().string()))
                            .entryList({QStringLiteral("Quorvane.ini.unreadable-*")}, QDir::Files);
    ASSERT_EQ(aside.size(), c.unreadable ? 1 : 0);
    if (c.unreadable) {
      EXPECT_EQ(testing::ReadBytes(dir.path() / aside[0].toStdString()), c.bytes);
      const SettingsStore again(IniIn(dir));
      EXPECT_EQ(again.GetSetting(kSettingSnapshot, QString()), "kept");
      EXPECT_EQ(again.GetSetting(kSettingExtension, QStringLiteral("none")), "none");
    }
  }
}

}  // namespace
}  // namespace lintavel
