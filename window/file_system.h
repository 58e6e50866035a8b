#pragma once

#include <QString>
#include <QStringList>
#include <QStringView>
#include <optional>
#include <string>
#include <string_view>

#include "folders/file_system.h"

namespace lintavel {

// The folder rules of folders/file_system.h for paths held as text, as the window
// holds them; a path goes to the system in the file-name encoding.

// The separator between folders in this platform's paths.
QChar PathSeparator();

// True when the file or folder that `path` names can be examined.
bool PathExists(const QString& path);
// True for an existing folder (also one reached through a link).
bool FolderExists(const QString& path);
// True for an existing entry that is not a folder; false for a folder or a missing path.
bool FileExists(const QString& path);

// The attribute word of `path` (see folders::AttributeWord); nothing when the path
// cannot be examined.
std::optional<int> AttributeWord(const QString& path);

// True when `name` matches the wildcard `pattern` (see folders::MatchesWildcard):
// "*" any run of characters, "?" one character, letters without regard to case; a
// pattern ending in ".*" also matches names without that dot.
bool MatchesWildcard(QStringView name, QStringView pattern);

// The names of the files (not folders) in `folder` that match `pattern` and pass
// FileExists, hidden ones included, in the order the file system lists them.
QStringList GetFilesInFolder(const QString& folder, const QString& pattern);

// `path` with each pair of consecutive separators made one, in one pass from the
// left (see folders::FoldDoubleSeparators).
QString FixDoubleBackslashes(const QString& path);

// The UTF-16 code units of `text`, as the folder rules take names and patterns.
std::u16string_view Utf16Units(QStringView text);

// `path` in the file-name encoding, as the system takes it.
std::string NativePath(const QString& path);
// The text of a path in the file-name encoding.
QString PathText(const std::string& native);

}  // namespace lintavel
