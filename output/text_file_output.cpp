#include "output/text_file_output.h"

#include <QFile>

#include "engine/code_page.h"

namespace lintavel {

QString OverwriteQuestion(const QString& path) {
  return QStringLiteral("Are you sure you wish to overwrite %1 ?").arg(path);
}

TextFileWriter::TextFileWriter(const QString& path)
    : file_(QFile::encodeName(path).toStdString()) {}

void TextFileWriter::WriteLine(QStringView text) {
  line_.clear();
  for (const QChar c : text) line_.push_back(static_cast<char>(EncodeCp1252(c.unicode())));
  line_.append("\r\n");
  file_.Write(line_);
}

}  // namespace lintavel
