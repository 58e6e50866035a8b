#pragma once

#include <QString>
#include <QStringList>

#include "output/list_table.h"

namespace lintavel {

// The spreadsheet application that shows a results workbook to the user.
class SpreadsheetApp {
 public:
  virtual ~SpreadsheetApp() = default;
  // Whether the application can be started at all.
  virtual bool IsInstalled() = 0;
  // Opens `workbook` as a new, untitled document, visible to the user; throws
  // std::runtime_error when the application cannot be started.
  virtual void OpenAsNewDocument(const QString& workbook) = 0;
};

// LibreOffice Calc, found on PATH as soffice, libreoffice or localc.
class LibreOfficeCalc : public SpreadsheetApp {
 public:
  bool IsInstalled() override;
  void OpenAsNewDocument(const QString& workbook) override;

 private:
  QString Program() const;
};

// The rows one sheet holds.
inline constexpr int kSheetRows = 1'048'576;

// Writes `list` as a workbook file: row 1 holds the header of each column whose
// cell in the first list row is not empty; list row r goes to sheet row r + 1, its
// non-empty cells side by side (sub-item texts without "="), an unchecked row left
// empty; every cell is text; columns are as wide as their longest text. Rows that
// one sheet cannot hold continue on further sheets, each with the header row.
// Throws std::runtime_error when the file cannot be written.
void WriteResultsWorkbook(const ListTable& list, const QString& file,
                          int rows_per_sheet = kSheetRows);

inline constexpr char kNotInstalledMessage[] =
    "Excel is not installed on this computer. You need to have it installed to use this "
    "software without error.";
inline constexpr char kNotInstalledFeatureMessage[] =
    "Excel is not installed on this computer. You need to have it installed to use this feature.";

}  // namespace lintavel
