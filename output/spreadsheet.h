#pragma once

#include <QDeadlineTimer>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "output/list_table.h"

namespace lintavel {

// Called once with the empty text when the spreadsheet application shows a
// workbook, or with the description of why it could not.
using ShowVerdict = std::function<void(const QString& failure)>;

// The spreadsheet application that shows a results workbook to the user.
class SpreadsheetApp {
 public:
  virtual ~SpreadsheetApp() = default;
  // Whether the application can be started and show a workbook at all.
  virtual bool IsInstalled() = 0;
  // Starts opening `workbook` as a new, untitled document, visible to the user;
  // `verdict` comes later, on this thread, unless this object is gone by then.
  // Throws std::runtime_error when the application cannot be started at all.
  virtual void OpenAsNewDocument(const QString& workbook, ShowVerdict verdict) = 0;
};

// LibreOffice Calc, found on PATH as soffice, libreoffice or localc. A start
// counts as shown when the program hands the workbook to a running instance
// (it exits without error) or is still running after `show_wait`; an exit with
// an error before that is a failed start. Each start gets a temporary folder of
// its own, removed when that process has ended, so that a failed start leaves
// nothing behind. Calc is never stopped by this object.
class LibreOfficeCalc : public SpreadsheetApp {
 public:
  // `program` replaces the search on PATH when it is not empty.
  explicit LibreOfficeCalc(QString program = {},
                           std::chrono::milliseconds show_wait = std::chrono::seconds(10));
  // Waits, at most until their verdicts are due, for starts not yet judged, so that
  // the workbooks they load may be removed after it; calls no verdict.
  ~LibreOfficeCalc() override;

  bool IsInstalled() override;
  void OpenAsNewDocument(const QString& workbook, ShowVerdict verdict) override;

 private:
  struct Start {
    qint64 pid = 0;
    QDeadlineTimer due;
    QString temp_folder;
    ShowVerdict verdict;  // empty once given
  };
  QString Program() const;
  void Poll();
  // Whether `start` has ended; removes its temporary folder when it has.
  bool Reap(Start& start, int* status);

  QString program_;
  std::chrono::milliseconds show_wait_;
  std::vector<Start> starts_;
  QTimer poll_;
};

// The rows one sheet holds.
inline constexpr int kSheetRows = 1'048'576;
// The characters one cell holds.
inline constexpr int kCellChars = 32'767;
// What ends a text cut to fit a cell.
inline constexpr char16_t kCutMark = u'\u2026';

// Where in the workbook a cell or a failure is.
enum class WorkbookStep {
  kCreate,       // creating the workbook or a sheet
  kHeaderCell,   // a header cell
  kRowCell,      // a row's own text
  kSubItemCell,  // a sub-item text
  kFitColumns,
  kSave,
};

// The first cell that could not hold its text whole, and how many there were.
struct CutCells {
  WorkbookStep step = WorkbookStep::kRowCell;
  int list_row = 0;  // 0 for the header
  int list_column = 0;
  std::string description;
  int count = 0;
};

// A failure of the writer at `step`.
class WorkbookFailure : public std::runtime_error {
 public:
  WorkbookFailure(WorkbookStep step, const std::string& what)
      : std::runtime_error(what), step_(step) {}
  WorkbookStep step() const { return step_; }

 private:
  WorkbookStep step_;
};

// How a workbook is written.
struct WorkbookOptions {
  int rows_per_sheet = kSheetRows;
  // Where the writer keeps its scratch files; the system's temporary folder if empty.
  QString scratch_folder;
  // Set from another thread to stop the writer within a row.
  const std::atomic<bool>* cancel = nullptr;
  // Called before each list row is written (a seam for tests).
  std::function<void(int list_row)> before_row;
};

// Writes `list` as a workbook file: row 1 holds the header of each column whose
// cell in the first list row is not empty; list row r goes to sheet row r + 1, its
// non-empty cells side by side (sub-item texts without "="), an unchecked row left
// empty; every cell is text; columns are as wide as their longest text. Rows that
// one sheet cannot hold continue on further sheets, each with the header row. A
// text longer than a cell holds its first kCellChars - 1 characters and kCutMark;
// the result names the first such cell. Throws WorkbookFailure when the file
// cannot be written, or when cancelled (then no file is left).
std::optional<CutCells> WriteResultsWorkbook(const ListTable& list, const QString& file,
                                             const WorkbookOptions& options = {});

inline constexpr char kNotInstalledMessage[] =
    "Excel is not installed on this computer. You need to have it installed to use this "
    "software without error.";
inline constexpr char kNotInstalledFeatureMessage[] =
    "Excel is not installed on this computer. You need to have it installed to use this feature.";

}  // namespace lintavel
