#include "window/native_names.h"

namespace lintavel {

namespace {

constexpr char16_t kEscapeBase = 0xDC00;
constexpr char16_t kReplacement = 0xFFFD;

bool IsContinuation(unsigned char byte) { return (byte & 0xC0) == 0x80; }

// The length of the well-formed UTF-8 sequence at the start of `bytes` and its code
// point, or 0 when it is not one (overlong forms, surrogates, past U+10FFFF).
int Utf8Sequence(QByteArrayView bytes, char32_t& code) {
  const auto lead = static_cast<unsigned char>(bytes[0]);
  int length = 0;
  char32_t minimum = 0;
  if (lead < 0x80) {
    code = lead;
    return 1;
  } else if ((lead & 0xE0) == 0xC0) {
    length = 2, code = lead & 0x1F, minimum = 0x80;
  } else if ((lead & 0xF0) == 0xE0) {
    length = 3, code = lead & 0x0F, minimum = 0x800;
  } else if ((lead & 0xF8) == 0xF0) {
    length = 4, code = lead & 0x07, minimum = 0x10000;
  } else {
    return 0;
  }
  if (bytes.size() < length) return 0;
  for (int i = 1; i < length; ++i) {
    const auto next = static_cast<unsigned char>(bytes[i]);
    if (!IsContinuation(next)) return 0;
    code = (code << 6) | (next & 0x3F);
  }
  if (code < minimum || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return 0;
  return length;
}

bool IsEscapedByte(QStringView name, qsizetype i) {
  const char16_t unit = name[i].unicode();
  return unit >= kEscapeBase + 0x80 && unit <= kEscapeBase + 0xFF &&
         (i == 0 || !name[i - 1].isHighSurrogate());
}

void AppendUtf8(QByteArray& out, char32_t code) {
  if (code < 0x80) {
    out += static_cast<char>(code);
  } else if (code < 0x800) {
    out += static_cast<char>(0xC0 | (code >> 6));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else if (code < 0x10000) {
    out += static_cast<char>(0xE0 | (code >> 12));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (code >> 18));
    out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  }
}

}  // namespace

QString DecodeFileName(QByteArrayView native) {
  QString name;
  name.reserve(native.size());
  while (!native.empty()) {
    char32_t code = 0;
    const int length = Utf8Sequence(native, code);
    if (length == 0) {
      name += QChar(static_cast<char16_t>(kEscapeBase + static_cast<unsigned char>(native[0])));
      native = native.sliced(1);
      continue;
    }
    name += QString::fromUcs4(&code, 1);
    native = native.sliced(length);
  }
  return name;
}

QByteArray EncodeFileName(QStringView name) {
  QByteArray native;
  native.reserve(name.size());
  for (qsizetype i = 0; i < name.size(); ++i) {
    const QChar unit = name[i];
    if (IsEscapedByte(name, i)) {
      native += static_cast<char>(unit.unicode() - kEscapeBase);
    } else if (unit.isHighSurrogate() && i + 1 < name.size() && name[i + 1].isLowSurrogate()) {
      AppendUtf8(native, QChar::surrogateToUcs4(unit, name[i + 1]));
      ++i;
    } else if (unit.isSurrogate()) {
      AppendUtf8(native, kReplacement);
    } else {
      AppendUtf8(native, unit.unicode());
    }
  }
  return native;
}

QString ShownFileName(QStringView name) {
  QString shown = name.toString();
  for (qsizetype i = 0; i < shown.size(); ++i) {
    if (IsEscapedByte(name, i)) shown[i] = QChar(kReplacement);
  }
  return shown;
}

}  // namespace lintavel
