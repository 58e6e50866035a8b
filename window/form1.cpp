#include "window/form1.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDeadlineTimer>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QScreen>
#include <QThreadPool>
#include <stdexcept>
#include <utility>

#include "output/clipboard_output.h"
#include "output/spreadsheet.h"
#include "shell/application_error_box.h"
#include "shell/dialogs.h"
#include "shell/settings_store.h"
#include "window/concordance_lines.h"
#include "window/extraction_runner.h"
#include "window/file_system.h"
#include "window/folder_scanner.h"
#include "window/list_view.h"
#include "window/pointer_image.h"
#include "window/samples.h"
#include "window/skin.h"
#include "window/word_statistics_window.h"
#include "window/workbook_exporter.h"

namespace lintavel {

namespace {

constexpr int kClientWidthTwips = 8040;
constexpr int kClientHeightTwips = 8445;
constexpr int kColumnWidthTwips = 7000;

struct ButtonPlace {
  int number;
  const char* caption;
  int left, top, width, height;
  // What a screen reader says: the caption, told apart where two are alike, and
  // what the button does.
  const char* accessible_name;
  const char* accessible_description;
};

// The buttons by number, with their captions and places in twips.
constexpr ButtonPlace kButtons[] = {
    {1, "Start Extracting", 120, 3770, 7800, 405, "Start Extracting",
     "Count the words of the files in the input list and add them to the results list"},
    {2, "Add File(s)", 120, 2750, 3840, 405, "Add File(s)",
     "Choose files to add to the input list"},
    {3, "Add All File(s) In Folder", 4080, 2750, 3840, 405, "Add All File(s) In Folder",
     "Add every file with one extension in a folder and its sub-folders to the input list"},
    {4, "Copy Results To Clipboard", 120, 7410, 3840, 405, "Copy Results To Clipboard",
     "Copy the results list to the clipboard, one word a line"},
    {5, "Clear List", 120, 3260, 3840, 405, "Clear List (input files)", "Clear the input list"},
    {6, "Save Results As Text File", 120, 6900, 3840, 405, "Save Results As Text File",
     "Save the results list as a text file, one word a line"},
    {7, "Save Results As Excel File", 4080, 6900, 3840, 405, "Save Results As Excel File",
     "Open the results list as a new workbook in the spreadsheet program"},
    {8, "Load Sample/Example Files", 4080, 3260, 3840, 405, "Load Sample/Example Files",
     "Add the example documents installed with the program to the input list"},
    {9, "Clear List", 4080, 7410, 3840, 405, "Clear List (results)", "Clear the results list"},
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
  connect(runner_, &ExtractionRunner::Failed, this, &Form1::AbandonExtracting);
  scanner_ = new FolderScanner(dialogs_, this);
  connect(scanner_, &FolderScanner::RowsFound, list1_, &ListView::AppendTexts);
  connect(scanner_, &FolderScanner::JobFinished, this, &Form1::ScanJobFinished);
  workbooks_ = new WorkbookExporter(this);
  connect(workbooks_, &WorkbookExporter::Written, this, &Form1::FinishWorkbook);
  WireInputList();
  WireWordStatistics();
  Form_Load();
}

Form1::~Form1() { EndWorkbooks(); }

void Form1::WireInputList() {
  list1_->SetAcceptsFileDrops(true);
  list1_->SetRowDragging(true);
  connect(list1_, &ListView::RowDoubleClicked, this, &Form1::ListView1_DblClick);
  connect(list1_, &ListView::KeyDown, this, &Form1::ListView1_KeyDown);
  connect(list1_, &ListView::FilesDropped, this, &Form1::ListView1_DragDrop);
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

  const auto make_list = [this](const char* name, QRect place, const QString& tooltip,
                                const QString& accessible_name) {
    auto* list = new ListView(this);
    list->setObjectName(QString::fromLatin1(name));
    list->setGeometry(place);
    list->setToolTip(tooltip);
    list->setFont(ArialBold(9));
    list->setAccessibleName(accessible_name);
    list->setAccessibleDescription(tooltip);
    return list;
  };
  list1_ = make_list(
      "ListView1", Twips(120, 120, 7800, 2535),
      QStringLiteral("Drag and drop files here. Double-click item to remove it. Move | line to "
                     "right and out of window to reveal full names."),
      QStringLiteral("Input files"));
  list2_ = make_list(
      "ListView2", Twips(120, 4270, 7800, 2535),
      QStringLiteral("Double-click item to remove it. Move | line to right and out of window to "
                     "reveal full names."),
      QStringLiteral("Results"));
  connect(list2_, &ListView::PointerMoved, this, [this] {
    if (!IsBusy()) SetMousePointer(pointer::kDefault);
  });

  for (const ButtonPlace& place : kButtons) {
    auto* button = new QPushButton(QString::fromLatin1(place.caption), this);
    button->setObjectName(QStringLiteral("PushButton%1").arg(place.number));
    button->setGeometry(Twips(place.left, place.top, place.width, place.height));
    button->setFont(ArialBold(11.25));
    button->setMouseTracking(true);
    button->setAccessibleName(QString::fromLatin1(place.accessible_name));
    button->setAccessibleDescription(QString::fromLatin1(place.accessible_description));
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
  progress_->setAccessibleName(QStringLiteral("Progress"));
  progress_->setAccessibleDescription(QStringLiteral("How much of the extraction run is done"));
  SetProgress(0, kProgressText);

  // The input list has the focus first; then as the layout's tab order goes. The
  // progress bar takes no focus, so Tab passes over it.
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
  // Recorded once the samples folder holds files; until then at every start.
  const auto record_samples_if_none = [this] {
    if (settings_.GetSetting(QString::fromLatin1(kSettingSnapshot), QString()).isEmpty()) {
      TakeSamplesSnapshot(program_folder_, settings_);
    }
  };
  procedure.Step(108, record_samples_if_none);
  procedure.Step(124, record_samples_if_none);
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
  // A focused button answers Enter as it answers Space; outside a dialog Qt's
  // buttons answer only Space.
  if (event->type() == QEvent::KeyPress) {
    const auto* key = static_cast<QKeyEvent*>(event);
    auto* button = qobject_cast<QPushButton*>(watched);
    if (button != nullptr && !key->isAutoRepeat() &&
        (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) &&
        (key->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
      button->click();
      return true;
    }
  }
  return QWidget::eventFilter(watched, event);
}

bool Form1::WaitForWorkers(int milliseconds) {
  return workbooks_->WaitForWriters(QDeadlineTimer(milliseconds)) &&
         QThreadPool::globalInstance()->waitForDone(milliseconds) &&
         ConcordanceWorker().waitForDone(milliseconds) && scanner_->WaitForDone(milliseconds);
}

void Form1::closeEvent(QCloseEvent* event) {
  // Closing ends the program at once: a run under way is abandoned, nothing is asked.
  runner_->Cancel();
  scanner_->Cancel();
  workbooks_->Cancel();
  if (statistics_) statistics_->close();
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
  if (!procedure.Step(124, [&] { runner_->Start(files); })) EndExtracting();
}

void Form1::AbandonExtracting(int line, const std::string& description) {
  ShowApplicationError(dialogs_, location::kStartExtracting, line, description);
  EndExtracting();
}

void Form1::EndExtracting() {
  SetMousePointer(pointer::kDefault);
  SetProgress(0, kProgressText);
  is_extracting_ = kFalse;
  emit ExtractionFinished();
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
  if (settings_.GetSetting(QString::fromLatin1(kSettingStatisticsAfterRun), false) ==
      QStringLiteral("True")) {
    ShowWordStatistics();
    if (!statistics_->running()) statistics_->StartRun();
  }
  emit ExtractionFinished();
}

void Form1::PushButton8_Click() {
  ReportingProcedure procedure(location::kLoadSamples, DialogReportSink(dialogs_));
  procedure.Step(100, [&] { LoadSampleFiles(*list1_, program_folder_, settings_, dialogs_); });
}

}  // namespace lintavel
