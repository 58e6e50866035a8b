#include <gtest/gtest.h>

#include "support/qt_printers.h"

#include <QApplication>
#include <QClipboard>
#include <QTest>
#include <filesystem>
#include <stdexcept>

#include "output/spreadsheet.h"
#include "shell/settings_store.h"
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
using testing::WaitUntil;

using testing::Q;

// A spreadsheet application the test controls.
class ScriptedSpreadsheet : public SpreadsheetApp {
 public:
  bool IsInstalled() override { return installed; }
  void OpenAsNewDocument(const QString& workbook) override {
    if (!starts) throw std::runtime_error("Cannot start the spreadsheet application");
    opened << workbook;
  }
  bool installed = true;
  bool starts = true;
  QStringList opened;
};

class ResultsOutputTest : public ::testing::Test {
 protected:
  void SetUp() override {
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

  if (fs::exists("/dev/full")) {
    dialogs_.shown.clear();
    for (int i = 0; i < 100'000; ++i) Results().Append("filler words for a full disk");
    dialogs_.save_names = {"/dev/full"};
    dialogs_.answers = {MessageAnswer::kYes};
    Click(6);
    EXPECT_EQ(ReportLines(), std::vector<int>{136});
    EXPECT_EQ(form_->MousePointer(), pointer::kDefault);
  }
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
