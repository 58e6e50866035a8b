#include "window/samples.h"

#include <QStringList>

#include "shell/dialogs.h"
#include "shell/settings_store.h"
#include "window/file_system.h"
#include "window/list_view.h"
#include "window/scrambler.h"

namespace lintavel {

QString SamplesFolder(const QString& program_folder) {
  return program_folder + PathSeparator() + QStringLiteral("Samples");
}

void TakeSamplesSnapshot(const QString& program_folder, SettingsStore& settings) {
  const QString folder = SamplesFolder(program_folder);
  QStringList paths;
  for (const QString& name : GetFilesInFolder(folder, QStringLiteral("*.*"))) {
    paths << folder + PathSeparator() + name;
  }
  settings.SaveSetting(
      QString::fromLatin1(kSettingSnapshot),
      ScrambleText(paths.join(QLatin1Char('|')), QString::fromLatin1(kScramblingKey)));
}

void LoadSampleFiles(ListView& input_list, const QString& program_folder,
                     const SettingsStore& settings, Dialogs& dialogs) {
  const QString stored = settings.GetSetting(QString::fromLatin1(kSettingSnapshot), false);
  const QString text = UnscrambleText(stored, QString::fromLatin1(kScramblingKey));
  const QStringList parts = text.isEmpty() ? QStringList() : text.split(QLatin1Char('|'));
  for (const QString& part : parts) {
    if (PathExists(part) && !ListViewItemExists(input_list, part)) input_list.Append(part);
  }
  const MessageAnswer answer = dialogs.MessageBox(
      QStringLiteral("Would you like this software to open the folder where these sample files "
                     "are stored (so that you can view them before working with them)?"),
      MessageStyle::kYesNo);
  if (answer == MessageAnswer::kYes) {
    dialogs.ShellOpen(QLatin1Char('"') + SamplesFolder(program_folder) + PathSeparator() +
                      QLatin1Char('"'));
  }
}

}  // namespace lintavel
