// The window under faults: settings that cannot be kept, files and folders that
// vanish, saves that cannot be made, and closing in the middle of work.
#include <gtest/gtest.h>

#include "support/qt_printers.h"

#include <QApplication>
#include <QTest>
#include <QThreadPool>
#include <filesystem>
#include <optional>

#include "output/spreadsheet.h"
#include "shell/settings_store.h"
#include "support/failing_allocations.h"
#include "support/qt_paths.h"
#include "support/scripted_dialogs.h"
#include "support/temp_dir.h"
#include "support/wait.h"
#include "window/form1.h"
#include "window/list_view.h"

namespace lintavel {
namespace {

namespace fs = std::filesystem;
using testing::ReadBytes;
using testing::TempDir;
using testing::WaitUntil;

using testing::Q;

class FaultsTest : public ::testing::Test {
 protected:
  void Open(const QString& settings_file) {
    settings_ = std::make_unique<SettingsStore>(settings_file);
    form_ = std::make_unique<Form1>(dialogs_, *settings_, Q(program_.path()));
    form_->show();
  }
  void OpenWithSamples() {
    fs::copy(fs::path(LINTAVEL_SOURCE_DIR) / "samples", program_.path() / "Samples");
    Open(Q(config_.path() / "Quorvane.ini"));
  }
  std::vector<int> ReportLines() const { return dialogs_.ReportLines(); }
  void Click(int button) { QTest::mouseClick(form_->PushButton(button), Qt::LeftButton); }

