#include <gtest/gtest.h>

#include "support/qt_printers.h"

#include <sys/stat.h>
#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QFileInfo>
#include <QTest>
#include <QTimer>
#include <atomic>
#include <filesystem>
#include <functional>
#include <stdexcept>

#include "output/spreadsheet.h"
#include "shell/settings_store.h"
#include "support/file_size_limit.h"
#include "support/qt_paths.h"
#include "support/scripted_dialogs.h"
#include "support/temp_dir.h"
#include "support/wait.h"
#include "window/form1.h"
#include "window/list_view.h"
#include "window/workbook_exporter.h"

namespace lintavel {
namespace {

namespace fs = std::filesystem;
using testing::ReadBytes;
using testing::WaitUntil;

using testing::Q;

// A spreadsheet application the test controls.
class ScriptedSpreadsheet : public SpreadsheetApp {
 public:
  bool IsInstalled() override { return installed; }
  void OpenAsNewDocument(const QString& workbook, ShowVerdict verdict) override {
    if (!starts) throw std::runtime_error("Cannot start the spreadsheet application");
    opened << workbook;
    QTimer::singleShot(0, [verdict] { verdict({}); });
  }
  bool installed = true;
  bool starts = true;
  QStringList opened;
};

class ResultsOutputTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // A temporary folder of its own, so that what tests running at the same time
    // leave there for a moment is not taken for what this one left.
    had_tmpdir_ = qEnvironmentVariableIsSet("TMPDIR");
    old_tmpdir_ = qgetenv("TMPDIR");
    qputenv("TMPDIR", QByteArray::fromStdString(temp_.path().string()));
    settings_ = std::make_unique<SettingsStore>(Q(config_.path() / "Quorvane.ini"));
    form_ = std::make_unique<Form1>(dialogs_, *settings_, Q(program_.path()));
    form_->SetSpreadsheetApp(spreadsheet_);
    form_->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form_.get()));
  }

  ListView& Results() { return *form_->ListView2(); }
  void Fill(const QStringList& words) {
    for (const QString& word : words) Results().Append(word);
    Results().SetHeaderText(QStringLiteral("Results (Total Word Count: %1)").arg(words.size()));
  }
  std::vector<int> ReportLines() const { return dialogs_.ReportLines(); }
  void Click(int button) { QTest::mouseClick(form_->PushButton(button), Qt::LeftButton); }

  void TearDown() override {
    form_.reset();
    if (had_tmpdir_)
      qputenv("TMPDIR", old_tmpdir_);
    else
      qunsetenv("TMPDIR");
  }

  testing::TempDir temp_;
  bool had_tmpdir_ = false;
  QByteArray old_tmpdir_;
  testing::TempDir program_;
  testing::TempDir config_;
  testing::TempDir out_;
  testing::ScriptedDialogs dialogs_;
  ScriptedSpreadsheet spreadsheet_;
  std::unique_ptr<SettingsStore> settings_;
  std::unique_ptr<Form1> form_;
};

TEST_F(ResultsOutputTest, CopyPutsOneWordPerLineOnTheClipboardAndSaysHowToPaste) {
  QGuiApplication::clipboard()->setText("before");
  Click(4);  // an empty list leaves the clipboard alone, and still confirms
  EXPECT_EQ(QGuiApplication::clipboard()->text(), "before");
  Fill({"apple", "pear"});
  Click(4);
  EXPECT_EQ(QGuiApplication::clipboard()->text(), "apple\r\npear\r\n");
  ASSERT_EQ(dialogs_.shown.size(), 2u);
  for (const auto& shown : dialogs_.shown) {
    EXPECT_EQ(shown.text,
              "Results have been copied to the clipboard.\r\rClick a text area where you normally "
              "type and press Ctrl+V to paste the clipboard.");
    EXPECT_EQ(shown.style, MessageStyle::kOkOnly);
  }
}

