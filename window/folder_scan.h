#pragma once

#include <QString>
#include <QStringList>
#include <QStringView>
#include <atomic>
#include <functional>
#include <set>
#include <utility>

#include "shell/error_report.h"

namespace lintavel {

// The longest folder path (with its trailing separator) that a scan searches, less one.
inline constexpr qsizetype kMaxScanPath = 260;

// True when a character of `name` has, in Windows-1252, a code below 32, from 127
// to 159, or the code of "?" (which also stands for characters the code page lacks).
bool HasBadCharacters(QStringView name);

// What one scan carries from folder to folder.
struct ScanContext {
  const std::atomic<bool>* cancel = nullptr;
  // The scan's own reports; the scan goes on after each.
  ReportSink report;
  // Every folder the scan has met, by device and inode: a link back to a folder
  // above, or to one met elsewhere, is not searched twice.
  std::set<std::pair<unsigned long long, unsigned long long>> known;
  // Gets the raw path of each file or folder passed over because its name is not
  // valid in the file-name encoding; without it they are passed over silently.
  std::function<void(const QByteArray&)> undecodable;

  bool cancelled() const { return cancel != nullptr && cancel->load(); }
};

// Appends to `folder_list` (full paths, each ending in the separator) every folder
// below its entries that the scan qualifies, level by level: first the entries'
// sub-folders, then theirs. A folder whose sub-folders cannot be read (access
// denied, gone) is taken out of the list without a report.
void GetSubDirectories2016(QStringList& folder_list, bool recurse, ScanContext& context);

// Calls on_row(path) for every file of every folder of `folder_list`, in order, whose
// name matches `pattern`, does not begin with "~", passes FileExists and whose
// attribute word is not exactly hidden + archive; the path is folder + separator +
// name with doubled separators folded.
void ListFilesOfFolders(const QStringList& folder_list, const QString& pattern,
                        const ScanContext& context,
                        const std::function<void(const QString&)>& on_row);

}  // namespace lintavel
