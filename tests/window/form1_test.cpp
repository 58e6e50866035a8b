#include "window/form1.h"

#include <gtest/gtest.h>

#include "support/qt_printers.h"

#include <QAccessible>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QMouseEvent>
#include <QTest>
#include <QThreadPool>
#include <filesystem>

#include "shell/settings_store.h"
#include "support/qt_paths.h"
#include "support/scripted_dialogs.h"
#include "support/temp_dir.h"
#include "support/wait.h"
#include "window/list_view.h"
#include "window/scrambler.h"

namespace lintavel {
namespace {

using testing::ScriptedDialogs;
using testing::TempDir;
using testing::WaitUntil;

using testing::Q;

// The pointer moving over `widget`, as the window system reports it.
void MovePointer(QWidget* widget, QPoint at) {
  QMouseEvent move(QEvent::MouseMove, at, widget->mapToGlobal(at), Qt::NoButton, Qt::NoButton,
                   Qt::NoModifier);
  QApplication::sendEvent(widget, &move);
}

// A program folder, a settings file and scripted dialogs for one window.
class Form1Test : public ::testing::Test {
 protected:
  // Puts the example documents and the pointer files beside the "program".
  void InstallBesideProgram(bool samples = true, bool hand = true) {
    const std::filesystem::path source = LINTAVEL_SOURCE_DIR;
    if (samples) {
      std::filesystem::copy(source / "samples", program_.path() / "Samples");
    }
    if (hand) std::filesystem::copy(source / "assets/HAND-M.CUR", program_.path());
  }

  Form1& Open() {
    settings_ = std::make_unique<SettingsStore>(Q(config_.path() / "Quorvane.ini"));
    form_ = std::make_unique<Form1>(dialogs_, *settings_, Q(program_.path()));
    form_->show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(form_.get()));
    return *form_;
  }

  std::vector<int> ReportLines() const { return dialogs_.ReportLines(); }

  QStringList Rows(const ListView& list) const {
    QStringList rows;
    for (int p = 1; p <= list.Count(); ++p) rows << list.Text(p);
    return rows;
  }

  void ClickAndWaitForDone(Form1& form) {
    const std::size_t before = dialogs_.shown.size();
    QTest::mouseClick(form.PushButton(1), Qt::LeftButton);
    ASSERT_TRUE(WaitUntil([&] { return form.IsExtracting() == kFalse; }));
    ASSERT_GT(dialogs_.shown.size(), before);
  }

