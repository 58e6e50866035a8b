#pragma once

#include <QCursor>
#include <QString>

namespace lintavel {

// Loads a cursor (.cur) or icon (.ico) file as a mouse pointer; a cursor file's hot
// spot is kept, an icon's is its centre. Throws std::runtime_error("Invalid
// picture") when the file cannot be read as an image.
QCursor LoadPointerImage(const QString& file);

}  // namespace lintavel
