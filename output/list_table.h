#pragma once

#include <QString>
#include <QStringView>

namespace lintavel {

// What the outputs read of a list: its columns with their header texts, and rows
// with one text per column and a checked state. Rows and columns count from 1.
class ListTable {
 public:
  virtual ~ListTable() = default;
  virtual int ColumnCount() const = 0;
  virtual QString HeaderText(int column) const = 0;
  virtual int RowCount() const = 0;
  // Column 1 is the row's own text, further columns its sub-items.
  virtual QString CellText(int row, int column) const = 0;
  virtual bool Checked(int row) const = 0;

  // The same cell without a copy of its text, where a list can give one; the
  // view stays valid until the list changes.
  virtual QStringView CellView(int row, int column, QString& scratch) const {
    scratch = CellText(row, column);
    return scratch;
  }
};

}  // namespace lintavel
