#pragma once

#include <QCursor>
#include <QPersistentModelIndex>
#include <QProgressBar>
#include <QPushButton>
#include <QWidget>
#include <array>
#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "engine/extraction.h"
#include "output/spreadsheet.h"

namespace lintavel {

class Clipboard;
class Dialogs;
class ExtractionRunner;
class FolderScanner;
struct ScanItem;
struct ExtractionOutcome;
class ListView;
class SettingsStore;
class WorkbookExporter;
struct WorkbookOutcome;
class WordStatisticsWindow;

// Values of the window's mouse pointer setting.
namespace pointer {
inline constexpr int kDefault = 0;
inline constexpr int kArrow = 1;
inline constexpr int kHourglass = 11;
inline constexpr int kCustom = 99;
}  // namespace pointer

// Truth values as the window keeps them: 16 bits, true is -1.
inline constexpr std::int16_t kTrue = -1;
inline constexpr std::int16_t kFalse = 0;

// The flags the window's file dialogs are requested with: the read-only box
// checked, multiple selection, the explorer-style dialog and long file names.
namespace file_dialog_flag {
inline constexpr int kReadOnly = 0x1;
inline constexpr int kAllowMultiSelect = 0x200;
inline constexpr int kExplorer = 0x80000;
inline constexpr int kLongNames = 0x200000;
}  // namespace file_dialog_flag
inline constexpr int kFileDialogFlags = file_dialog_flag::kReadOnly |
                                        file_dialog_flag::kAllowMultiSelect |
                                        file_dialog_flag::kExplorer | file_dialog_flag::kLongNames;

// The product title, and the window's caption.
inline constexpr char kProductTitle[] = "Lintavel";

// The application title derived from `title`: the last word is cut off, at least
// once and until at most 40 characters are left. A title without a blank is kept
// whole (there is no word to cut).
QString ShortenTitle(const QString& title);

// The program's one window: the input list, the results list, nine buttons and the
// progress bar, laid out at fixed places. Its start-up steps run in the
// constructor; closing it ends the program.
class Form1 : public QWidget {
  Q_OBJECT

 public:
  // `program_folder` is where the files installed beside the program are found.
  Form1(Dialogs& dialogs, SettingsStore& settings, QString program_folder,
        QWidget* parent = nullptr);
  ~Form1() override;

  // Shows the window centred on the screen.
  void ShowCentred();

  ListView* ListView1() const { return list1_; }
  ListView* ListView2() const { return list2_; }
  // PushButton(1) to PushButton(9).
  QPushButton* PushButton(int number) const { return buttons_.at(number - 1); }
  QProgressBar* ProgressBar1() const { return progress_; }

  int MousePointer() const { return mouse_pointer_; }
  void SetMousePointer(int value);
  bool IsBusy() const { return mouse_pointer_ == pointer::kHourglass; }
  std::int16_t IsExtracting() const { return is_extracting_; }
  bool has_hand_cursor() const { return hand_cursor_.has_value(); }

  // The progress bar's value (0 to 100) and text.
  void SetProgress(double value, const QString& text);

  // "Start Extracting".
  void PushButton1_Click();
  // "Add File(s)".
  void PushButton2_Click();
  // Appends `paths` (the files the program was started with) to the input list in
  // their order, each made absolute against the current folder; like "Add File(s)"
  // it checks nothing, since a run reports what it cannot read. Names that are not
  // UTF-8 come as DecodeFileName gives them.
  void AddFiles(const QStringList& paths);
  // "Add All File(s) In Folder".
  void PushButton3_Click();
  // "Copy Results To Clipboard".
  void PushButton4_Click();
  // "Clear List" under the input list.
  void PushButton5_Click();
  // "Save Results As Text File".
  void PushButton6_Click();
  // "Save Results As Excel File".
  void PushButton7_Click();
  // "Clear List" under the results list.
  void PushButton9_Click();
  // Whether the spreadsheet application can be started; says so when it cannot.
  bool SaveResultsAsExcelFileIsExcelInstalled();

