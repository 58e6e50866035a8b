#pragma once

#include <QString>

namespace lintavel {

class Dialogs;
class ListView;
class SettingsStore;

// The folder of example documents installed beside the program.
QString SamplesFolder(const QString& program_folder);

// Records the paths of the files now in the samples folder, joined by "|" and
// scrambled, as the setting "Snapshot".
void TakeSamplesSnapshot(const QString& program_folder, SettingsStore& settings);

// Appends every recorded sample file that still exists and is not listed yet to
// `input_list`, then offers to open the samples folder.
void LoadSampleFiles(ListView& input_list, const QString& program_folder,
                     const SettingsStore& settings, Dialogs& dialogs);

}  // namespace lintavel
