#pragma once

#include <QString>
#include <QStringList>
#include <QStringView>
#include <optional>
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

// The separator between folders in this platform's paths.
QChar PathSeparator();

// True when the file or folder that `path` names can be examined.
bool PathExists(const QString& path);
// True for an existing folder (also one reached through a link).
bool FolderExists(const QString& path);
// True for an existing entry that is not a folder; false for a folder or a missing path.
bool FileExists(const QString& path);

// The attribute word of `path`: directory for a folder, hidden for a name that
// starts with ".", read-only when the user may not write it, archive for a regular
// file, reparse point for a symbolic link. Nothing when the path cannot be examined.
std::optional<int> AttributeWord(const QString& path);

// True when `name` matches the wildcard `pattern`: "*" any run of characters, "?"
// one character, letters without regard to case; a pattern ending in ".*" also
// matches names without that dot ("*.*" matches every name).
bool MatchesWildcard(QStringView name, QStringView pattern);

// The names of the files (not folders) in `folder` that match `pattern` and pass
// FileExists, hidden ones included, in the order the file system lists them.
QStringList GetFilesInFolder(const QString& folder, const QString& pattern);

// A name that GetFilesInFolder gives, and whether the listing itself showed a
// regular file, so that no further query is needed to know it exists.
struct ListedFile {
  QString name;
  bool regular = false;
};
// A name whose bytes are not valid in the file-name encoding cannot be carried in
// a path, so it is left out; its raw path (folder, separator, name) is added to
// `undecodable` when given and when the decoded name matches `pattern`.
std::vector<ListedFile> ListFilesInFolder(const QString& folder, const QString& pattern,
                                          std::vector<QByteArray>* undecodable = nullptr);

// The name of a folder entry as the paths of this program carry it, or nothing when
// its bytes are not valid in the file-name encoding (a path made from a lossy
// decoding would name another file or none).
std::optional<QString> DecodeEntryName(const char* raw);

// `path` with each pair of consecutive separators made one, in one pass from the
// left ("a//b" gives "a/b", three give two). Where paths have network prefixes
// ("\\server"), a path that starts with separators starts with exactly two.
QString FixDoubleBackslashes(const QString& path);

}  // namespace lintavel
