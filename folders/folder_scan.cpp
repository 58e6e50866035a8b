#include "folders/folder_scan.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <memory>
#include <optional>
#include <system_error>

#include "folders/file_names.h"
#include "folders/file_system.h"

namespace lintavel::folders {

namespace {

constexpr int kHiddenSystemFolder = attribute::kDirectory | attribute::kHidden | attribute::kSystem;
constexpr int kHiddenSystemLink = kHiddenSystemFolder | attribute::kReparsePoint;
constexpr int kHiddenArchive = attribute::kHidden | attribute::kArchive;

bool IsRoot(std::string_view folder) {
  return folder == std::string(1, kSeparator) || folder == std::string(2, kSeparator);
}

// Whether the folder's attribute word lets the scan go below it.
bool Searchable(const std::string& folder) {
  if (IsRoot(folder)) return true;
  const std::optional<int> word = AttributeWord(folder);
  return !word || (*word != kHiddenSystemFolder && *word != kHiddenSystemLink);
}

// The device and inode of the folder at `path`, when it can be examined.
std::optional<std::pair<unsigned long long, unsigned long long>> Identity(const std::string& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return std::nullopt;
  return std::pair<unsigned long long, unsigned long long>(info.st_dev, info.st_ino);
}

// The names of the direct sub-folders of `folder` (links to folders included), in
// the order the file system gives them; names that IsCarriableName refuses go to
// `undecodable` as paths instead. Throws std::system_error on failure.
std::vector<std::string> SubFolderNames(const std::string& folder,
                                        std::vector<std::string>& undecodable) {
  const std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(folder.c_str()), ::closedir);
  if (!dir) throw std::system_error(errno, std::generic_category(), "Cannot read the folder");
  std::vector<std::string> names;
  errno = 0;
  while (const dirent* entry = ::readdir(dir.get())) {
    bool is_folder = entry->d_type == DT_DIR;
    if (entry->d_type == DT_LNK || entry->d_type == DT_UNKNOWN) {
      struct stat info {};
      is_folder =
          ::fstatat(::dirfd(dir.get()), entry->d_name, &info, 0) == 0 && S_ISDIR(info.st_mode);
    }
    if (is_folder) {
      if (IsCarriableName(entry->d_name)) {
        names.emplace_back(entry->d_name);
      } else {
        undecodable.push_back(folder + entry->d_name);
      }
    }
    errno = 0;
  }
  if (errno != 0) throw std::system_error(errno, std::generic_category(), "Cannot read the folder");
  return names;
}

}  // namespace

void ScanSubFolders(std::vector<std::string>& folder_list, bool recurse, ScanContext& context) {
  ReportingProcedure procedure(location::kGetSubDirectories, context.report);
  for (const std::string& entry : folder_list) {
    if (const auto identity = Identity(entry)) context.known.insert(*identity);
  }
  std::vector<std::string> new_folders;
  std::vector<std::string> gone;
  for (std::size_t i = 0; i < folder_list.size() && !context.cancelled(); ++i) {
    const std::string folder = folder_list[i];
    if (!FolderExists(folder)) continue;
    if (Utf16Length(folder) >= kMaxScanPath) {
      if (context.passed_over) context.passed_over(folder, PassedOver::kLongPath);
      continue;
    }
    if (!Searchable(folder)) continue;
    std::vector<std::string> names;
    std::vector<std::string> undecodable;
    bool readable = true;
    procedure.Step(116, [&] {
      try {
        names = SubFolderNames(folder, undecodable);
      } catch (const std::system_error& failure) {
        const int code = failure.code().value();
        if (code != EACCES && code != EPERM && code != ENOENT && code != ENOTDIR) throw;
        readable = false;  // denied or gone: dropped without a report
      }
    });
    if (!readable) {
      gone.push_back(folder);
      continue;
    }
    if (context.undecodable) {
      for (const std::string& path : undecodable) context.undecodable(path);
    }
    for (const std::string& name : names) {
      if (name == "." || name == "..") continue;
      if (Utf16Length(name) >= kMaxScanPath) {
        if (context.passed_over) context.passed_over(folder + name, PassedOver::kLongPath);
        continue;
      }
      if (HasBadCharacters(name) || name.find('?') != std::string::npos) {
        if (context.passed_over) context.passed_over(folder + name, PassedOver::kBadName);
        continue;
      }
      std::string path = folder + name + kSeparator;
      const auto identity = Identity(path);
      if (!identity || !context.known.insert(*identity).second) continue;
      new_folders.push_back(std::move(path));
    }
  }
  for (const std::string& folder : gone) {
    const auto first = std::find(folder_list.begin(), folder_list.end(), folder);
    if (first != folder_list.end()) folder_list.erase(first);
  }
  if (recurse && !new_folders.empty() && !context.cancelled()) {
    procedure.Step(150, [&] { ScanSubFolders(new_folders, true, context); });
  }
  procedure.Step(152, [&] {
    for (const std::string& folder : new_folders) {
      if (FolderExists(folder) && Searchable(folder)) folder_list.push_back(folder);
    }
  });
}

void ListFilesOfFolders(const std::vector<std::string>& folder_list, std::string_view pattern,
                        const ScanContext& context,
                        const std::function<void(const std::string&)>& on_row) {
  for (const std::string& entry : folder_list) {
    if (context.cancelled()) return;
    const std::string folder = entry.substr(0, entry.empty() ? 0 : entry.size() - 1);
    std::vector<std::string> undecodable;
    const std::vector<ListedFile> files =
        ListFilesInFolder(folder, pattern, context.undecodable ? &undecodable : nullptr);
    for (const std::string& path : undecodable) context.undecodable(path);
    for (const ListedFile& file : files) {
      const std::string path = folder + kSeparator + file.name;
      if (file.name.starts_with('~')) {
        if (context.passed_over) context.passed_over(path, PassedOver::kTilde);
        continue;
      }
      // A regular file that the listing just showed exists; only a name with a dot
      // in front can be hidden, so only such a name can be hidden + archive.
      if (!file.regular && !FileExists(path)) continue;
      if ((!file.regular || file.name.starts_with('.')) && AttributeWord(path) == kHiddenArchive) {
        if (context.passed_over) context.passed_over(path, PassedOver::kHidden);
        continue;
      }
      on_row(FoldDoubleSeparators(path));
    }
  }
}

}  // namespace lintavel::folders
