#include "window/form1.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFile>
#include <QFileInfo>
#include <QFutureWatcher>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QScreen>
#include <QStyle>
#include <QTemporaryFile>
#include <QtConcurrent>
#include <stdexcept>
#include <utility>

#include "output/clipboard_output.h"
#include "output/spreadsheet.h"
#include "output/text_file_output.h"
#include "shell/application_error_box.h"
#include "shell/dialogs.h"
#include "shell/settings_store.h"
#include "window/extraction_runner.h"
#include "window/file_system.h"
#include "window/folder_scanner.h"
#include "window/list_tables.h"
#include "window/list_view.h"
#include "window/pointer_image.h"
#include "window/samples.h"
#include "window/skin.h"

namespace lintavel {

namespace {

constexpr int kClientWidthTwips = 8040;
constexpr int kClientHeightTwips = 8445;
constexpr int kColumnWidthTwips = 7000;

struct ButtonPlace {
  int number;
  const char* caption;
  int left, top, width, height;
};

// The buttons by number, with their captions and places in twips.
constexpr ButtonPlace kButtons[] = {
    {1, "Start Extracting", 120, 3770, 7800, 405},
    {2, "Add File(s)", 120, 2750, 3840, 405},
    {3, "Add All File(s) In Folder", 4080, 2750, 3840, 405},
    {4, "Copy Results To Clipboard", 120, 7410, 3840, 405},
    {5, "Clear List", 120, 3260, 3840, 405},
    {6, "Save Results As Text File", 120, 6900, 3840, 405},
    {7, "Save Results As Excel File", 4080, 6900, 3840, 405},
    {8, "Load Sample/Example Files", 4080, 3260, 3840, 405},
    {9, "Clear List", 4080, 7410, 3840, 405},
};

QRect Twips(int left, int top, int width, int height) {
  return QRect(TwipsToPixels(left), TwipsToPixels(top), TwipsToPixels(width),
               TwipsToPixels(height));
}

QFont ArialBold(qreal points) {
  QFont font(QStringLiteral("Arial"));
  // Where Arial is missing, a font with the same metrics stands in.
  font.setFamilies(
      {QStringLiteral("Arial"), QStringLiteral("Liberation Sans"), QStringLiteral("Arimo")});
  font.setPointSizeF(points);
  font.setBold(true);
  return font;
}

const QString kNoFilesAdded = QStringLiteral("No files added.");
const QString kDone = QStringLiteral("Done.");
const QString kProgressText = QStringLiteral("Progress Bar");
const QString kTooManyFiles = QStringLiteral(
    "You've selected too many files to add.\r\rPlease try adding via the \"Add All\" button.");
const QString kExtensionPrompt = QStringLiteral(
    "Enter file extension to load:\r\r(* for all files, txt for all txt files, doc for all doc "
    "files, etc.)");

}  // namespace

QString ShortenTitle(const QString& title) {
  QString shortened = title;
  do {
    const qsizetype blank = shortened.lastIndexOf(QLatin1Char(' '));
    if (blank < 0) break;
    shortened.truncate(blank);
  } while (shortened.size() > 40);
  return shortened;
}

Form1::Form1(Dialogs& dialogs, SettingsStore& settings, QString program_folder, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint |
                          Qt::MSWindowsFixedSizeDialogHint),
      dialogs_(dialogs),
      settings_(settings),
      program_folder_(std::move(program_folder)),
      own_clipboard_(std::make_unique<QtClipboard>()),
      own_spreadsheet_(std::make_unique<LibreOfficeCalc>()),
      clipboard_(own_clipboard_.get()),
      spreadsheet_(own_spreadsheet_.get()) {
  setObjectName(QStringLiteral("Form1"));
  BuildControls();
  runner_ = new ExtractionRunner(dialogs_, this);
  connect(runner_, &ExtractionRunner::Progress, this,
          [this](double percent) { SetProgress(percent, progress_->format()); });
  connect(
      runner_, &ExtractionRunner::Finished, this,
      [this](const std::shared_ptr<ExtractionOutcome>& outcome) { FinishExtracting(*outcome); });
  scanner_ = new FolderScanner(dialogs_, this);
  connect(scanner_, &FolderScanner::RowsFound, list1_, &ListView::AppendTexts);
  connect(scanner_, &FolderScanner::JobFinished, this, &Form1::ScanJobFinished);
  WireInputList();
  Form_Load();
}

Form1::~Form1() = default;

void Form1::WireInputList() {
  list1_->SetAcceptsFileDrops(true);
  list1_->SetRowDragging(true);
  connect(list1_, &ListView::RowDoubleClicked, this, &Form1::ListView1_DblClick);
  connect(list1_, &ListView::KeyDown, this, &Form1::ListView1_KeyDown);
  connect(list1_, &ListView::FilesDropped, this, &Form1::ListView1_OLEDragDrop);
  connect(list1_, &ListView::MouseDown, this, &Form1::ListView1_MouseDown);
  connect(list1_, &ListView::RowClicked, this, &Form1::ListView1_ItemClick);
  connect(list1_, &ListView::PointerMoved, this, &Form1::ListView1_MouseMove);
  connect(list1_, &ListView::MouseUp, this, &Form1::ListView1_MouseUp);
  connect(list2_, &ListView::RowDoubleClicked, this, &Form1::ListView2_DblClick);
  connect(PushButton(2), &QPushButton::clicked, this, &Form1::PushButton2_Click);
  connect(PushButton(3), &QPushButton::clicked, this, &Form1::PushButton3_Click);
  connect(PushButton(5), &QPushButton::clicked, this, &Form1::PushButton5_Click);
  connect(PushButton(4), &QPushButton::clicked, this, &Form1::PushButton4_Click);
  connect(PushButton(6), &QPushButton::clicked, this, &Form1::PushButton6_Click);
  connect(PushButton(7), &QPushButton::clicked, this, &Form1::PushButton7_Click);
  connect(PushButton(9), &QPushButton::clicked, this, &Form1::PushButton9_Click);
}

void Form1::BuildControls() {
  setFixedSize(TwipsToPixels(kClientWidthTwips), TwipsToPixels(kClientHeightTwips));
  setFont(ArialBold(9));
  setAutoFillBackground(true);
  QPalette white = palette();
  white.setColor(QPalette::Window, Qt::white);
  setPalette(white);
  setMouseTracking(true);

  list1_ = new ListView(this);
  list1_->setObjectName(QStringLiteral("ListView1"));
  list1_->setGeometry(Twips(120, 120, 7800, 2535));
  list1_->setToolTip(
      QStringLiteral("Drag and drop files here. Double-click item to remove it. Move | line to "
                     "right and out of window to reveal full names."));
  list2_ = new ListView(this);
  list2_->setObjectName(QStringLiteral("ListView2"));
  list2_->setGeometry(Twips(120, 4270, 7800, 2535));
  list2_->setToolTip(
      QStringLiteral("Double-click item to remove it. Move | line to right and out of window to "
                     "reveal full names."));
  for (ListView* list : {list1_, list2_}) list->setFont(ArialBold(9));
  connect(list2_, &ListView::PointerMoved, this, [this] {
    if (!IsBusy()) SetMousePointer(pointer::kDefault);
  });

  for (const ButtonPlace& place : kButtons) {
    auto* button = new QPushButton(QString::fromLatin1(place.caption), this);
    button->setObjectName(QStringLiteral("PushButton%1").arg(place.number));
    button->setGeometry(Twips(place.left, place.top, place.width, place.height));
    button->setFont(ArialBold(11.25));
    button->setMouseTracking(true);
    button->installEventFilter(this);
    buttons_[static_cast<std::size_t>(place.number - 1)] = button;
  }
  connect(PushButton(1), &QPushButton::clicked, this, &Form1::PushButton1_Click);
  connect(PushButton(8), &QPushButton::clicked, this, &Form1::PushButton8_Click);

  progress_ = new QProgressBar(this);
  progress_->setObjectName(QStringLiteral("ProgressBar1"));
  progress_->setGeometry(Twips(120, 7930, 7800, 405));
  progress_->setRange(0, 100);
  progress_->setTextVisible(true);
  progress_->setAlignment(Qt::AlignCenter);
  SetProgress(0, kProgressText);

  // The input list has the focus first; then as the layout's tab order goes.
  const std::array<QWidget*, 12> tab_order = {
      list1_,        progress_,     list2_,        PushButton(6), PushButton(7), PushButton(9),
      PushButton(2), PushButton(3), PushButton(1), PushButton(4), PushButton(5), PushButton(8)};
  for (std::size_t i = 1; i < tab_order.size(); ++i) {
    setTabOrder(tab_order[i - 1], tab_order[i]);
  }
  list1_->setFocus();
}

void Form1::Form_Load() {
  ReportingProcedure procedure(location::kFormLoad, DialogReportSink(dialogs_));
  procedure.Step(100, [&] { ApplySkin(); });
  const QString hand = program_folder_ + PathSeparator() + QStringLiteral("HAND-M.CUR");
  bool hand_exists = false;
  procedure.Step(104, [&] { hand_exists = PathExists(hand); });
  if (hand_exists) procedure.Step(106, [&] { hand_cursor_ = LoadPointerImage(hand); });
  const QString snapshot = QString::fromLatin1(kSettingSnapshot);
  procedure.Step(108, [&] {
    if (settings_.GetSetting(snapshot, QString()).isEmpty()) {
      TakeSamplesSnapshot(program_folder_, settings_);
    }
  });
  procedure.Step(124, [&] {
    if (settings_.GetSetting(snapshot, QString()).isEmpty()) {
      TakeSamplesSnapshot(program_folder_, settings_);
    }
  });
  procedure.Step(126, [&] {
    setWindowTitle(QString::fromLatin1(kProductTitle));
    setWindowIcon(QApplication::windowIcon());
    SetAppTitle();
  });
  procedure.Step(128, [&] { list1_->AddColumnHeader(QStringLiteral("File(s)")); });
  procedure.Step(130, [&] { list1_->SetColumnWidthTwips(kColumnWidthTwips); });
  procedure.Step(132, [&] { list2_->ClearColumnHeaders(); });
  procedure.Step(134, [&] { list2_->AddColumnHeader(QStringLiteral("Results")); });
  procedure.Step(136, [&] { list2_->SetColumnWidthTwips(kColumnWidthTwips); });
}

void Form1::ApplySkin() {
  const QString file = program_folder_ + PathSeparator() + QStringLiteral("x") + PathSeparator() +
                       QStringLiteral("o.cjs");
  const std::optional<int> word = AttributeWord(file);
  if (!word || (*word & (attribute::kDirectory | attribute::kHidden)) != 0) return;
  QPalette skinned = palette();
  skinned.setColor(QPalette::Window, QApplication::palette().color(QPalette::Button));
  setPalette(skinned);
  ApplyStyleSheetFile(*this, file);
}

void Form1::SetAppTitle() {
  QGuiApplication::setApplicationDisplayName(ShortenTitle(QString::fromLatin1(kProductTitle)));
}

void Form1::ShowCentred() {
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    QRect frame = frameGeometry();
    frame.moveCenter(screen->availableGeometry().center());
    move(frame.topLeft());
  }
  show();
}

