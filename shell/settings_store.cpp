#include "shell/settings_store.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

namespace lintavel {

namespace {

constexpr char kSection[] = "Lintavel";

QString Key(const QString& key) { return QStringLiteral("%1/%2").arg(kSection, key); }

}  // namespace

SettingsStore::SettingsStore(const QString& ini_file)
    : settings_(std::make_unique<QSettings>(ini_file, QSettings::IniFormat)) {
  if (settings_->status() == QSettings::FormatError) {
    // Keep the unreadable file aside instead of overwriting it with the next write.
    settings_.reset();
    const QString aside =
        ini_file + QStringLiteral(".unreadable-") +
        QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyyMMddhhmmss"));
    QFile::rename(ini_file, aside);
    settings_ = std::make_unique<QSettings>(ini_file, QSettings::IniFormat);
  }
}

QString SettingsStore::DefaultFile() {
  return QDir(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation))
      .filePath(QStringLiteral("Quorvane.ini"));
}

QString SettingsStore::GetSetting(const QString& key, const QString& default_value) const {
  return settings_->value(Key(key), default_value).toString();
}

QString SettingsStore::GetSetting(const QString& key, bool default_value) const {
  return GetSetting(key, default_value ? QStringLiteral("True") : QStringLiteral("False"));
}

void SettingsStore::SaveSetting(const QString& key, const QString& value) {
  settings_->setValue(Key(key), value);
  settings_->sync();
}

}  // namespace lintavel
