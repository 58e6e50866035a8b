#include "shell/settings_store.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QStringDecoder>

namespace lintavel {

namespace {

constexpr char kSection[] = "Lintavel";

QString Key(const QString& key) { return QStringLiteral("%1/%2").arg(kSection, key); }

// Whether `bytes` can be a settings file as this program writes it: UTF-8 text in
// which every control character but tab, CR and LF is escaped. The INI reader
// takes almost anything, binary data included, and would write it back mangled.
bool LooksLikeSettingsText(const QByteArray& bytes) {
  for (const char byte : bytes) {
    const auto code = static_cast<unsigned char>(byte);
    if (code < 0x20 && code != '\t' && code != '\r' && code != '\n') {
      return false;
    }
  }
  QStringDecoder utf8(QStringDecoder::Utf8);
  [[maybe_unused]] const QString decoded = utf8.decode(bytes);
  return !utf8.hasError();
}

// Whether the file at `ini_file` is there and cannot be read as settings. One that
// cannot be opened is left to the INI reader: it cannot be overwritten either.
bool IsUnreadable(const QString& ini_file) {
  QFile file(ini_file);
  if (!file.open(QIODevice::ReadOnly)) return false;
  if (!LooksLikeSettingsText(file.readAll())) return true;
  return QSettings(ini_file, QSettings::IniFormat).status() == QSettings::FormatError;
}

// Moves `ini_file` aside, or copies it where it cannot be moved; true when the old
// bytes are safe.
bool KeepAside(const QString& ini_file) {
  const QString aside =
      ini_file + QStringLiteral(".unreadable-") +
      QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyyMMddhhmmsszzz"));
  return QFile::rename(ini_file, aside) || QFile::copy(ini_file, aside);
}

}  // namespace

SettingsStore::SettingsStore(const QString& ini_file) {
  QString kept_in = ini_file;
  if (IsUnreadable(ini_file) && !KeepAside(ini_file)) {
    // Neither moved nor copied, the old file must not be overwritten: the settings
    // then live for this session only, in a place that cannot be made.
    kept_in = ini_file + QStringLiteral("/not-written");
  }
  settings_ = std::make_unique<QSettings>(kept_in, QSettings::IniFormat);
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
