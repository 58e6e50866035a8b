#include <QDir>
#include <QFileInfo>

#include "shell/dialogs.h"
#include "shell/error_report.h"

namespace lintavel {

namespace {

// The deepest folder that holds every one of `paths`.
QString CommonFolder(const QStringList& paths) {
  QStringList common = QDir::cleanPath(QFileInfo(paths.front()).absolutePath()).split(u'/');
  for (const QString& path : paths) {
    const QStringList parts = QDir::cleanPath(QFileInfo(path).absolutePath()).split(u'/');
    qsizetype shared = 0;
    while (shared < common.size() && shared < parts.size() && common[shared] == parts[shared]) {
      ++shared;
    }
    common.resize(shared);
  }
  const QString folder = common.join(u'/');
  return folder.isEmpty() ? QStringLiteral("/") : folder;
}

}  // namespace

QString ComposeOpenFilesAnswer(const QStringList& chosen_paths, int buffer_chars) {
  QStringList elements;
  if (chosen_paths.size() == 1) {
    elements << chosen_paths.front();
  } else if (chosen_paths.size() > 1) {
    // Files from several folders (typed paths, a "Recent" view) are named from the
    // folder they share, so that folder + name still gives each file's own path.
    const QDir folder(CommonFolder(chosen_paths));
    elements << QDir::toNativeSeparators(folder.path());
    for (const QString& path : chosen_paths) {
      elements << QDir::toNativeSeparators(
          folder.relativeFilePath(QDir::cleanPath(QFileInfo(path).absoluteFilePath())));
    }
  }
  qsizetype needed = 1;
  for (const QString& element : elements) needed += element.size() + 1;
  if (!elements.isEmpty() && needed > buffer_chars) {
    throw CodedFailure(kFileNameBufferTooSmall, "The file name buffer is too small");
  }
  return elements.join(QChar(u'\0'));
}

}  // namespace lintavel
