#pragma once

#include <QString>
#include <QWidget>

namespace lintavel {

// Reads `file` as a Qt style sheet and applies it to `window` and its controls.
// Throws std::runtime_error, leaving the window's look as it was, when the file
// cannot be read or does not parse as a style sheet.
void ApplyStyleSheetFile(QWidget& window, const QString& file);

}  // namespace lintavel
