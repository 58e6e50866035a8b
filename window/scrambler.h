#pragma once

#include <QString>

namespace lintavel {

// The fixed key of the sample list's scrambling: eight lower-case letters.
inline constexpr char kScramblingKey[] = "quorvane";

// Adds to each character's Windows-1252 code the code of the key character in
// turn (the key repeats), taking 255 off a sum above 255. The result has as many
// characters as `text`.
QString ScrambleText(const QString& text, const QString& key);

// Undoes ScrambleText with the same key, for texts whose characters have codes 1
// to 255 in Windows-1252.
QString UnscrambleText(const QString& text, const QString& key);

}  // namespace lintavel