  TempDir program_;
  TempDir config_;
  ScriptedDialogs dialogs_;
  std::unique_ptr<SettingsStore> settings_;
  std::unique_ptr<Form1> form_;
};

TEST_F(Form1Test, LaysOutTheControlsAtTheirPlaces) {
  InstallBesideProgram();
  Form1& form = Open();
  EXPECT_EQ(form.windowTitle(), "Lintavel");
  EXPECT_EQ(form.size(), QSize(536, 563));
  EXPECT_EQ(form.ListView1()->geometry(), QRect(8, 8, 520, 169));
  EXPECT_EQ(form.ListView2()->geometry(), QRect(8, 285, 520, 169));
  EXPECT_EQ(form.PushButton(1)->geometry(), QRect(8, 251, 520, 27));
  EXPECT_EQ(form.PushButton(3)->geometry(), QRect(272, 183, 256, 27));
  EXPECT_EQ(form.ProgressBar1()->geometry(), QRect(8, 529, 520, 27));
  const QStringList captions = {"Start Extracting",
                                "Add File(s)",
                                "Add All File(s) In Folder",
                                "Copy Results To Clipboard",
                                "Clear List",
                                "Save Results As Text File",
                                "Save Results As Excel File",
                                "Load Sample/Example Files",
                                "Clear List"};
  for (int n = 1; n <= 9; ++n) {
    EXPECT_EQ(form.PushButton(n)->text(), captions[n - 1]) << n;
    EXPECT_TRUE(form.PushButton(n)->font().bold());
    EXPECT_DOUBLE_EQ(form.PushButton(n)->font().pointSizeF(), 11.25);
  }
  EXPECT_EQ(form.ListView1()->HeaderText(), "File(s)");
  EXPECT_EQ(form.ListView2()->HeaderText(), "Results");
  EXPECT_EQ(form.ListView1()->columnWidth(0), 467);
  EXPECT_EQ(form.ProgressBar1()->format(), "Progress Bar");
  EXPECT_EQ(form.ProgressBar1()->value(), 0);
  EXPECT_TRUE(form.ListView1()->toolTip().startsWith("Drag and drop files here."));
  EXPECT_TRUE(form.ListView2()->toolTip().startsWith("Double-click item to remove it."));
  EXPECT_EQ(QGuiApplication::applicationDisplayName(), "Lintavel");
  EXPECT_EQ(form.palette().color(QPalette::Window), QColor(Qt::white));
  EXPECT_TRUE(dialogs_.shown.empty());
}

// Keyboard users walk every control with Tab and Shift+Tab, also out of lists that
// hold rows, and a focused button answers Enter as it answers Space.
TEST_F(Form1Test, TheKeyboardWalksTheTabOrderAndEnterClicksTheFocusedButton) {
  Form1& form = Open();
  QApplication::setActiveWindow(&form);
  for (const char* row : {"a", "b", "c"}) {
    form.ListView1()->Append(row);
    form.ListView2()->Append(row);
  }
  const QStringList order = {"ListView1",   "ListView2",   "PushButton6", "PushButton7",
                             "PushButton9", "PushButton2", "PushButton3", "PushButton1",
                             "PushButton4", "PushButton5", "PushButton8"};
  const auto walk = [&](Qt::Key key, QWidget* from) {
    from->setFocus();
    QStringList visited = {QApplication::focusWidget()->objectName()};
    for (qsizetype i = 0; i < order.size(); ++i) {
      QTest::keyClick(QApplication::focusWidget(), key);
      visited << QApplication::focusWidget()->objectName();
    }
    return visited;
  };
  form.ListView1()->Select(2);
  EXPECT_EQ(walk(Qt::Key_Tab, form.ListView1()), order + QStringList{"ListView1"});
  const QStringList backwards(order.rbegin(), order.rend());
  EXPECT_EQ(walk(Qt::Key_Backtab, form.ListView1()), QStringList{"ListView1"} + backwards);

  // Enter and the keypad's Enter on the two "Clear List" buttons.
  const struct {
    int button;
    Qt::Key key;
    ListView* cleared;
  } enters[] = {{5, Qt::Key_Return, form.ListView1()}, {9, Qt::Key_Enter, form.ListView2()}};
  for (const auto& enter : enters) {
    SCOPED_TRACE(enter.button);
    form.PushButton(enter.button)->setFocus();
    QTest::keyClick(form.PushButton(enter.button), enter.key,
                    enter.key == Qt::Key_Enter ? Qt::KeypadModifier : Qt::NoModifier);
    EXPECT_EQ(enter.cleared->Count(), 0);
  }
  EXPECT_TRUE(dialogs_.shown.empty());
}

// What a screen reader is told of each control: a name and a description, none
// alike, with the visible captions unchanged.
TEST_F(Form1Test, EveryControlHasItsOwnAccessibleNameAndDescription) {
  Form1& form = Open();
  QStringList names;
  QStringList descriptions;
  int controls = 0;
  for (QWidget* control : form.findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
    if (control->isHidden()) continue;
    ++controls;
    QAccessibleInterface* told = QAccessible::queryAccessibleInterface(control);
    ASSERT_NE(told, nullptr) << control->objectName().toStdString();
    const QString name = told->text(QAccessible::Name);
    const QString description = told->text(QAccessible::Description);
    EXPECT_FALSE(name.isEmpty()) << control->objectName().toStdString();
    EXPECT_FALSE(description.isEmpty()) << control->objectName().toStdString();
    EXPECT_FALSE(names.contains(name)) << name.toStdString();
    EXPECT_FALSE(descriptions.contains(description)) << description.toStdString();
    names << name;
    descriptions << description;
  }
  EXPECT_EQ(controls, 12);  // two lists, nine buttons and the progress bar
  EXPECT_EQ(form.PushButton(5)->text(), "Clear List");
  EXPECT_EQ(form.PushButton(9)->text(), "Clear List");
}

TEST(ShortenTitle, DropsTheLastWordOnceAndUntilShortEnough) {
  EXPECT_EQ(ShortenTitle("Alpha Beta Gamma"), "Alpha Beta");
  EXPECT_EQ(ShortenTitle("Lintavel"), "Lintavel");
  const QString long_title = QString(38, 'x') + " " + QString(8, 'y');  // 47 characters
  EXPECT_EQ(ShortenTitle(long_title), QString(38, 'x'));
  EXPECT_EQ(ShortenTitle("a b c d e f g h i j k l m n o p q r s t u v w x y z"),
            "a b c d e f g h i j k l m n o p q r s t");
}

TEST_F(Form1Test, AFirstStartRecordsTheSamplesOnce) {
  InstallBesideProgram();
  Open();
  const QString stored = settings_->GetSetting(kSettingSnapshot, QString());
  const QStringList paths = UnscrambleText(stored, QString::fromLatin1(kScramblingKey)).split('|');
  EXPECT_EQ(paths.size(), 4);
  for (const QString& path : paths) {
    EXPECT_TRUE(path.startsWith(Q(program_.path() / "Samples") + "/")) << path.toStdString();
    EXPECT_TRUE(QFile::exists(path));
  }
  // A later start with other files in the folder keeps the recorded list.
  form_.reset();
  QFile(Q(program_.path() / "Samples/extra.txt")).open(QIODevice::WriteOnly);
  Open();
  EXPECT_EQ(settings_->GetSetting(kSettingSnapshot, QString()), stored);
}

TEST_F(Form1Test, AStartWithoutSamplesStoresNothingAndComplainsOfNothing) {
  Open();
  EXPECT_EQ(settings_->GetSetting(kSettingSnapshot, QStringLiteral("unset")), "");
  EXPECT_FALSE(form_->has_hand_cursor());
  EXPECT_TRUE(dialogs_.shown.empty());
}

TEST_F(Form1Test, LoadingSamplesTwiceAddsThemOnceAndAsksEachTime) {
  InstallBesideProgram();
  Form1& form = Open();
  dialogs_.answers = {MessageAnswer::kNo, MessageAnswer::kYes};
  QTest::mouseClick(form.PushButton(8), Qt::LeftButton);
  const QStringList first = Rows(*form.ListView1());
  EXPECT_EQ(first.size(), 4);
  QTest::mouseClick(form.PushButton(8), Qt::LeftButton);
  EXPECT_EQ(Rows(*form.ListView1()), first);
  ASSERT_EQ(dialogs_.shown.size(), 2u);
  for (const auto& shown : dialogs_.shown) {
    EXPECT_EQ(shown.style, MessageStyle::kYesNo);
    EXPECT_TRUE(shown.text.startsWith("Would you like this software to open the folder"));
  }
  ASSERT_EQ(dialogs_.opened.size(), 1u);  // only after Yes
  EXPECT_EQ(dialogs_.opened[0], '"' + Q(program_.path() / "Samples") + "/\"");
}

TEST_F(Form1Test, LoadingSamplesSkipsListedAndVanishedFiles) {
  InstallBesideProgram();
  Form1& form = Open();
  const QString kept = Q(program_.path() / "Samples/Why count words.txt");
  form.ListView1()->Append(kept);
  form.ListView1()->Append(kept.toUpper());
  std::filesystem::remove(program_.path() / "Samples/The kitchen garden.html");
  QTest::mouseClick(form.PushButton(8), Qt::LeftButton);
  const QStringList rows = Rows(*form.ListView1());
  EXPECT_EQ(rows.size(), 4);  // two already there, two more samples
  EXPECT_EQ(rows.count(kept), 1);
  EXPECT_FALSE(rows.join('\n').contains("kitchen"));
}

TEST_F(Form1Test, ThePointerIsAHandOverButtonsExceptWhileBusy) {
  InstallBesideProgram();
  Form1& form = Open();
  ASSERT_TRUE(form.has_hand_cursor());
  MovePointer(form.PushButton(4), QPoint(10, 10));
  EXPECT_TRUE(WaitUntil([&] { return form.MousePointer() == pointer::kCustom; }, 2000));
  EXPECT_EQ(form.cursor().shape(), Qt::BitmapCursor);
  MovePointer(&form, QPoint(3, 3));
  EXPECT_TRUE(WaitUntil([&] { return form.MousePointer() == pointer::kDefault; }, 2000));

  form.SetMousePointer(pointer::kHourglass);
  MovePointer(form.PushButton(2), QPoint(12, 12));
  MovePointer(&form, QPoint(4, 4));
  MovePointer(form.ListView2()->viewport(), QPoint(20, 20));
  QApplication::processEvents();
  EXPECT_EQ(form.MousePointer(), pointer::kHourglass);
}

TEST_F(Form1Test, WithoutTheHandFileButtonsShowTheDefaultPointer) {
  InstallBesideProgram(true, false);
  Form1& form = Open();
  MovePointer(form.PushButton(1), QPoint(10, 10));
  EXPECT_TRUE(WaitUntil([&] { return form.MousePointer() == pointer::kCustom; }, 2000));
  EXPECT_NE(form.cursor().shape(), Qt::BitmapCursor);
  EXPECT_TRUE(dialogs_.shown.empty());
}

TEST_F(Form1Test, ABrokenHandFileAndSkinAreReportedAndStartUpGoesOn) {
  InstallBesideProgram();
  TempDir scratch;
  QFile hand(Q(program_.path() / "HAND-M.CUR"));
  ASSERT_TRUE(hand.open(QIODevice::WriteOnly | QIODevice::Truncate));
  hand.write("not a cursor at all");
  hand.close();
  QDir(Q(program_.path())).mkdir("x");
  QFile skin(Q(program_.path() / "x/o.cjs"));
  ASSERT_TRUE(skin.open(QIODevice::WriteOnly));
  skin.write("QPushButton { color: red; ");  // never closed
  skin.close();
  Form1& form = Open();
  EXPECT_EQ(ReportLines(), (std::vector<int>{100, 106}));
  EXPECT_TRUE(dialogs_.shown[0].text.contains("in Morvesk2021/08/31.Form1.Form_Load at line 100"));
  EXPECT_FALSE(form.has_hand_cursor());
  EXPECT_EQ(form.ListView2()->HeaderText(), "Results");  // the later steps ran
  EXPECT_NE(form.palette().color(QPalette::Window), QColor(Qt::white));
}

TEST_F(Form1Test, AGoodSkinIsAppliedWithoutReport) {
  QDir(Q(program_.path())).mkdir("x");
  QFile skin(Q(program_.path() / "x/o.cjs"));
  ASSERT_TRUE(skin.open(QIODevice::WriteOnly));
  skin.write("QPushButton { color: #204080; }");
  skin.close();
  Form1& form = Open();
  EXPECT_TRUE(dialogs_.shown.empty());
  EXPECT_TRUE(form.styleSheet().contains("QPushButton"));
}

TEST_F(Form1Test, NoFilesAddedEndsTheRunAtOnce) {
  Form1& form = Open();
  QTest::mouseClick(form.PushButton(1), Qt::LeftButton);
  EXPECT_EQ(dialogs_.texts(), QStringList{"No files added."});
  EXPECT_EQ(dialogs_.shown[0].style, MessageStyle::kOkOnly);
  EXPECT_EQ(form.IsExtracting(), kFalse);
  EXPECT_EQ(form.ListView2()->HeaderText(), "Results");
  EXPECT_EQ(form.MousePointer(), pointer::kDefault);
}

TEST_F(Form1Test, ARunFillsTheResultsAndTwoRunsAppend) {
  Form1& form = Open();
  TempDir input;
  form.ListView1()->Append(Q(input.Write("a.txt", "The cat saw the cat.\n")));
  form.ListView1()->Append(Q(input.Write("empty.txt", "")));
  form.ListView2()->setEnabled(false);
  ClickAndWaitForDone(form);
  EXPECT_EQ(Rows(*form.ListView2()), (QStringList{"The", "saw", "the", "cat"}));
  EXPECT_EQ(form.ListView2()->HeaderText(), "Results (Total Word Count: 5)");
  EXPECT_EQ(dialogs_.texts(), QStringList{"Done."});
  EXPECT_EQ(form.MousePointer(), pointer::kDefault);
  EXPECT_EQ(form.ProgressBar1()->value(), 0);
  EXPECT_EQ(form.ProgressBar1()->format(), "Progress Bar");
  EXPECT_TRUE(form.ListView2()->isEnabled());

  ClickAndWaitForDone(form);
  EXPECT_EQ(Rows(*form.ListView2()),
            (QStringList{"The", "saw", "the", "cat", "The", "saw", "the", "cat"}));
  EXPECT_EQ(form.ListView2()->HeaderText(), "Results (Total Word Count: 5)");
}

TEST_F(Form1Test, AFileThatCannotBeReadIsReportedAndTheRunFinishes) {
  Form1& form = Open();
  TempDir input;
  form.ListView1()->Append(Q(input.path() / "missing.txt"));
  form.ListView1()->Append(Q(input.Write("b.txt", "word word")));
  // While the report is up, the user clicks "Start Extracting" again: nothing happens.
  bool was_busy = false;
  dialogs_.on_message = [&](const QString& text) {
    if (!text.contains("at line 102")) return;
    was_busy = form.MousePointer() == pointer::kHourglass && form.IsExtracting() == kTrue;
    QTest::mouseClick(form.PushButton(1), Qt::LeftButton);
  };
  ClickAndWaitForDone(form);
  EXPECT_TRUE(was_busy);
  ASSERT_EQ(dialogs_.shown.size(), 2u);
  EXPECT_TRUE(dialogs_.shown[0].text.contains(
      "in Morvesk2021/08/31.Main.ReadFileToStringFSOLineWord at line 102"));
  EXPECT_EQ(dialogs_.shown[0].caption, "Application Error");
  EXPECT_EQ(dialogs_.shown[1].text, "Done.");
  EXPECT_EQ(Rows(*form.ListView2()), QStringList{"word"});
  EXPECT_EQ(form.ListView2()->HeaderText(), "Results (Total Word Count: 2)");
}

TEST_F(Form1Test, TheInputListIsReadOnceWhenTheRunStarts) {
  Form1& form = Open();
  TempDir input;
  form.ListView1()->Append(Q(input.path() / "missing.txt"));
  form.ListView1()->Append(Q(input.Write("b.txt", "kept")));
  dialogs_.on_message = [&](const QString& text) {
    if (text.contains("at line 102")) form.ListView1()->Clear();
  };
  ClickAndWaitForDone(form);
  EXPECT_EQ(Rows(*form.ListView2()), QStringList{"kept"});
}

TEST_F(Form1Test, ClosingDuringARunEndsItWithoutResults) {
  Form1& form = Open();
  TempDir input;
  form.ListView1()->Append(Q(input.path() / "missing.txt"));
  form.ListView1()->Append(Q(input.Write("b.txt", "word")));
  dialogs_.on_message = [&](const QString&) { form.close(); };
  QTest::mouseClick(form.PushButton(1), Qt::LeftButton);
  ASSERT_TRUE(WaitUntil([&] { return !form.isVisible(); }));
  QThreadPool::globalInstance()->waitForDone();
  QApplication::processEvents();
  EXPECT_EQ(form.ListView2()->Count(), 0);
  EXPECT_EQ(dialogs_.texts().filter("Done.").size(), 0);
}

}  // namespace
}  // namespace lintavel
