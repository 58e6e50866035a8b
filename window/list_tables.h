#pragma once

#include "output/list_table.h"
#include "window/list_view.h"
#include "window/text_rows.h"

namespace lintavel {

// A list of the window as the outputs read it: one column, every row checked.
class ListViewTable : public ListTable {
 public:
  explicit ListViewTable(const ListView& list) : list_(list) {}
  int ColumnCount() const override { return 1; }
  QString HeaderText(int) const override { return list_.HeaderText(); }
  int RowCount() const override { return list_.Count(); }
  QString CellText(int row, int column) const override {
    return column == 1 ? list_.Text(row) : QString();
  }
  bool Checked(int) const override { return true; }
  QStringView CellView(int row, int column, QString& scratch) const override {
    return column == 1 ? list_.rows_model().rows().View(static_cast<std::size_t>(row - 1), scratch)
                       : QStringView();
  }

 private:
  const ListView& list_;
};

// A copy of a list's rows and header, for an output that runs off the UI thread.
class ListSnapshot : public ListTable {
 public:
  ListSnapshot(const ListView& list)
      : rows_(list.rows_model().rows()), header_(list.HeaderText()) {}
  int ColumnCount() const override { return 1; }
  QString HeaderText(int) const override { return header_; }
  int RowCount() const override { return static_cast<int>(rows_.size()); }
  QString CellText(int row, int column) const override {
    return column == 1 ? rows_.Text(static_cast<std::size_t>(row - 1)) : QString();
  }
  bool Checked(int) const override { return true; }
  QStringView CellView(int row, int column, QString& scratch) const override {
    return column == 1 ? rows_.View(static_cast<std::size_t>(row - 1), scratch) : QStringView();
  }

 private:
  TextRows rows_;
  QString header_;
};

}  // namespace lintavel
