#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

namespace lintavel {

// File names are bytes; the window holds them as text. UTF-8 sequences become
// their characters, and every other byte b becomes the lone surrogate U+DC00 + b,
// which no UTF-8 text decodes to (the mapping of Python's os.fsdecode). Every
// byte string thus comes back whole from EncodeFileName, so a file whose name is
// not UTF-8 is still the file that is read.

// The text that stands for the file name `native`.
QString DecodeFileName(QByteArrayView native);

// The bytes of the file name that `name` stands for: the inverse of DecodeFileName.
// Other lone surrogates, which no decoded name holds, become U+FFFD.
QByteArray EncodeFileName(QStringView name);

// `name` as it can be shown: each byte that was not UTF-8 as U+FFFD.
QString ShownFileName(QStringView name);

}  // namespace lintavel
