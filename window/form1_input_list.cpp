// The window's handlers of the input list: "Add File(s)", the folder import, "Clear
// List", drops, removals and moving rows with the mouse.
#include <QCursor>
#include <QDir>
#include <algorithm>
#include <filesystem>
#include <stdexcept>

#include "shell/application_error_box.h"
#include "shell/dialogs.h"
#include "shell/settings_store.h"
#include "window/file_system.h"
#include "window/folder_scanner.h"
#include "window/form1.h"
#include "window/list_view.h"
#include "window/native_names.h"
#include "window/pointer_image.h"

namespace lintavel {

namespace {

const QString kTooManyFiles = QStringLiteral(
    "You've selected too many files to add.\r\rPlease try adding via the \"Add All\" button.");
const QString kExtensionPrompt = QStringLiteral(
    "Enter file extension to load:\r\r(* for all files, txt for all txt files, doc for all doc "
    "files, etc.)");

}  // namespace

void Form1::PushButton2_Click() {
  bool too_many = false;
  ReportingProcedure procedure(location::kAddFiles, [&](const ApplicationError& error) {
    if (error.code == kFileNameBufferTooSmall) {
      too_many = true;
      dialogs_.MessageBox(kTooManyFiles, MessageStyle::kOkOnly);
      return;
    }
    ShowApplicationError(dialogs_, error.location, error.line, error.description);
  });
  OpenFilesRequest request;
  procedure.Step(102, [&] { request.flags = kFileDialogFlags; });
  procedure.Step(104, [&] {
    request.title = QStringLiteral("Add File(s) - Hold Ctrl to select multiple files");
  });
  procedure.Step(106, [&] {
    request.filter = QStringLiteral(
        "Text Files (*.txt)|*.txt|HTML Files (*.htm;*.html)|*.htm;*.html|All Files (*.*)|*.*|");
  });
  QString answer;
  procedure.Step(108, [&] { answer = dialogs_.OpenFiles(request); });
  if (too_many || answer.isEmpty()) return;
  QStringList parts;
  procedure.Step(112, [&] { parts = answer.split(QChar(u'\0')); });
  if (parts.size() == 1) {
    procedure.Step(118, [&] { list1_->Append(parts.front()); });
    return;
  }
  for (qsizetype i = 1; i < parts.size(); ++i) {
    procedure.Step(132, [&] {
      list1_->Append(FixDoubleBackslashes(parts.front() + PathSeparator() + parts[i]));
    });
  }
}

void Form1::AddFiles(const QStringList& paths) {
  // The current folder's own bytes, as the names' own are kept.
  std::error_code no_folder;  // a current folder that is gone leaves the names as given
  const QString current = DecodeFileName(std::filesystem::current_path(no_folder).native());
  for (const QString& path : paths) {
    if (path.isEmpty()) continue;
    list1_->Append(QDir::cleanPath(QDir::isAbsolutePath(path) ? path : current + '/' + path));
  }
}

void Form1::PushButton3_Click() {
  ReportingProcedure procedure(location::kAddAllInFolder, DialogReportSink(dialogs_));
  const QString extension_key = QString::fromLatin1(kSettingExtension);
  const QString folder_key = QString::fromLatin1(kSettingLastFolder);
  QString extension;
  procedure.Step(100, [&] {
    extension = dialogs_.InputBox(kExtensionPrompt, QString(),
                                  settings_.GetSetting(extension_key, QStringLiteral("txt")));
  });
  if (extension.isEmpty()) return;
  procedure.Step(104, [&] { settings_.SaveSetting(extension_key, extension); });
  QString chosen;
  procedure.Step(106, [&] {
    last_folder_ = settings_.GetSetting(folder_key, QString());
    chosen = dialogs_.BrowseForFolder(QStringLiteral("Please select folder:"), last_folder_);
  });
  if (chosen.isEmpty()) return;
  procedure.Step(333, [&] { last_folder_ = chosen; });
  procedure.Step(334, [&] { settings_.SaveSetting(folder_key, chosen); });
  procedure.Step(110, [&] {
    StartScan({ScanItem{chosen, true, QStringLiteral("*.") + extension}});
  });
}

void Form1::PushButton5_Click() {
  ReportingProcedure procedure(location::kClearInputList, DialogReportSink(dialogs_));
  procedure.Step(100, [&] {
    if (!IsBusy()) list1_->Clear();
  });
}

int Form1::pending_scans() const { return scanner_->pending(); }

void Form1::StartScan(std::vector<ScanItem> job) {
  const bool has_folder =
      std::any_of(job.begin(), job.end(), [](const ScanItem& item) { return item.is_folder; });
  if (has_folder) SetMousePointer(pointer::kHourglass);
  scan_hourglass_.push_back(has_folder);
  scanner_->Start(std::move(job));
}

void Form1::ScanJobFinished() {
  const bool had_hourglass = !scan_hourglass_.empty() && scan_hourglass_.front();
  if (!scan_hourglass_.empty()) scan_hourglass_.pop_front();
  const bool still_scanning =
      std::find(scan_hourglass_.begin(), scan_hourglass_.end(), true) != scan_hourglass_.end();
  if (had_hourglass && !still_scanning) SetMousePointer(pointer::kDefault);
  emit ScanFinished();
}

void Form1::RemoveSelectedRow(ListView& list) {
  if (IsBusy() || list.Count() == 0) return;
  if (const int selected = list.SelectedPosition(); selected != 0) list.Remove(selected);
}

void Form1::ListView1_DblClick() { RemoveSelectedRow(*list1_); }

void Form1::ListView1_KeyDown(int key) {
  if (key == Qt::Key_Delete) RemoveSelectedRow(*list1_);
}

void Form1::ListView2_DblClick() { RemoveSelectedRow(*list2_); }

void Form1::ListView1_DragDrop(const QStringList& paths) {
  std::vector<ScanItem> job;
  for (const QString& path : paths) {
    const std::optional<int> word = AttributeWord(path);
    if (!word) continue;  // vanished or cannot be examined: nothing to add
    const bool folder = (*word & attribute::kDirectory) != 0;
    job.push_back(ScanItem{path, folder, QStringLiteral("*.*")});
  }
  if (!job.empty()) StartScan(std::move(job));
}

void Form1::ListView1_MouseDown() { mouse_is_down_ = kTrue; }

void Form1::ListView1_ItemClick(int position) {
  drag_item_ = list1_->rows_model().index(position - 1);
  try {
    list1_->SetListPointer(pointer::kCustom,
                           LoadPointerImage(program_folder_ + PathSeparator() + "drag.ico"));
  } catch (const std::exception&) {
    // Without its image the list keeps its own pointer.
  }
  list1_->SetRowDragging(true);
}

void Form1::ListView1_MouseMove(QPoint point) {
  if (!IsBusy()) SetMousePointer(pointer::kDefault);
  if (mouse_is_down_ != kTrue) return;
  const int under = list1_->HitTest(point);
  if (under == 0 || !drag_item_.isValid()) return;
  const int dragged = drag_item_.row() + 1;
  const QString dragged_text = list1_->Text(dragged);
  const QString under_text = list1_->Text(under);
  if (dragged_text == under_text) return;
  list1_->SetText(dragged, under_text);
  list1_->SetText(under, dragged_text);
  list1_->Select(under);
  drag_item_ = list1_->rows_model().index(under - 1);
  // Near the top or the bottom of the screen the list scrolls on.
  const int screen_y = QCursor::pos().y();
  if (screen_y < 305 && under > 1) list1_->ScrollIntoView(under - 1);
  if (screen_y > 364 && under < list1_->Count()) list1_->ScrollIntoView(under + 1);
}

void Form1::ListView1_MouseUp() {
  mouse_is_down_ = kFalse;
  list1_->SetListPointer(pointer::kArrow);
}

}  // namespace lintavel
