#pragma once

#include <QString>
#include <QStringList>
#include <QStringView>
#include <functional>

#include "folders/folder_scan.h"

namespace lintavel {

// The folder scan of folders/folder_scan.h for folders held as text, as the window
// holds them.

using folders::kMaxScanPath;
using folders::ScanContext;

// True when a character of `name` has, in Windows-1252, a code below 32, from 127
// to 159, or the code of "?" (which also stands for characters the code page lacks).
bool HasBadCharacters(QStringView name);

// folders::ScanSubFolders on a list of folders held as text.
void GetSubDirectories2016(QStringList& folder_list, bool recurse, ScanContext& context);

// folders::ListFilesOfFolders on a list of folders held as text: on_row gets each
// path as text.
void ListFilesOfFolders(const QStringList& folder_list, const QString& pattern,
                        const ScanContext& context,
                        const std::function<void(const QString&)>& on_row);

}  // namespace lintavel
