#pragma once

#include <QString>

#include "output/list_table.h"

namespace lintavel {

// The system clipboard as the copy needs it; each operation tells whether it worked.
class Clipboard {
 public:
  virtual ~Clipboard() = default;
  virtual bool Clear() = 0;
  // Format 0 is plain text; another value is the clipboard's own format code.
  virtual bool SetText(const QString& text, int format) = 0;
};

// The application's clipboard through Qt.
class QtClipboard : public Clipboard {
 public:
  bool Clear() override;
  bool SetText(const QString& text, int format) override;
};

// How often a clipboard operation is tried before the copy gives up on it.
inline constexpr int kClipboardAttempts = 1000;

// Empties the clipboard, trying up to kClipboardAttempts times; never fails.
void ClearClipboard(Clipboard& clipboard);

// Puts `text` on the clipboard, trying up to kClipboardAttempts times; true when the
// last attempt worked.
bool SetClipboardText(Clipboard& clipboard, const QString& text, int format);

// The list as clipboard text: one line per checked row, each cell but the last
// filled with blanks to its column's widest text and followed by a tab, trailing
// blanks removed, CR LF after every line. No header.
QString ListTableText(const ListTable& list);

// Puts ListTableText(list) on the clipboard; a list without rows leaves the
// clipboard as it was.
void CopyListViewToClipboard(const ListTable& list, Clipboard& clipboard);

inline constexpr char kCopiedMessage[] =
    "Results have been copied to the clipboard.\r\rClick a text area where you normally type "
    "and press Ctrl+V to paste the clipboard.";

}  // namespace lintavel
