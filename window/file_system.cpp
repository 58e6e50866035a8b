#include "window/file_system.h"

#include "folders/file_names.h"
#include "window/native_names.h"

namespace lintavel {

std::u16string_view Utf16Units(QStringView text) {
  return {text.utf16(), static_cast<std::size_t>(text.size())};
}

std::string NativePath(const QString& path) { return EncodeFileName(path).toStdString(); }

QString PathText(const std::string& native) { return DecodeFileName(native); }

QChar PathSeparator() { return QChar(folders::kSeparator); }

bool PathExists(const QString& path) { return folders::PathExists(NativePath(path)); }

bool FolderExists(const QString& path) { return folders::FolderExists(NativePath(path)); }

bool FileExists(const QString& path) { return folders::FileExists(NativePath(path)); }

std::optional<int> AttributeWord(const QString& path) {
  return folders::AttributeWord(NativePath(path));
}

bool MatchesWildcard(QStringView name, QStringView pattern) {
  return folders::MatchesWildcard(Utf16Units(name), Utf16Units(pattern));
}

QStringList GetFilesInFolder(const QString& folder, const QString& pattern) {
  QStringList names;
  for (const std::string& name : folders::GetFilesInFolder(NativePath(folder), NativePath(pattern)))
    names << PathText(name);
  return names;
}

QString FixDoubleBackslashes(const QString& path) {
  return PathText(folders::FoldDoubleSeparators(NativePath(path)));
}

}  // namespace lintavel
