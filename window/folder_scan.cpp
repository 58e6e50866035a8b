#include "window/folder_scan.h"

#include <dirent.h>
#include <sys/stat.h>
#include <QFile>

#include <cerrno>
#include <memory>
#include <stdexcept>
#include <system_error>

#include "engine/code_page.h"
#include "window/file_system.h"

namespace lintavel {

namespace {

constexpr int kHiddenSystemFolder = attribute::kDirectory | attribute::kHidden | attribute::kSystem;
constexpr int kHiddenSystemLink = kHiddenSystemFolder | attribute::kReparsePoint;
constexpr int kHiddenArchive = attribute::kHidden | attribute::kArchive;

bool IsRoot(const QString& folder) {
  return folder == QString(PathSeparator()) || folder == QString(2, PathSeparator());
}

// Whether the folder's attribute word lets the scan go below it.
bool Searchable(const QString& folder) {
  if (IsRoot(folder)) return true;
  const std::optional<int> word = AttributeWord(folder);
  return !word || (*word != kHiddenSystemFolder && *word != kHiddenSystemLink);
}

// The device and inode of the folder at `path`, when it can be examined.
std::optional<std::pair<unsigned long long, unsigned long long>> Identity(const QString& path) {
  struct stat info {};
  if (::stat(QFile::encodeName(path).constData(), &info) != 0) return std::nullopt;
  return std::pair<unsigned long long, unsigned long long>(info.st_dev, info.st_ino);
}

// The names of the direct sub-folders of `folder` (links to folders included), in
// the order the file system gives them; names not valid in the file-name encoding
// go to `undecodable` instead. Throws std::system_error on failure.
QStringList SubFolderNames(const QString& folder, std::vector<QByteArray>& undecodable) {
  const QByteArray native = QFile::encodeName(folder);
  const std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(native.constData()), ::closedir);
  if (!dir) throw std::system_error(errno, std::generic_category(), "Cannot read the folder");
  QStringList names;
  errno = 0;
  while (const dirent* entry = ::readdir(dir.get())) {
    bool is_folder = entry->d_type == DT_DIR;
    if (entry->d_type == DT_LNK || entry->d_type == DT_UNKNOWN) {
      struct stat info {};
      is_folder =
          ::fstatat(::dirfd(dir.get()), entry->d_name, &info, 0) == 0 && S_ISDIR(info.st_mode);
    }
    if (is_folder) {
      if (std::optional<QString> name = DecodeEntryName(entry->d_name)) {
        names << *name;
      } else {
        undecodable.push_back(native + entry->d_name);
      }
    }
    errno = 0;
  }
  if (errno != 0) throw std::system_error(errno, std::generic_category(), "Cannot read the folder");
  return names;
}

}  // namespace

bool HasBadCharacters(QStringView name) {
  for (const QChar c : name) {
    const int code = EncodeCp1252(c.unicode());
    if (code < 32 || (code >= 127 && code <= 159) || code == '?') return true;
  }
  return false;
}

void GetSubDirectories2016(QStringList& folder_list, bool recurse, ScanContext& context) {
  ReportingProcedure procedure(location::kGetSubDirectories, context.report);
  for (const QString& entry : folder_list) {
    if (const auto identity = Identity(entry)) context.known.insert(*identity);
  }
  QStringList new_folders;
  QStringList gone;
  for (qsizetype i = 0; i < folder_list.size() && !context.cancelled(); ++i) {
    const QString folder = folder_list[i];
    if (!FolderExists(folder)) continue;
    if (folder.size() >= kMaxScanPath) continue;
    if (!Searchable(folder)) continue;
    QStringList names;
    std::vector<QByteArray> undecodable;
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
      gone << folder;
      continue;
    }
    if (context.undecodable) {
      for (const QByteArray& path : undecodable) context.undecodable(path);
    }
    for (const QString& name : names) {
      if (name.size() >= kMaxScanPath || HasBadCharacters(name) || name.contains(u'?') ||
          name == QLatin1String(".") || name == QLatin1String("..")) {
        continue;
      }
      const QString path = folder + name + PathSeparator();
      const auto identity = Identity(path);
      if (!identity || !context.known.insert(*identity).second) continue;
      new_folders << path;
    }
  }
  for (const QString& folder : gone) folder_list.removeOne(folder);
  if (recurse && !new_folders.isEmpty() && !context.cancelled()) {
    procedure.Step(150, [&] { GetSubDirectories2016(new_folders, true, context); });
  }
  procedure.Step(152, [&] {
    for (const QString& folder : new_folders) {
      if (FolderExists(folder) && Searchable(folder)) folder_list << folder;
    }
  });
}

void ListFilesOfFolders(const QStringList& folder_list, const QString& pattern,
                        const ScanContext& context,
                        const std::function<void(const QString&)>& on_row) {
  for (const QString& entry : folder_list) {
    if (context.cancelled()) return;
    const QString folder = entry.chopped(1);
    std::vector<QByteArray> undecodable;
    const std::vector<ListedFile> files =
        ListFilesInFolder(folder, pattern, context.undecodable ? &undecodable : nullptr);
    for (const QByteArray& path : undecodable) context.undecodable(path);
    for (const ListedFile& file : files) {
      if (file.name.startsWith(QLatin1Char('~'))) continue;
      const QString path = folder + PathSeparator() + file.name;
      // A regular file that the listing just showed exists; only a name with a dot
      // in front can be hidden, so only such a name can be hidden + archive.
      if (!file.regular && !FileExists(path)) continue;
      if ((!file.regular || file.name.startsWith(QLatin1Char('.'))) &&
          AttributeWord(path) == kHiddenArchive) {
        continue;
      }
      on_row(FixDoubleBackslashes(path));
    }
  }
}

}  // namespace lintavel
