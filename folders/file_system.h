#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace lintavel {

// The attribute bits of a file or folder, as the folder scans compare them.
namespace attribute {
inline constexpr int kReadOnly = 1;
inline constexpr int kHidden = 2;
inline constexpr int kSystem = 4;
inline constexpr int kDirectory = 16;
inline constexpr int kArchive = 32;
inline constexpr int kReparsePoint = 1024;
}  // namespace attribute

namespace folders {

// Paths are byte strings as the system takes them.

// The separator between folders in this platform's paths.
#ifdef _WIN32
inline constexpr char kSeparator = '\\';
#else
inline constexpr char kSeparator = '/';
#endif

// True when the file or folder that `path` names can be examined.
bool PathExists(const std::string& path);
// True for an existing folder (also one reached through a link).
bool FolderExists(const std::string& path);
// True for an existing entry that is not a folder; false for a folder or a missing path.
bool FileExists(const std::string& path);

// The attribute word of `path`: directory for a folder, hidden for a name that
// starts with ".", read-only when the user may not write it, archive for a regular
// file, reparse point for a symbolic link. Nothing when the path cannot be examined.
std::optional<int> AttributeWord(const std::string& path);

// A name that ListFilesInFolder gives, and whether the listing itself showed a
// regular file, so that no further query is needed to know it exists.
struct ListedFile {
  std::string name;
  bool regular = false;
};
// The files (not folders) in `folder` whose names match the wildcard `pattern` and
// pass FileExists, hidden ones included, in the order the file system lists them. A
// name that IsCarriableName refuses is left out; its path (folder, separator, name)
// is added to `undecodable` when given and when its decoded name matches `pattern`.
std::vector<ListedFile> ListFilesInFolder(const std::string& folder, std::string_view pattern,
                                          std::vector<std::string>* undecodable = nullptr);

// The names that ListFilesInFolder gives, alone.
std::vector<std::string> GetFilesInFolder(const std::string& folder, std::string_view pattern);

// `path` with each pair of consecutive separators made one, in one pass from the
// left ("a//b" gives "a/b", three give two). Where paths have network prefixes
// ("\\server"), a path that starts with separators starts with exactly two.
std::string FoldDoubleSeparators(std::string_view path);

}  // namespace folders
}  // namespace lintavel
