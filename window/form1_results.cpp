// The window's handlers of the results list: copy to the clipboard, save as a text
// file, save as a workbook, clear.
#include <QDir>
#include <QFile>
#include <QFutureWatcher>
#include <QTemporaryFile>
#include <QtConcurrent>
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
  procedure.Step(108, [&] { request.flags = 2621953; });
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
  const bool named = procedure.Step(114, [&] {
    QTemporaryFile reserved(QDir::temp().filePath(QStringLiteral("Lintavel Results XXXXXX.xlsx")));
    reserved.setAutoRemove(false);
    if (!reserved.open()) throw std::runtime_error(reserved.errorString().toStdString());
    file = reserved.fileName();
  });
  if (!named) {
    SetMousePointer(pointer::kDefault);
    emit WorkbookFinished();
    return;
  }
  // The workbook is written off the UI thread, from a copy of the rows.
  auto snapshot = std::make_shared<ListSnapshot>(*list2_);
  auto* watcher = new QFutureWatcher<QString>(this);
  connect(watcher, &QFutureWatcher<QString>::finished, this, [this, watcher, file] {
    watcher->deleteLater();
    ReportingProcedure finishing(location::kSaveResultsExcel, DialogReportSink(dialogs_));
    const QString failure = watcher->result();
    const bool written = failure.isEmpty();
    if (!written) {
      QFile::remove(file);
      finishing.Step(114, [&] { throw std::runtime_error(failure.toStdString()); });
    }
    if (written) finishing.Step(112, [&] { spreadsheet_->OpenAsNewDocument(file); });
    finishing.Step(176, [&] { SetMousePointer(pointer::kDefault); });
    emit WorkbookFinished();
  });
  watcher->setFuture(QtConcurrent::run([snapshot, file]() -> QString {
    try {
      WriteResultsWorkbook(*snapshot, file);
      return {};
    } catch (const std::exception& failure) {
      return QString::fromStdString(failure.what());
    }
  }));
}

void Form1::PushButton9_Click() {
  ReportingProcedure procedure(location::kClearResults, DialogReportSink(dialogs_));
  procedure.Step(100, [&] { list2_->Clear(); });
  procedure.Step(102, [&] { list2_->SetHeaderText(QStringLiteral("Results")); });
}

}  // namespace lintavel