TEST_F(ResultsOutputTest, SaveWritesEveryRowAndAsksBeforeReplacing) {
  Fill({"apple", "caf\u00e9"});
  const fs::path file = out_.path() / "words";
  dialogs_.save_names = {Q(file)};
  Click(6);
  EXPECT_EQ(ReadBytes(file), "apple\r\ncaf\xe9\r\n");
  EXPECT_TRUE(dialogs_.shown.empty());  // no question for a new file, no confirmation
  ASSERT_EQ(dialogs_.save_requests.size(), 1u);
  EXPECT_EQ(dialogs_.save_requests[0].title, "Save");
  EXPECT_EQ(dialogs_.save_requests[0].filter, "Text Files (*.txt)|*.txt|All Files (*.*)|*.*|");

  Results().Append("pear");
  dialogs_.save_names = {Q(file), Q(file)};
  dialogs_.answers = {MessageAnswer::kNo, MessageAnswer::kYes};
  Click(6);
  EXPECT_EQ(ReadBytes(file), "apple\r\ncaf\xe9\r\n");
  Click(6);
  EXPECT_EQ(ReadBytes(file), "apple\r\ncaf\xe9\r\npear\r\n");
  ASSERT_EQ(dialogs_.shown.size(), 2u);
  EXPECT_EQ(dialogs_.shown[0].text, "Are you sure you wish to overwrite " + Q(file) + " ?");
  EXPECT_EQ(dialogs_.shown[0].style, MessageStyle::kYesNo);
  EXPECT_EQ(form_->MousePointer(), pointer::kDefault);

  Click(6);  // cancelled: nothing happens
  EXPECT_EQ(dialogs_.shown.size(), 2u);
}

TEST_F(ResultsOutputTest, AnEmptyListSavesAnEmptyFile) {
  const fs::path file = out_.Write("old.txt", "old");
  dialogs_.save_names = {Q(file)};
  dialogs_.answers = {MessageAnswer::kYes};
  Click(6);
  EXPECT_EQ(ReadBytes(file), "");
}

