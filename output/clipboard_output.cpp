#include "output/clipboard_output.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
#include <vector>

namespace lintavel {

bool QtClipboard::Clear() {
  QClipboard* clipboard = QGuiApplication::clipboard();
  if (clipboard == nullptr) return false;
  clipboard->clear();
  return true;
}

bool QtClipboard::SetText(const QString& text, int format) {
  QClipboard* clipboard = QGuiApplication::clipboard();
  if (clipboard == nullptr) return false;
  if (format == 0) {
    clipboard->setText(text);
  } else {
    auto* data = new QMimeData;
    data->setData(QStringLiteral("application/x-qt-windows-mime;value=\"%1\"").arg(format),
                  text.toUtf8());
    clipboard->setMimeData(data);
  }
  return true;
}

void ClearClipboard(Clipboard& clipboard) {
  for (int attempt = 0; attempt < kClipboardAttempts; ++attempt) {
    if (clipboard.Clear()) return;
  }
}

bool SetClipboardText(Clipboard& clipboard, const QString& text, int format) {
  for (int attempt = 0; attempt < kClipboardAttempts; ++attempt) {
    if (clipboard.SetText(text, format)) return true;
  }
  return false;
}

QString ListTableText(const ListTable& list) {
  const int columns = list.ColumnCount();
  const int rows = list.RowCount();
  QString scratch;
  std::vector<qsizetype> widths;
  qsizetype total = 0;
  for (int c = 1; c <= columns; ++c) {
    qsizetype width = 0;
    for (int r = 1; r <= rows; ++r) {
      const qsizetype length = list.CellView(r, c, scratch).size();
      width = std::max(width, length);
      total += length;
    }
    widths.push_back(width);
  }
  QString text;
  text.reserve(total + static_cast<qsizetype>(rows) * (columns + 2));
  for (int r = 1; r <= rows; ++r) {
    if (!list.Checked(r)) continue;
    qsizetype line_start = text.size();
    for (int c = 1; c <= columns; ++c) {
      const QStringView cell = list.CellView(r, c, scratch);
      text += cell;
      const qsizetype width = widths[static_cast<std::size_t>(c - 1)];
      if (cell.size() < width) text += QString(width - cell.size(), QLatin1Char(' '));
      text += QLatin1Char('\t');
    }
    if (text.size() > line_start) text.chop(1);  // the tab after the last cell
    while (text.size() > line_start && text.endsWith(QLatin1Char(' '))) text.chop(1);
    text += QStringLiteral("\r\n");
  }
  return text;
}

void CopyListViewToClipboard(const ListTable& list, Clipboard& clipboard) {
  if (list.RowCount() == 0) return;
  const QString text = ListTableText(list);
  ClearClipboard(clipboard);
  SetClipboardText(clipboard, text, 0);
}

}  // namespace lintavel