  // The clipboard and the spreadsheet application the outputs use (the real ones
  // unless others are handed in).
  void SetClipboard(Clipboard& clipboard) { clipboard_ = &clipboard; }
  void SetSpreadsheetApp(SpreadsheetApp& app) { spreadsheet_ = &app; }

  // The writer of the workbooks that "Save Results As Excel File" shows.
  WorkbookExporter& Workbooks() const { return *workbooks_; }
  // Stops the workbook writers, waits for the spreadsheet starts still being judged,
  // then removes the workbook folder with every workbook in it. Safe to call twice.
  void EndWorkbooks();
  // "Load Sample/Example Files".
  void PushButton8_Click();

  // Folder scans queued or running.
  int pending_scans() const;

  // Shows the "Word Statistics" window, made at first use; it counts the input list
  // when it has shown no words yet.
  void ShowWordStatistics();
  // The statistics window, or null before its first use.
  WordStatisticsWindow* WordStatistics() const { return statistics_; }

  // Waits up to `milliseconds` for the work the window started off the UI thread
  // (runs, scans, workbooks) to end; true when it has.
  bool WaitForWorkers(int milliseconds);

 signals:
  // A run has ended: its rows are in the results list, or its failure was reported.
  void ExtractionFinished();
  // A folder scan (import or drop) has delivered all its rows.
  void ScanFinished();
  // "Save Results As Excel File" has ended, the workbook shown or the failure reported.
  void WorkbookFinished();

 protected:
  void closeEvent(QCloseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void Form_Load();
  void ApplySkin();
  void SetAppTitle();
  void BuildControls();
  void FinishExtracting(ExtractionOutcome& outcome);
  // A run that failed as a whole: reported, and the window back to idle, no rows added.
  void AbandonExtracting(int line, const std::string& description);
  void EndExtracting();
  void StartScan(std::vector<ScanItem> job);
  void ScanJobFinished();
  void WireInputList();
  // The results list's context menu (statistics, copy) and the statistics shortcut.
  void WireWordStatistics();
  void FinishWorkbook(const QString& file, const WorkbookOutcome& outcome);
  void WorkbookShown(const QString& file, const QString& failure);

  // The input list's and the results list's own events.
  void ListView1_DblClick();
  void ListView1_KeyDown(int key);
  void ListView1_DragDrop(const QStringList& paths);
  void ListView1_MouseDown();
  void ListView1_ItemClick(int position);
  void ListView1_MouseMove(QPoint point);
  void ListView1_MouseUp();
  void ListView2_DblClick();
  // Removes the selected row of `list` unless the window is busy.
  void RemoveSelectedRow(ListView& list);

  Dialogs& dialogs_;
  SettingsStore& settings_;
  QString program_folder_;

  ListView* list1_ = nullptr;
  ListView* list2_ = nullptr;
  std::array<QPushButton*, 9> buttons_{};
  QProgressBar* progress_ = nullptr;
  ExtractionRunner* runner_ = nullptr;
  std::unique_ptr<Clipboard> own_clipboard_;
  std::unique_ptr<SpreadsheetApp> own_spreadsheet_;
  Clipboard* clipboard_ = nullptr;
  SpreadsheetApp* spreadsheet_ = nullptr;
  FolderScanner* scanner_ = nullptr;
  std::deque<bool> scan_hourglass_;  // per queued scan: whether it shows the hourglass
  WorkbookExporter* workbooks_ = nullptr;
  WordStatisticsWindow* statistics_ = nullptr;

  int mouse_pointer_ = pointer::kDefault;
  std::optional<QCursor> hand_cursor_;
  std::int16_t is_extracting_ = kFalse;
  std::int16_t mouse_is_down_ = kFalse;
  QPersistentModelIndex drag_item_;
  QString last_folder_;
};

}  // namespace lintavel
