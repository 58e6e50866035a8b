#include "window/pointer_image.h"

#include <QFile>
#include <QImage>
#include <QPixmap>
#include <stdexcept>

namespace lintavel {

QCursor LoadPointerImage(const QString& file) {
  QFile in(file);
  if (!in.open(QIODevice::ReadOnly)) throw std::runtime_error("File not found");
  const QByteArray bytes = in.readAll();
  const QImage image = QImage::fromData(bytes, "ICO");
  if (image.isNull()) throw std::runtime_error("Invalid picture");
  int hot_x = image.width() / 2;
  int hot_y = image.height() / 2;
  // A cursor file (type 2) keeps its hot spot in the first directory entry.
  const auto word_at = [&bytes](qsizetype at) {
    return static_cast<int>(static_cast<uchar>(bytes.at(at))) |
           static_cast<int>(static_cast<uchar>(bytes.at(at + 1))) << 8;
  };
  if (bytes.size() >= 14 && word_at(2) == 2) {
    hot_x = word_at(10);
    hot_y = word_at(12);
  }
  return QCursor(QPixmap::fromImage(image), hot_x, hot_y);
}

}  // namespace lintavel
