#include <QFileInfo>

#include "shell/dialogs.h"
#include "shell/error_report.h"

namespace lintavel {

QString ComposeOpenFilesAnswer(const QStringList& chosen_paths, int buffer_chars) {
  QStringList elements;
  if (chosen_paths.size() == 1) {
    elements << chosen_paths.front();
  } else if (chosen_paths.size() > 1) {
    elements << QFileInfo(chosen_paths.front()).absolutePath();
    for (const QString& path : chosen_paths) elements << QFileInfo(path).fileName();
  }
  qsizetype needed = 1;
  for (const QString& element : elements) needed += element.size() + 1;
  if (!elements.isEmpty() && needed > buffer_chars) {
    throw CodedFailure(kFileNameBufferTooSmall, "The file name buffer is too small");
  }
  return elements.join(QChar(u'\0'));
}

}  // namespace lintavel