TEST_F(ResultsOutputTest, AFailedSaveIsReportedOnceAndThePointerComesBack) {
  Fill({"apple", "pear"});
  dialogs_.save_names = {Q(out_.path())};  // a folder
  dialogs_.answers = {MessageAnswer::kYes};
  Click(6);
  EXPECT_EQ(ReportLines(), std::vector<int>{130});
  EXPECT_TRUE(dialogs_.shown.back().text.contains("PushButton6_Click at line 130"));
  EXPECT_EQ(form_->MousePointer(), pointer::kDefault);

  // A pipe is refused as it stands, at the same step.
  const fs::path fifo = out_.path() / "fifo";
  ::mkfifo(fifo.c_str(), 0644);
  dialogs_.shown.clear();
  dialogs_.save_names = {Q(fifo)};
  dialogs_.answers = {MessageAnswer::kYes};
  Click(6);
  EXPECT_EQ(ReportLines(), std::vector<int>{130});
  EXPECT_TRUE(fs::is_fifo(fifo));

  const fs::path old = testing::TempDir::WriteFile(out_.path() / "old.txt", "old results");
  dialogs_.shown.clear();
  for (int i = 0; i < 100'000; ++i) Results().Append("filler words for a full disk");
  dialogs_.save_names = {Q(old)};
  dialogs_.answers = {MessageAnswer::kYes};
  {
    const testing::FileSizeLimit full(64 * 1024);
    Click(6);
  }
  EXPECT_EQ(ReportLines(), std::vector<int>{136});
  EXPECT_EQ(form_->MousePointer(), pointer::kDefault);
  EXPECT_EQ(testing::ReadBytes(old), "old results");
}

TEST_F(ResultsOutputTest, WithoutASpreadsheetApplicationTwoMessagesAndNothingElse) {
  Fill({"apple"});
  spreadsheet_.installed = false;
  Click(7);
  ASSERT_EQ(dialogs_.texts(),
            (QStringList{"Excel is not installed on this computer. You need to have it installed "
                         "to use this software without error.",
                         "Excel is not installed on this computer. You need to have it installed "
                         "to use this feature."}));
  EXPECT_EQ(form_->MousePointer(), pointer::kDefault);
  EXPECT_TRUE(spreadsheet_.opened.isEmpty());
}

TEST_F(ResultsOutputTest, TheWorkbookIsWrittenAndOpenedAsANewDocument) {
  Click(7);  // an empty list: nothing, not even a message
  EXPECT_TRUE(dialogs_.shown.empty());
  EXPECT_TRUE(spreadsheet_.opened.isEmpty());

  Fill({"apple", "pear"});
  bool finished = false;
  QObject::connect(form_.get(), &Form1::WorkbookFinished, [&] { finished = true; });
  Click(7);
  EXPECT_TRUE(finished || form_->MousePointer() == pointer::kHourglass);
  ASSERT_TRUE(WaitUntil([&] { return finished; }));
  ASSERT_EQ(spreadsheet_.opened.size(), 1);
  EXPECT_TRUE(spreadsheet_.opened[0].endsWith(".xlsx"));
  EXPECT_GT(fs::file_size(spreadsheet_.opened[0].toStdString()), 0u);
  EXPECT_TRUE(dialogs_.shown.empty());
  EXPECT_EQ(form_->MousePointer(), pointer::kDefault);
  fs::remove(spreadsheet_.opened[0].toStdString());
}

TEST_F(ResultsOutputTest, AnApplicationThatCannotStartIsReportedOnce) {
  Fill({"apple"});
  spreadsheet_.starts = false;
  bool finished = false;
  QObject::connect(form_.get(), &Form1::WorkbookFinished, [&] { finished = true; });
  Click(7);
  ASSERT_TRUE(WaitUntil([&] { return finished; }));
  EXPECT_EQ(ReportLines(), std::vector<int>{112});
  EXPECT_EQ(form_->MousePointer(), pointer::kDefault);
}

// What the program leaves in the temporary folder.
QStringList OursInTemp() {
  QStringList ours;
  for (const QString& name : QDir::temp().entryList(QDir::AllEntries | QDir::Hidden)) {
    if (name.startsWith("lintavel", Qt::CaseInsensitive) && !name.startsWith("lintavel-test-"))
      ours << name;
  }
  return ours;
}

TEST_F(ResultsOutputTest, AWordTooLongForACellIsReportedOnceAndTheWorkbookStillShown) {
  Fill({"apple", QString(40'000, u'x'), "pear", QString(50'000, u'z')});
  bool finished = false;
  QObject::connect(form_.get(), &Form1::WorkbookFinished, [&] { finished = true; });
  Click(7);
  ASSERT_TRUE(WaitUntil([&] { return finished; }));
  EXPECT_EQ(ReportLines(), std::vector<int>{156});
  ASSERT_EQ(dialogs_.shown.size(), 1u);
  EXPECT_TRUE(dialogs_.shown[0].text.contains("row 2 has 40000 characters"))
      << dialogs_.shown[0].text.toStdString();
  EXPECT_TRUE(dialogs_.shown[0].text.contains("PushButton7_Click at line 156"));
  ASSERT_EQ(spreadsheet_.opened.size(), 1);
  EXPECT_GT(QFileInfo(spreadsheet_.opened[0]).size(), 0);
  EXPECT_EQ(form_->MousePointer(), pointer::kDefault);
}

TEST_F(ResultsOutputTest, AFailureOffTheUiThreadIsReportedAtItsStepAndTheWindowComesBack) {
  Fill({"apple", "pear", "plum"});
  struct Case {
    const char* name;
    std::function<void(int)> before_row;  // inside the real writer
    uint stack_size;
    int line;
    const char* description;
  };
  const Case cases[] = {
      {"out of memory",
       [](int row) {
         if (row == 2) throw std::bad_alloc();
       },
       0, 156, "std::bad_alloc"},
      {"not a std::exception", [](int) { throw 1; }, 0, 156, "Unknown failure"},
      {"no thread", nullptr, 1, 114, "Cannot start a thread"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    dialogs_.shown.clear();
    form_->Workbooks().SetWriter(
        [&](const ListTable& list, const QString& file, const WorkbookOptions& options) {
          WorkbookOptions seamed = options;
          seamed.before_row = c.before_row;
          return WriteResultsWorkbook(list, file, seamed);
        });
    form_->Workbooks().SetThreadStackSize(c.stack_size);
    bool finished = false;
    const auto connection =
        QObject::connect(form_.get(), &Form1::WorkbookFinished, [&] { finished = true; });
    Click(7);
    ASSERT_TRUE(WaitUntil([&] { return finished; }));
    QObject::disconnect(connection);
    EXPECT_EQ(ReportLines(), std::vector<int>{c.line});
    ASSERT_FALSE(dialogs_.shown.empty());
    EXPECT_TRUE(dialogs_.shown[0].text.contains(c.description))
        << dialogs_.shown[0].text.toStdString();
    EXPECT_TRUE(dialogs_.shown[0].text.contains("PushButton7_Click at line"));
    EXPECT_EQ(form_->MousePointer(), pointer::kDefault);
    EXPECT_TRUE(spreadsheet_.opened.isEmpty());
    EXPECT_TRUE(QDir(form_->Workbooks().Folder()).isEmpty());  // nothing half-written
  }
  // The window is idle again: the next export goes through.
  form_->Workbooks().SetWriter(nullptr);
  form_->Workbooks().SetThreadStackSize(0);
  dialogs_.shown.clear();
  bool finished = false;
  QObject::connect(form_.get(), &Form1::WorkbookFinished, [&] { finished = true; });
  Click(7);
  ASSERT_TRUE(WaitUntil([&] { return finished; }));
  EXPECT_TRUE(dialogs_.shown.empty());
  EXPECT_EQ(spreadsheet_.opened.size(), 1);
}

TEST_F(ResultsOutputTest, WorkbooksLiveInAPrivateFolderThatGoesWithTheProgram) {
  const QStringList before = OursInTemp();
  Fill({"apple", "pear"});
  bool finished = false;
  QObject::connect(form_.get(), &Form1::WorkbookFinished, [&] { finished = true; });
  Click(7);
  ASSERT_TRUE(WaitUntil([&] { return finished; }));
  ASSERT_EQ(spreadsheet_.opened.size(), 1);
  const QString folder = form_->Workbooks().Folder();
  EXPECT_EQ(QFileInfo(spreadsheet_.opened[0]).absolutePath(), folder);
  EXPECT_EQ(QFileInfo(folder).absolutePath(), QDir::temp().absolutePath());
  // Calc may still be loading it: it stays while the program runs.
  EXPECT_TRUE(QFileInfo::exists(spreadsheet_.opened[0]));
  form_.reset();
  EXPECT_FALSE(QFileInfo::exists(folder));
  EXPECT_EQ(OursInTemp(), before);
}

TEST_F(ResultsOutputTest, ASpreadsheetProgramThatEndsWithAnErrorIsAFailedStart) {
  const QStringList before = OursInTemp();
  // A stand-in that fails as Calc without a display does, leaving scratch files.
  const fs::path program = program_.Write(
      "soffice", "#!/bin/sh\nmkdir \"$TMPDIR/lu1.tmp\"\necho 'Application Error' >&2\nexit 1\n");
  fs::permissions(program, fs::perms::owner_all);
  LibreOfficeCalc calc(Q(program), std::chrono::seconds(5));
  form_->SetSpreadsheetApp(calc);
  Fill({"apple"});
  bool finished = false;
  QObject::connect(form_.get(), &Form1::WorkbookFinished, [&] { finished = true; });
  Click(7);
  ASSERT_TRUE(WaitUntil([&] { return finished; }));
  EXPECT_EQ(ReportLines(), std::vector<int>{112});
  EXPECT_TRUE(dialogs_.texts().join("").contains("exit status 1"));
  EXPECT_EQ(form_->MousePointer(), pointer::kDefault);
  EXPECT_TRUE(QDir(form_->Workbooks().Folder()).isEmpty());
  form_.reset();
  EXPECT_EQ(OursInTemp(), before);
}

TEST_F(ResultsOutputTest, ClosingDuringAnExportStopsTheWriterAndLeavesNothing) {
  const QStringList before = OursInTemp();
  for (int i = 0; i < 100'000; ++i) Results().Append(QStringLiteral("w%1").arg(i));
  std::atomic<int> rows_written{0};
  form_->Workbooks().SetWriter(
      [&](const ListTable& list, const QString& file, const WorkbookOptions& options) {
        WorkbookOptions slowed = options;
        slowed.before_row = [&](int row) {
          rows_written = row;
          QThread::usleep(200);
        };
        return WriteResultsWorkbook(list, file, slowed);
      });
  Click(7);
  ASSERT_TRUE(WaitUntil([&] { return rows_written > 10; }));
  form_->close();
  const int at_close = rows_written;
  EXPECT_TRUE(form_->WaitForWorkers(20'000));
  EXPECT_LT(rows_written, at_close + 10'000);  // the writer stopped, far from the end
  form_.reset();
  EXPECT_TRUE(spreadsheet_.opened.isEmpty());
  EXPECT_EQ(OursInTemp(), before);
}

TEST_F(ResultsOutputTest, ClearEmptiesTheResultsAtOnceEvenDuringARun) {
  Fill({"old", "rows"});
  form_->ListView1()->Append("something");
  Click(9);
  EXPECT_EQ(Results().Count(), 0);
  EXPECT_EQ(Results().HeaderText(), "Results");
  EXPECT_EQ(form_->ListView1()->Count(), 1);  // the input list is not touched

  // During a run (its report box is up), the clear still acts at once.
  testing::TempDir input;
  form_->ListView1()->Clear();
  form_->ListView1()->Append(Q(input.path() / "missing.txt"));
  form_->ListView1()->Append(Q(input.Write("a.txt", "fresh")));
  Fill({"stale"});
  dialogs_.on_message = [&](const QString& text) {
    if (!text.contains("at line 102")) return;
    Click(9);
    EXPECT_EQ(Results().Count(), 0);
  };
  Click(1);
  ASSERT_TRUE(WaitUntil([&] { return form_->IsExtracting() == kFalse; }));
  EXPECT_EQ(Results().Count(), 1);
  EXPECT_EQ(Results().Text(1), "fresh");
  EXPECT_EQ(Results().HeaderText(), "Results (Total Word Count: 1)");
}

TEST_F(ResultsOutputTest, AWordOfTensOfMegabytesShowsItsStartAndOutputsWhole) {
  std::string word;
  word.reserve(40 << 20);
  while (word.size() < (40u << 20)) word += "ab\x80";
  testing::TempDir input;
  form_->ListView1()->Append(Q(input.Write("blob.bin", word + "\nshort")));
  Click(1);
  ASSERT_TRUE(WaitUntil([&] { return form_->IsExtracting() == kFalse; }));
  ASSERT_EQ(Results().Count(), 2);

  // The list shows a bounded start of the word and paints, selects and scrolls it.
  const QString shown = Results().rows_model().index(0).data().toString();
  EXPECT_LE(shown.size(), 1025);
  EXPECT_TRUE(shown.startsWith(u"ab\u20acab\u20ac")) << shown.left(20).toStdString();
  EXPECT_TRUE(shown.endsWith(QChar(0x2026)));
  EXPECT_FALSE(Results().grab().isNull());
  QTest::mouseClick(Results().viewport(), Qt::LeftButton, {},
                    Results().visualRect(Results().rows_model().index(0)).center());
  EXPECT_EQ(Results().SelectedPosition(), 1);
  Results().scrollToBottom();
  EXPECT_FALSE(Results().grab().isNull());

  // Copy and save keep the whole word.
  Click(4);
  const QString copied = QGuiApplication::clipboard()->text();
  ASSERT_EQ(copied.size(), static_cast<qsizetype>(word.size()) + 9);
  EXPECT_TRUE(copied.endsWith(u"ab\u20ac\r\nshort\r\n"));
  EXPECT_EQ(copied.count(QChar(0x20ac)), static_cast<qsizetype>(word.size() / 3));
  const fs::path file = out_.path() / "words.txt";
  dialogs_.save_names = {Q(file)};
  Click(6);
  EXPECT_TRUE(ReadBytes(file) == word + "\r\nshort\r\n");
  EXPECT_EQ(Results().Text(1).size(), static_cast<qsizetype>(word.size()));
}

}  // namespace
}  // namespace lintavel
