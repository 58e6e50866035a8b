#pragma once

#include <QSettings>
#include <QString>
#include <memory>

namespace lintavel {

// The per-user settings: short texts under the application name "Quorvane" and the
// section "Lintavel", kept in an INI file.
class SettingsStore {
 public:
  // Keeps the settings in `ini_file`; the program passes DefaultFile(), tests a
  // file of their own.
  explicit SettingsStore(const QString& ini_file);

  // The user's file: Quorvane.ini in the platform's user configuration folder.
  static QString DefaultFile();

  // The stored text of `key`, or `default_value` when the key has never been written.
  QString GetSetting(const QString& key, const QString& default_value) const;
  // The same with a boolean default, which reads back as "True" or "False".
  QString GetSetting(const QString& key, bool default_value) const;

  // Stores `value` as the text of `key`. A store that cannot be written keeps the
  // value for this session and never fails the caller.
  void SaveSetting(const QString& key, const QString& value);

  // True when the last write reached the file.
  bool saved() const { return settings_->status() == QSettings::NoError; }

 private:
  std::unique_ptr<QSettings> settings_;
};

inline constexpr char kSettingExtension[] = "Extension";
inline constexpr char kSettingLastFolder[] = "LastFolder";
inline constexpr char kSettingSnapshot[] = "Snapshot";

}  // namespace lintavel