void Form1::SetMousePointer(int value) {
  mouse_pointer_ = value;
  switch (value) {
    case pointer::kArrow:
      setCursor(Qt::ArrowCursor);
      break;
    case pointer::kHourglass:
      setCursor(Qt::WaitCursor);
      break;
    case pointer::kCustom:
      if (hand_cursor_) {
        setCursor(*hand_cursor_);
      } else {
        unsetCursor();
      }
      break;
    default:
      unsetCursor();
      break;
  }
}

void Form1::SetProgress(double value, const QString& text) {
  progress_value_ = value;
  progress_->setValue(static_cast<int>(value + 0.5));
  progress_->setFormat(text);
}

void Form1::mouseMoveEvent(QMouseEvent* event) {
  // A button passes on the moves it does not use; only the background's own count.
  const bool over_background = childAt(event->position().toPoint()) == nullptr;
  if (over_background && !IsBusy()) SetMousePointer(pointer::kDefault);
  QWidget::mouseMoveEvent(event);
}

bool Form1::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::MouseMove && !IsBusy()) SetMousePointer(pointer::kCustom);
  return QWidget::eventFilter(watched, event);
}

void Form1::closeEvent(QCloseEvent* event) {
  // Closing ends the program at once: a run under way is abandoned, nothing is asked.
  runner_->Cancel();
  scanner_->Cancel();
  event->accept();
  QApplication::quit();
}