  TempDir program_;
  TempDir config_;
  TempDir out_;
  testing::ScriptedDialogs dialogs_;
  std::unique_ptr<SettingsStore> settings_;
  std::unique_ptr<Form1> form_;
};

TEST_F(FaultsTest, SettingsThatCannotBeWrittenStillLetTheWindowWork) {
  fs::copy(fs::path(LINTAVEL_SOURCE_DIR) / "samples", program_.path() / "Samples");
  config_.Write("blocked", "a file where the settings folder should be");
  Open(Q(config_.path() / "blocked/Quorvane.ini"));
  EXPECT_EQ(form_->ListView1()->HeaderText(), "File(s)");
  EXPECT_TRUE(dialogs_.shown.empty());
  Click(8);  // the samples recorded at start-up are kept for this session
  EXPECT_EQ(form_->ListView1()->Count(), 4);
}

TEST_F(FaultsTest, ACorruptSettingsFileStillLetsTheWindowStart) {
  config_.Write("Quorvane.ini", std::string("\xff\xfe[[[\0\0garbage=\n[Lintavel\nSnapshot", 32));
  fs::copy(fs::path(LINTAVEL_SOURCE_DIR) / "samples", program_.path() / "Samples");
  Open(Q(config_.path() / "Quorvane.ini"));
  Click(8);
  EXPECT_EQ(form_->ListView1()->Count(), 4);
}

TEST_F(FaultsTest, SamplesThatVanishedAfterStartUpAddNothingButTheQuestionComes) {
  OpenWithSamples();
  fs::remove_all(program_.path() / "Samples");
  Click(8);
  EXPECT_EQ(form_->ListView1()->Count(), 0);
  ASSERT_EQ(dialogs_.shown.size(), 1u);
  EXPECT_EQ(dialogs_.shown[0].style, MessageStyle::kYesNo);
}

TEST_F(FaultsTest, SavingIntoAFolderThatVanishedIsReported) {
  Open(Q(config_.path() / "Quorvane.ini"));
  form_->ListView2()->Append("word");
  fs::create_directory(out_.path() / "gone");
  dialogs_.save_names = {Q(out_.path() / "gone/words.txt")};
  fs::remove(out_.path() / "gone");
  Click(6);
  EXPECT_EQ(ReportLines(), std::vector<int>{130});
  EXPECT_EQ(form_->MousePointer(), pointer::kDefault);
  EXPECT_FALSE(fs::exists(out_.path() / "gone"));
}

TEST_F(FaultsTest, SavingOverAReadOnlyFileIsReportedAndKeepsIt) {
  Open(Q(config_.path() / "Quorvane.ini"));
  form_->ListView2()->Append("word");
  const fs::path locked = out_.Write("locked.txt", "precious");
  fs::permissions(locked, fs::perms::owner_read);
  dialogs_.save_names = {Q(locked)};
  dialogs_.answers = {MessageAnswer::kYes};
  Click(6);
  EXPECT_EQ(ReportLines(), std::vector<int>{130});
  EXPECT_EQ(ReadBytes(locked), "precious");
  EXPECT_EQ(form_->MousePointer(), pointer::kDefault);
  EXPECT_EQ(std::distance(fs::directory_iterator(out_.path()), {}), 1);
}

TEST_F(FaultsTest, ClosingDuringAFolderScanEndsIt) {
  Open(Q(config_.path() / "Quorvane.ini"));
  for (int d = 0; d < 40; ++d) {
    fs::create_directories(out_.path() / std::to_string(d));
    for (int f = 0; f < 50; ++f) {
      out_.Write(std::to_string(d) + "/" + std::to_string(f) + ".txt", "x");
    }
  }
  dialogs_.typed = {"txt"};
  dialogs_.chosen_folders = {Q(out_.path())};
  Click(3);
  form_->close();
  QApplication::processEvents();
  const int rows_at_close = form_->ListView1()->Count();
  // The abandoned scan delivers nothing more, and the window goes without waiting on it.
  WaitUntil([] { return false; }, 300);
  EXPECT_EQ(form_->ListView1()->Count(), rows_at_close);
  EXPECT_EQ(form_->pending_scans(), 0);
  form_.reset();
}

TEST_F(FaultsTest, ClosingWhileAWorkbookIsWrittenLeavesNothingInAnyPlace) {
  class Calc : public SpreadsheetApp {
   public:
    bool IsInstalled() override { return true; }
    void OpenAsNewDocument(const QString&, ShowVerdict) override { ++opened; }
    int opened = 0;
  } calc;
  Open(Q(config_.path() / "Quorvane.ini"));
  form_->SetSpreadsheetApp(calc);
  for (int i = 0; i < 20'000; ++i) form_->ListView2()->Append(QStringLiteral("w%1").arg(i));
  bool finished = false;
  QObject::connect(form_.get(), &Form1::WorkbookFinished, [&] { finished = true; });
  Click(7);
  form_->close();
  form_.reset();
  QThreadPool::globalInstance()->waitForDone();
  QApplication::processEvents();
  // Unless it had finished before the window went, the workbook is never shown.
  EXPECT_EQ(calc.opened, finished ? 1 : 0);
}

// Memory that runs out in the middle of a run or a folder import: the report names
// the step and the cause, the window is idle again with nothing half-shown, and the
// next run or import works.
TEST_F(FaultsTest, WorkThatRunsOutOfMemoryIsReportedAndTheWindowIsIdleAgain) {
  Open(Q(config_.path() / "Quorvane.ini"));
  const fs::path file = out_.Write("words.txt", "some words to count\n");
  form_->ListView1()->Append(Q(file));
  {
    const testing::FailingAllocations no_large_buffers(1 << 20);
    Click(1);
    ASSERT_TRUE(WaitUntil([&] { return form_->IsExtracting() == kFalse; }));
  }
  EXPECT_EQ(ReportLines(), std::vector<int>{184});
  EXPECT_TRUE(dialogs_.shown.back().text.contains("out of memory while counting the words of"));
  EXPECT_TRUE(dialogs_.shown.back().text.contains("PushButton1_Click at line 184"));
  EXPECT_EQ(form_->MousePointer(), pointer::kDefault);
  EXPECT_EQ(form_->ProgressBar1()->format(), "Progress Bar");
  EXPECT_EQ(form_->ListView2()->Count(), 0);
  EXPECT_EQ(form_->ListView2()->HeaderText(), "Results");

  dialogs_.shown.clear();
  Click(1);
  ASSERT_TRUE(WaitUntil([&] { return form_->IsExtracting() == kFalse; }));
  EXPECT_EQ(form_->ListView2()->Count(), 4);
  EXPECT_TRUE(ReportLines().empty());

  // The same for a folder import, whose list of 3,000 names cannot be held.
  fs::create_directory(out_.path() / "many");
  for (int f = 0; f < 3000; ++f) out_.Write("many/" + std::to_string(f) + ".txt", "x");
  form_->ListView1()->Clear();
  for (int attempt = 0; attempt < 2; ++attempt) {
    dialogs_.typed = {"txt"};
    dialogs_.chosen_folders = {Q(out_.path() / "many")};
    std::optional<testing::FailingAllocations> scan_memory;
    if (attempt == 0) scan_memory.emplace(64 * 1024, true);
    Click(3);
    ASSERT_TRUE(WaitUntil([&] { return form_->pending_scans() == 0; }));
    EXPECT_EQ(form_->MousePointer(), pointer::kDefault);
  }
  ASSERT_EQ(ReportLines().size(), 1u);
  EXPECT_TRUE(dialogs_.shown.back().text.contains("PushButton3_Click at line 1"));
  EXPECT_EQ(form_->ListView1()->Count(), 3000);  // all of them from the second import
}

}  // namespace
}  // namespace lintavel
