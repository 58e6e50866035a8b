#include "window/file_system.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <QDir>
#include <QFile>

#include <memory>

namespace lintavel {

namespace {

QByteArray Native(const QString& path) { return QFile::encodeName(path); }

bool WildcardFrom(QStringView name, QStringView pattern) {
  // Iterative matching with one back-track point for the last "*".
  qsizetype n = 0, p = 0, star = -1, resume = 0;
  while (n < name.size()) {
    if (p < pattern.size() && pattern[p] == u'*') {
      star = p++;
      resume = n;
    } else if (p < pattern.size() &&
               (pattern[p] == u'?' || pattern[p].toCaseFolded() == name[n].toCaseFolded())) {
      ++p;
      ++n;
    } else if (star >= 0) {
      p = star + 1;
      n = ++resume;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == u'*') ++p;
  return p == pattern.size();
}

}  // namespace

QChar PathSeparator() { return QDir::separator(); }

bool PathExists(const QString& path) {
  struct stat info {};
  return !path.isEmpty() && ::stat(Native(path).constData(), &info) == 0;
}

bool FolderExists(const QString& path) {
  const std::optional<int> word = AttributeWord(path);
  return word && (*word & attribute::kDirectory) != 0;
}

bool FileExists(const QString& path) {
  if (path.isEmpty()) return false;
  // O_PATH opens without asking for any access, like a test for existence.
  const int fd = ::open(Native(path).constData(), O_PATH | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat info {};
  const bool file = ::fstat(fd, &info) == 0 && !S_ISDIR(info.st_mode);
  ::close(fd);
  return file;
}

std::optional<int> AttributeWord(const QString& path) {
  if (path.isEmpty()) return std::nullopt;
  const QByteArray native = Native(path);
  struct stat link {};
  if (::lstat(native.constData(), &link) != 0) return std::nullopt;
  struct stat target = link;
  if (S_ISLNK(link.st_mode) && ::stat(native.constData(), &target) != 0) target = link;
  int word = 0;
  if (S_ISDIR(target.st_mode)) word |= attribute::kDirectory;
  if (S_ISREG(target.st_mode)) word |= attribute::kArchive;
  if (S_ISLNK(link.st_mode)) word |= attribute::kReparsePoint;
  QString name = path;
  while (name.size() > 1 && name.endsWith(PathSeparator())) name.chop(1);
  const QString last = name.section(PathSeparator(), -1);
  if (last.startsWith(QLatin1Char('.')) && last != QLatin1String(".") &&
      last != QLatin1String("..")) {
    word |= attribute::kHidden;
  }
  if (::access(native.constData(), W_OK) != 0) word |= attribute::kReadOnly;
  return word;
}

bool MatchesWildcard(QStringView name, QStringView pattern) {
  if (WildcardFrom(name, pattern)) return true;
  return pattern.endsWith(u".*") && !name.contains(u'.') &&
         WildcardFrom(name, pattern.first(pattern.size() - 2));
}

std::optional<QString> DecodeEntryName(const char* raw) {
  QString name = QFile::decodeName(raw);
  if (QFile::encodeName(name) != QByteArrayView(raw)) return std::nullopt;
  return name;
}

std::vector<ListedFile> ListFilesInFolder(const QString& folder, const QString& pattern,
                                          std::vector<QByteArray>* undecodable) {
  QString base = folder;
  if (!base.endsWith(PathSeparator())) base += PathSeparator();
  std::vector<ListedFile> files;
  const QByteArray native_base = Native(base);
  const std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(native_base.constData()), ::closedir);
  if (!dir) return files;
  while (const dirent* entry = ::readdir(dir.get())) {
    if (entry->d_type == DT_DIR) continue;
    const std::optional<QString> decoded = DecodeEntryName(entry->d_name);
    if (!decoded) {
      if (undecodable != nullptr && MatchesWildcard(QFile::decodeName(entry->d_name), pattern)) {
        undecodable->push_back(native_base + entry->d_name);
      }
      continue;
    }
    const QString& name = *decoded;
    if (!MatchesWildcard(name, pattern)) continue;
    // The listing names regular files as such; anything else is asked about.
    const bool regular = entry->d_type == DT_REG;
    if (regular || FileExists(base + name)) files.push_back({name, regular});
  }
  return files;
}

QStringList GetFilesInFolder(const QString& folder, const QString& pattern) {
  QStringList names;
  for (ListedFile& file : ListFilesInFolder(folder, pattern)) names << std::move(file.name);
  return names;
}

QString FixDoubleBackslashes(const QString& path) {
  const QChar separator = PathSeparator();
  const auto fold_pairs = [separator](QStringView text) {
    QString folded;
    folded.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
      folded += text[i];
      if (text[i] == separator && i + 1 < text.size() && text[i + 1] == separator) ++i;
    }
    return folded;
  };
  if (separator == u'\\' && path.startsWith(separator)) {
    qsizetype k = 1;
    while (k < path.size() && path[k] == separator) ++k;
    return QString(2, separator) + fold_pairs(QStringView(path).mid(k));
  }
  return fold_pairs(path);
}

}  // namespace lintavel
