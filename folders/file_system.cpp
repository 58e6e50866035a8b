#include "folders/file_system.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>

#include "folders/file_names.h"

namespace lintavel::folders {

bool PathExists(const std::string& path) {
  struct stat info {};
  return !path.empty() && ::stat(path.c_str(), &info) == 0;
}

bool FolderExists(const std::string& path) {
  const std::optional<int> word = AttributeWord(path);
  return word && (*word & attribute::kDirectory) != 0;
}

bool FileExists(const std::string& path) {
  if (path.empty()) return false;
  // O_PATH opens without asking for any access, like a test for existence.
  const int fd = ::open(path.c_str(), O_PATH | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat info {};
  const bool file = ::fstat(fd, &info) == 0 && !S_ISDIR(info.st_mode);
  ::close(fd);
  return file;
}

std::optional<int> AttributeWord(const std::string& path) {
  if (path.empty()) return std::nullopt;
  struct stat link {};
  if (::lstat(path.c_str(), &link) != 0) return std::nullopt;
  struct stat target = link;
  if (S_ISLNK(link.st_mode) && ::stat(path.c_str(), &target) != 0) target = link;
  int word = 0;
  if (S_ISDIR(target.st_mode)) word |= attribute::kDirectory;
  if (S_ISREG(target.st_mode)) word |= attribute::kArchive;
  if (S_ISLNK(link.st_mode)) word |= attribute::kReparsePoint;
  std::string_view name = path;
  while (name.size() > 1 && name.back() == kSeparator) name.remove_suffix(1);
  const std::size_t slash = name.rfind(kSeparator);
  const std::string_view last = slash == std::string_view::npos ? name : name.substr(slash + 1);
  if (last.starts_with('.') && last != "." && last != "..") word |= attribute::kHidden;
  if (::access(path.c_str(), W_OK) != 0) word |= attribute::kReadOnly;
  return word;
}

std::vector<ListedFile> ListFilesInFolder(const std::string& folder, std::string_view pattern,
                                          std::vector<std::string>* undecodable) {
  std::string base = folder;
  if (!base.ends_with(kSeparator)) base += kSeparator;
  std::vector<ListedFile> files;
  const std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(base.c_str()), ::closedir);
  if (!dir) return files;
  const std::u16string wildcard = DecodeName(pattern);
  while (const dirent* entry = ::readdir(dir.get())) {
    if (entry->d_type == DT_DIR) continue;
    const std::string_view name = entry->d_name;
    if (!IsCarriableName(name)) {
      if (undecodable != nullptr && MatchesWildcard(DecodeName(name), wildcard)) {
        undecodable->push_back(base + entry->d_name);
      }
      continue;
    }
    if (!MatchesWildcard(DecodeName(name), wildcard)) continue;
    // The listing names regular files as such; anything else is asked about.
    const bool regular = entry->d_type == DT_REG;
    if (regular || FileExists(base + entry->d_name)) files.push_back({std::string(name), regular});
  }
  return files;
}

std::vector<std::string> GetFilesInFolder(const std::string& folder, std::string_view pattern) {
  std::vector<std::string> names;
  for (ListedFile& file : ListFilesInFolder(folder, pattern)) names.push_back(std::move(file.name));
  return names;
}

std::string FoldDoubleSeparators(std::string_view path) {
  const auto fold_pairs = [](std::string_view text) {
    std::string folded;
    folded.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
      folded += text[i];
      if (text[i] == kSeparator && i + 1 < text.size() && text[i + 1] == kSeparator) ++i;
    }
    return folded;
  };
  if (kSeparator == '\\' && path.starts_with(kSeparator)) {
    std::size_t k = 1;
    while (k < path.size() && path[k] == kSeparator) ++k;
    return std::string(2, kSeparator) + fold_pairs(path.substr(k));
  }
  return fold_pairs(path);
}

}  // namespace lintavel::folders