void Form1::PushButton1_Click() {
  ReportingProcedure procedure(location::kStartExtracting, DialogReportSink(dialogs_));
  bool busy = false;
  procedure.Step(106, [&] { busy = is_extracting_ == kTrue; });
  if (busy) return;
  procedure.Step(108, [&] { is_extracting_ = kTrue; });
  bool no_rows = false;
  procedure.Step(110, [&] { no_rows = list1_->Count() == 0; });
  if (no_rows) {
    procedure.Step(276, [&] { dialogs_.MessageBox(kNoFilesAdded, MessageStyle::kOkOnly); });
    procedure.Step(278, [&] { is_extracting_ = kFalse; });
    return;
  }
  QStringList files;
  procedure.Step(116, [&] {
    const int count = list1_->Count();
    files.reserve(count);
    for (int p = 1; p <= count; ++p) files << list1_->Text(p);
  });
  procedure.Step(122, [&] { SetMousePointer(pointer::kHourglass); });
  procedure.Step(124, [&] { runner_->Start(files); });
}

void Form1::FinishExtracting(ExtractionOutcome& outcome) {
  ReportingProcedure procedure(location::kStartExtracting, DialogReportSink(dialogs_));
  procedure.Step(258, [&] { list2_->AppendRows(std::move(outcome.rows)); });
  procedure.Step(266, [&] {
    list2_->SetHeaderText(QStringLiteral("Results (Total Word Count: %1)").arg(outcome.total));
  });
  procedure.Step(270, [&] { SetMousePointer(pointer::kDefault); });
  procedure.Step(272, [&] {
    SetProgress(0, kProgressText);
    dialogs_.MessageBox(kDone, MessageStyle::kOkOnly);
  });
  procedure.Step(274, [&] { list2_->setEnabled(true); });
  procedure.Step(278, [&] { is_extracting_ = kFalse; });
  emit ExtractionFinished();
}

void Form1::PushButton8_Click() {
  ReportingProcedure procedure(location::kLoadSamples, DialogReportSink(dialogs_));
  procedure.Step(100, [&] { LoadSampleFiles(*list1_, program_folder_, settings_, dialogs_); });
}

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
  procedure.Step(102, [&] { request.flags = 2621953; });
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

void Form1::ListView1_OLEDragDrop(const QStringList& paths) {
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
  // After the first failed write the rest would fail as well: one report is enough.
  for (std::size_t row = 0; written && row < rows.size(); ++row) {
    written = procedure.Step(136, [&] { file->WriteLine(rows.At(row)); });
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
