// The window's handlers of the results list: copy to the clipboard, save as a text
// file, save as a workbook, clear.
#include <QFile>
#include <QPointer>
#include <optional>
#include <stdexcept>

#include "output/clipboard_output.h"
#include "output/spreadsheet.h"
#include "output/text_file_output.h"
#include "shell/application_error_box.h"
#include "shell/dialogs.h"
#include "window/file_system.h"
#include "window/form1.h"
#include "window/list_tables.h"
#include "window/list_view.h"
#include "window/workbook_exporter.h"

namespace lintavel {

void Form1::PushButton4_Click() {
  ReportingProcedure procedure(location::kCopyResults, DialogReportSink(dialogs_));
  procedure.Step(106, [&] { CopyListViewToClipboard(ListViewTable(*list2_), *clipboard_); });
  procedure.Step(108, [&] {
    dialogs_.MessageBox(QString::fromLatin1(kCopiedMessage), MessageStyle::kOkOnly);
  });
}

void Form1::PushButton6_Click() {
  ReportingProcedure procedure(location::kSaveResultsText, DialogReportSink(dialogs_));
  SaveFileRequest request;
  procedure.Step(108, [&] { request.flags = kFileDialogFlags; });
  procedure.Step(110, [&] { request.title = QString::fromLatin1(kSaveDialogTitle); });
  procedure.Step(112, [&] { request.filter = QString::fromLatin1(kSaveDialogFilter); });
  QString name;
  procedure.Step(114, [&] { name = dialogs_.SaveFile(request); });
  if (name.isEmpty()) return;
  MessageAnswer answer = MessageAnswer::kYes;
  procedure.Step(120, [&] {
    if (PathExists(name))
      answer = dialogs_.MessageBox(OverwriteQuestion(name), MessageStyle::kYesNo);
  });
  if (answer != MessageAnswer::kYes) return;
  procedure.Step(128, [&] { SetMousePointer(pointer::kHourglass); });
  std::optional<TextFileWriter> file;
  procedure.Step(130, [&] { file.emplace(name); });
  bool written = file.has_value();
  const TextRows& rows = list2_->rows_model().rows();
  QString scratch;
  // After the first failed write the rest would fail as well: one report is enough.
  for (std::size_t row = 0; written && row < rows.size(); ++row) {
    written = procedure.Step(136, [&] { file->WriteLine(rows.View(row, scratch)); });
  }
  if (written) procedure.Step(140, [&] { file->Commit(); });
  file.reset();  // a file not committed leaves the old one untouched
  procedure.Step(142, [&] { SetMousePointer(pointer::kDefault); });
}

bool Form1::SaveResultsAsExcelFileIsExcelInstalled() {
  bool answer = true;
  if (!spreadsheet_->IsInstalled()) {
    dialogs_.MessageBox(QString::fromLatin1(kNotInstalledMessage), MessageStyle::kOkOnly);
    answer = false;
  }
  return answer;
}

namespace {

// The line of the export's step at which the workbook failed.
int WorkbookLine(WorkbookStep step, int list_column = 1) {
  switch (step) {
    case WorkbookStep::kHeaderCell:
      return list_column == 1 ? 126 : 132;
    case WorkbookStep::kRowCell:
      return 156;
    case WorkbookStep::kSubItemCell:
      return 162;
    case WorkbookStep::kFitColumns:
      return 172;
    case WorkbookStep::kCreate:
    case WorkbookStep::kSave:
      break;
  }
  return 114;
}

}  // namespace

void Form1::PushButton7_Click() {
  ReportingProcedure procedure(location::kSaveResultsExcel, DialogReportSink(dialogs_));
  bool installed = true;
  procedure.Step(100, [&] { installed = SaveResultsAsExcelFileIsExcelInstalled(); });
  if (!installed) {
    procedure.Step(178, [&] {
      dialogs_.MessageBox(QString::fromLatin1(kNotInstalledFeatureMessage), MessageStyle::kOkOnly);
    });
    emit WorkbookFinished();
    return;
  }
  if (list2_->Count() == 0) {
    emit WorkbookFinished();
    return;
  }
  procedure.Step(110, [&] { SetMousePointer(pointer::kHourglass); });
  QString file;
  const bool named = procedure.Step(114, [&] { file = workbooks_->NewFile(); });
  // The workbook is written off the UI thread, from a copy of the rows.
  if (!named || !procedure.Step(114, [&] {
        workbooks_->Start(std::make_shared<ListSnapshot>(*list2_), file);
      })) {
    if (named) QFile::remove(file);
    SetMousePointer(pointer::kDefault);
    emit WorkbookFinished();
  }
}

void Form1::FinishWorkbook(const QString& file, const WorkbookOutcome& outcome) {
  ReportingProcedure finishing(location::kSaveResultsExcel, DialogReportSink(dialogs_));
  bool launched = false;
  if (outcome.failed_step) {
    QFile::remove(file);
    finishing.Report(WorkbookLine(*outcome.failed_step), outcome.failure);
  } else {
    // One report, however many cells were cut; the workbook is still shown.
    if (const std::optional<CutCells>& cut = outcome.cut) {
      finishing.Report(WorkbookLine(cut->step, cut->list_column),
                       cut->count == 1 ? cut->description
                                       : cut->description + " " + std::to_string(cut->count - 1) +
                                             " more cells are cut the same way.");
    }
    launched = finishing.Step(112, [&] {
      spreadsheet_->OpenAsNewDocument(file,
                                      [form = QPointer<Form1>(this), file](const QString& failure) {
                                        if (form) form->WorkbookShown(file, failure);
                                      });
    });
    if (!launched) QFile::remove(file);
  }
  finishing.Step(176, [&] { SetMousePointer(pointer::kDefault); });
  if (!launched) emit WorkbookFinished();
}

void Form1::WorkbookShown(const QString& file, const QString& failure) {
  // A workbook that was shown stays until the program ends: Calc may still be
  // loading it. One that was not is of no use to anyone.
  if (!failure.isEmpty()) {
    QFile::remove(file);
    ReportingProcedure(location::kSaveResultsExcel, DialogReportSink(dialogs_))
        .Report(112, failure.toStdString());
  }
  emit WorkbookFinished();
}

void Form1::EndWorkbooks() {
  workbooks_->StopWriters();
  spreadsheet_ = nullptr;
  own_spreadsheet_.reset();
  workbooks_->RemoveFolder();
}

void Form1::PushButton9_Click() {
  ReportingProcedure procedure(location::kClearResults, DialogReportSink(dialogs_));
  procedure.Step(100, [&] { list2_->Clear(); });
  procedure.Step(102, [&] { list2_->SetHeaderText(QStringLiteral("Results")); });
}

}  // namespace lintavel
