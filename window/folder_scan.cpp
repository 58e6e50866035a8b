#include "window/folder_scan.h"

#include <string>
#include <vector>

#include "folders/file_names.h"
#include "window/file_system.h"

namespace lintavel {

namespace {

std::vector<std::string> NativePaths(const QStringList& paths) {
  std::vector<std::string> native;
  native.reserve(static_cast<std::size_t>(paths.size()));
  for (const QString& path : paths) native.push_back(NativePath(path));
  return native;
}

}  // namespace

bool HasBadCharacters(QStringView name) { return folders::HasBadCharacters(Utf16Units(name)); }

void GetSubDirectories2016(QStringList& folder_list, bool recurse, ScanContext& context) {
  std::vector<std::string> native = NativePaths(folder_list);
  folders::ScanSubFolders(native, recurse, context);
  folder_list.clear();
  for (const std::string& folder : native) folder_list << PathText(folder);
}

void ListFilesOfFolders(const QStringList& folder_list, const QString& pattern,
                        const ScanContext& context,
                        const std::function<void(const QString&)>& on_row) {
  folders::ListFilesOfFolders(NativePaths(folder_list), NativePath(pattern), context,
                              [&on_row](const std::string& row) { on_row(PathText(row)); });
}

}  // namespace lintavel
