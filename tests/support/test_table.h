#pragma once

#include <QStringList>
#include <vector>

#include "output/list_table.h"

namespace lintavel::testing {

// A list with any number of columns, for the outputs' general cases.
class TestTable : public ListTable {
 public:
  struct Row {
    QStringList cells;
    bool checked = true;
  };

  TestTable(QStringList headers, std::vector<Row> rows)
      : headers_(std::move(headers)), rows_(std::move(rows)) {}

  int ColumnCount() const override { return static_cast<int>(headers_.size()); }
  QString HeaderText(int column) const override { return headers_.value(column - 1); }
  int RowCount() const override { return static_cast<int>(rows_.size()); }
  QString CellText(int row, int column) const override {
    return rows_[static_cast<std::size_t>(row - 1)].cells.value(column - 1);
  }
  bool Checked(int row) const override { return rows_[static_cast<std::size_t>(row - 1)].checked; }

 private:
  QStringList headers_;
  std::vector<Row> rows_;
};

}  // namespace lintavel::testing
