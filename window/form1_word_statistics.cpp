// The main window's ways into the "Word Statistics" window: the results list's
// context menu, the shortcut, and the copy of the selected rows.
#include <QAction>
#include <QItemSelectionModel>
#include <algorithm>

#include "output/clipboard_output.h"
#include "window/form1.h"
#include "window/list_view.h"
#include "window/word_statistics_window.h"

namespace lintavel {

void Form1::WireWordStatistics() {
  auto* statistics = new QAction(tr("Word Statistics…"), list2_);
  statistics->setObjectName(QStringLiteral("WordStatisticsAction"));
  statistics->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_I));
  // Anywhere in the main window, not only while the results list has the focus.
  statistics->setShortcutContext(Qt::WindowShortcut);
  connect(statistics, &QAction::triggered, this, &Form1::ShowWordStatistics);
  auto* copy = new QAction(tr("Copy"), list2_);
  copy->setObjectName(QStringLiteral("CopyRowsAction"));
  connect(copy, &QAction::triggered, this, [this] {
    QModelIndexList rows = list2_->selectionModel()->selectedRows();
    std::sort(rows.begin(), rows.end());
    QStringList texts;
    for (const QModelIndex& row : rows) texts << list2_->Text(row.row() + 1);
    if (texts.isEmpty()) return;
    clipboard_->Clear();
    clipboard_->SetText(texts.join(QStringLiteral("\r\n")), 0);
  });
  list2_->addAction(statistics);
  list2_->addAction(copy);
  list2_->setContextMenuPolicy(Qt::ActionsContextMenu);
}

void Form1::ShowWordStatistics() {
  if (!statistics_) {
    statistics_ = new WordStatisticsWindow(
        dialogs_, settings_,
        [this] {
          QStringList files;
          for (int p = 1; p <= list1_->Count(); ++p) files << list1_->Text(p);
          return files;
        },
        this);
  }
  statistics_->show();
  statistics_->raise();
  statistics_->activateWindow();
  if (!statistics_->outcome() && !statistics_->running()) statistics_->StartRun();
}

}  // namespace lintavel
