#include "output/spreadsheet.h"

#include <xlsxwriter.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <algorithm>
#include <memory>
#include <stdexcept>
#include <vector>

namespace lintavel {

namespace {

[[noreturn]] void Fail(const std::string& what, lxw_error error) {
  throw std::runtime_error(what + ": " + lxw_strerror(error));
}

void Check(lxw_error error, const char* what) {
  if (error != LXW_NO_ERROR) Fail(what, error);
}

// One sheet being written: the header row, then rows in order, and the width of
// each column's longest text.
class SheetWriter {
 public:
  SheetWriter(lxw_workbook* workbook, int number, const QStringList& header) {
    const std::string name = number == 1 ? "Results" : "Results " + std::to_string(number);
    sheet_ = workbook_add_worksheet(workbook, name.c_str());
    if (sheet_ == nullptr) throw std::runtime_error("Cannot add a sheet to the workbook");
    for (int c = 0; c < header.size(); ++c) Write(0, c, header[c]);
  }

  void Write(lxw_row_t row, int column, const QString& text) {
    const QByteArray utf8 = text.toUtf8();
    Check(worksheet_write_string(sheet_, row, static_cast<lxw_col_t>(column), utf8.constData(),
                                 nullptr),
          "Cannot write a cell");
    if (static_cast<std::size_t>(column) >= widths_.size()) widths_.resize(column + 1, 0);
    widths_[static_cast<std::size_t>(column)] =
        std::max(widths_[static_cast<std::size_t>(column)], text.size());
  }

  // Fits every column to its longest text.
  void FitColumns() {
    for (std::size_t c = 0; c < widths_.size(); ++c) {
      const double width = std::min<double>(255, static_cast<double>(widths_[c]) + 1.5);
      Check(worksheet_set_column(sheet_, static_cast<lxw_col_t>(c), static_cast<lxw_col_t>(c),
                                 width, nullptr),
            "Cannot set a column width");
    }
  }

 private:
  lxw_worksheet* sheet_ = nullptr;
  std::vector<qsizetype> widths_;
};

}  // namespace

void WriteResultsWorkbook(const ListTable& list, const QString& file, int rows_per_sheet) {
  const int columns = list.ColumnCount();
  const int rows = list.RowCount();
  QStringList header;
  for (int c = 1; c <= columns; ++c) {
    if (rows > 0 && !list.CellText(1, c).isEmpty()) header << list.HeaderText(c);
  }

  const QByteArray path = QFile::encodeName(file);
  QByteArray temp_dir = QFile::encodeName(QDir::tempPath());
  lxw_workbook_options options{};
  options.constant_memory = LXW_TRUE;  // memory stays flat however many rows
  options.tmpdir = temp_dir.data();
  options.use_zip64 = LXW_TRUE;
  std::unique_ptr<lxw_workbook, void (*)(lxw_workbook*)> workbook(
      workbook_new_opt(path.constData(), &options), [](lxw_workbook* unclosed) {
        if (unclosed != nullptr) workbook_close(unclosed);
      });
  if (!workbook)
    throw std::runtime_error("Cannot create the workbook '" + file.toStdString() + "'");

  const int data_rows_per_sheet = rows_per_sheet - 1;
  int sheet_number = 1;
  auto sheet = std::make_unique<SheetWriter>(workbook.get(), sheet_number, header);
  for (int r = 1; r <= rows; ++r) {
    const int on_sheet = (r - 1) / data_rows_per_sheet + 1;
    if (on_sheet != sheet_number) {
      sheet->FitColumns();
      sheet_number = on_sheet;
      sheet = std::make_unique<SheetWriter>(workbook.get(), sheet_number, header);
    }
    if (!list.Checked(r)) continue;
    const auto row = static_cast<lxw_row_t>((r - 1) % data_rows_per_sheet + 1);
    int column = 0;
    for (int c = 1; c <= columns; ++c) {
      QString text = list.CellText(r, c);
      if (c > 1) text.remove(QLatin1Char('='));
      if (text.isEmpty()) continue;
      sheet->Write(row, column++, text);
    }
  }
  sheet->FitColumns();
  Check(workbook_close(workbook.release()), "Cannot write the workbook");
}

QString LibreOfficeCalc::Program() const {
  for (const char* name : {"soffice", "libreoffice", "localc"}) {
    const QString found = QStandardPaths::findExecutable(QString::fromLatin1(name));
    if (!found.isEmpty()) return found;
  }
  return {};
}

bool LibreOfficeCalc::IsInstalled() { return !Program().isEmpty(); }

void LibreOfficeCalc::OpenAsNewDocument(const QString& workbook) {
  const QString program = Program();
  // -n opens the file as a template: a new, untitled document.
  if (program.isEmpty() || !QProcess::startDetached(program, {QStringLiteral("--calc"),
                                                              QStringLiteral("-n"), workbook})) {
    throw std::runtime_error("Cannot start the spreadsheet application");
  }
}

}  // namespace lintavel
