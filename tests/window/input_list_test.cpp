#include <gtest/gtest.h>

#include "support/qt_printers.h"

#include <QApplication>
#include <QDropEvent>
#include <QMimeData>
#include <QScrollBar>
#include <QTest>
#include <QUrl>
#include <filesystem>

#include "shell/dialogs.h"
#include "shell/settings_store.h"
#include "support/qt_paths.h"
#include "support/scripted_dialogs.h"
#include "support/temp_dir.h"
#include "support/wait.h"
#include "window/form1.h"
#include "window/list_view.h"
#include "window/native_names.h"

namespace lintavel {
namespace {

namespace fs = std::filesystem;
using testing::WaitUntil;

using testing::Q;

void Touch(const fs::path& file) { testing::TempDir::WriteFile(file, "x"); }

class InputListTest : public ::testing::Test {
 protected:
  void SetUp() override {
    settings_ = std::make_unique<SettingsStore>(Q(config_.path() / "Quorvane.ini"));
    fs::copy(fs::path(LINTAVEL_SOURCE_DIR) / "assets/drag.ico", program_.path());
    form_ = std::make_unique<Form1>(dialogs_, *settings_, Q(program_.path()));
    form_->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form_.get()));
  }

  ListView& Inputs() { return *form_->ListView1(); }

  QStringList Rows(const ListView& list) const {
    QStringList rows;
    for (int p = 1; p <= list.Count(); ++p) rows << list.Text(p);
    return rows;
  }

  void WaitForScans() {
    ASSERT_TRUE(WaitUntil([&] { return form_->pending_scans() == 0; }));
  }

  // A drop of `data` on the input list, as the window system delivers it; returns
  // whether the list accepted the drag.
  bool Drop(QMimeData& data) {
    QWidget* target = Inputs().viewport();
    const QPoint at(30, 30);
    QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &enter);
    if (!enter.isAccepted()) return false;
    QDropEvent drop(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &drop);
    return drop.isAccepted();
  }

  bool DropPaths(const std::vector<fs::path>& paths) {
    QList<QUrl> urls;
    for (const fs::path& path : paths) urls << QUrl::fromLocalFile(Q(path));
    QMimeData data;
    data.setUrls(urls);
    return Drop(data);
  }

  QPoint RowCentre(ListView& list, int position) {
    return list.visualRect(list.rows_model().index(position - 1)).center();
  }

  testing::TempDir program_;
  testing::TempDir config_;
  testing::TempDir files_;
  testing::ScriptedDialogs dialogs_;
  std::unique_ptr<SettingsStore> settings_;
  std::unique_ptr<Form1> form_;
};

TEST_F(InputListTest, AddFilesAppendsWhatTheDialogGives) {
  const QString folder = Q(files_.path());
  dialogs_.chosen_files = {{folder + "/one.txt"},
                           {},
                           {folder + "/a.txt", folder + "/b.txt", folder + "/c.html"},
                           {folder + "/one.txt"}};
  for (int click = 0; click < 4; ++click) QTest::mouseClick(form_->PushButton(2), Qt::LeftButton);
  EXPECT_EQ(Rows(Inputs()), (QStringList{folder + "/one.txt", folder + "/a.txt", folder + "/b.txt",
                                         folder + "/c.html", folder + "/one.txt"}));
  ASSERT_EQ(dialogs_.open_requests.size(), 4u);
  EXPECT_EQ(dialogs_.open_requests[0].title, "Add File(s) - Hold Ctrl to select multiple files");
  EXPECT_EQ(dialogs_.open_requests[0].filter,
            "Text Files (*.txt)|*.txt|HTML Files (*.htm;*.html)|*.htm;*.html|All Files (*.*)|*.*|");
  EXPECT_EQ(dialogs_.open_requests[0].flags, 2621953);
  EXPECT_TRUE(dialogs_.shown.empty());
}

TEST_F(InputListTest, AddFilesFromTheRootHasOneSeparator) {
  dialogs_.chosen_files = {{"/a.txt", "/b.txt"}};
  QTest::mouseClick(form_->PushButton(2), Qt::LeftButton);
  EXPECT_EQ(Rows(Inputs()), (QStringList{"/a.txt", "/b.txt"}));
}

TEST_F(InputListTest, AddFilesKeepsEachFileUnderItsOwnFolder) {
  const QString base = Q(files_.path());
  const QStringList mixed = {base + "/a/x.txt", base + "/b/y.txt", base + "/a/c/z.txt",
                             base + "/b/x.txt"};
  dialogs_.chosen_files = {mixed};
  QTest::mouseClick(form_->PushButton(2), Qt::LeftButton);
  EXPECT_EQ(Rows(Inputs()), mixed);

  // The dialog's answer: from one folder in its usual form, from several named from
  // the folder they share.
  const struct {
    QStringList chosen;
    QString answer;
  } cases[] = {
      {{"/t/a/x.txt", "/t/a/y.txt"}, QStringLiteral("/t/a|x.txt|y.txt")},
      {{"/t/a/x.txt", "/t/b/y.txt"}, QStringLiteral("/t|a/x.txt|b/y.txt")},
      {{"/t/a/x.txt", "/u/y.txt"}, QStringLiteral("/|t/a/x.txt|u/y.txt")},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ComposeOpenFilesAnswer(c.chosen, 30000).replace(QChar(u'\0'), u'|'), c.answer);
  }
}

TEST_F(InputListTest, TooManyFilesAddsNothingAndSaysSo) {
  QStringList many;
  for (int i = 0; i < 400; ++i)
    many << Q(files_.path()) + QStringLiteral("/%1.txt").arg(QString(90, 'n')).arg(i);
  dialogs_.chosen_files = {many};
  QTest::mouseClick(form_->PushButton(2), Qt::LeftButton);
  EXPECT_EQ(Inputs().Count(), 0);
  ASSERT_EQ(dialogs_.shown.size(), 1u);
  EXPECT_EQ(
      dialogs_.shown[0].text,
      "You've selected too many files to add.\r\rPlease try adding via the \"Add All\" button.");
  EXPECT_EQ(dialogs_.shown[0].style, MessageStyle::kOkOnly);
  EXPECT_EQ(dialogs_.shown[0].caption, "");  // the application title
}

TEST_F(InputListTest, StartFilesFollowTheRowsAbsoluteAndInTheirOrder) {
  dialogs_.chosen_files = {{"/first.txt"}};
  QTest::mouseClick(form_->PushButton(2), Qt::LeftButton);
  const QString folder = Q(files_.path());
  const fs::path previous = fs::current_path();
  fs::current_path(files_.path());
  form_->AddFiles({"b c.txt", "./caf\u00e9.html", "", "/z.txt", "b c.txt"});
  fs::current_path(previous);
  EXPECT_EQ(Rows(Inputs()), (QStringList{"/first.txt", folder + "/b c.txt",
                                         folder + QString::fromUtf8("/caf\u00e9.html"), "/z.txt",
                                         folder + "/b c.txt"}));
}

TEST_F(InputListTest, FolderImportAsksRemembersAndAddsBreadthFirst) {
  fs::create_directories(files_.path() / "sub/deeper");
  Touch(files_.path() / "sub/deeper/three.txt");
  Touch(files_.path() / "sub/two.txt");
  Touch(files_.path() / "one.txt");
  Touch(files_.path() / "skip.doc");
  dialogs_.typed = {"txt"};
  dialogs_.chosen_folders = {Q(files_.path())};
  QTest::mouseClick(form_->PushButton(3), Qt::LeftButton);
  WaitForScans();
  const QString base = Q(files_.path());
  EXPECT_EQ(Rows(Inputs()), (QStringList{base + "/one.txt", base + "/sub/two.txt",
                                         base + "/sub/deeper/three.txt"}));
  ASSERT_EQ(dialogs_.prompts.size(), 1u);
  EXPECT_EQ(dialogs_.prompts[0].prompt,
            "Enter file extension to load:\r\r(* for all files, txt for all txt files, doc for all "
            "doc files, etc.)");
  EXPECT_EQ(dialogs_.prompts[0].default_text, "txt");
  EXPECT_EQ(dialogs_.folder_requests[0].prompt, "Please select folder:");
  EXPECT_EQ(dialogs_.folder_requests[0].initial_folder, "");
  EXPECT_EQ(settings_->GetSetting(kSettingLastFolder, QString()), base);
  EXPECT_EQ(form_->MousePointer(), pointer::kDefault);

  // The next import offers both answers; a cancelled folder dialog keeps the new
  // extension and adds nothing.
  dialogs_.typed = {"doc"};
  QTest::mouseClick(form_->PushButton(3), Qt::LeftButton);
  EXPECT_EQ(dialogs_.folder_requests[1].initial_folder, base);
  EXPECT_EQ(settings_->GetSetting(kSettingExtension, QString()), "doc");
  EXPECT_EQ(Inputs().Count(), 3);
  // An empty answer at the prompt ends the import before the folder dialog.
  QTest::mouseClick(form_->PushButton(3), Qt::LeftButton);
  EXPECT_EQ(dialogs_.prompts[2].default_text, "doc");
  EXPECT_EQ(dialogs_.folder_requests.size(), 2u);
}

TEST_F(InputListTest, ImportingTwiceListsEveryFileTwice) {
  Touch(files_.path() / "a.md");
  for (int i = 0; i < 2; ++i) {
    dialogs_.typed = {"*"};
    dialogs_.chosen_folders = {Q(files_.path())};
    QTest::mouseClick(form_->PushButton(3), Qt::LeftButton);
  }
  WaitForScans();
  EXPECT_EQ(Rows(Inputs()), (QStringList{Q(files_.path() / "a.md"), Q(files_.path() / "a.md")}));
}

TEST_F(InputListTest, DroppedFilesAndFoldersComeInTheirOrder) {
  fs::create_directories(files_.path() / "first/sub");
  fs::create_directories(files_.path() / "second");
  Touch(files_.path() / "first/a.txt");
  Touch(files_.path() / "first/b.doc");
  Touch(files_.path() / "first/~tmp.txt");
  Touch(files_.path() / "first/.secret");
  Touch(files_.path() / "first/sub/c.txt");
  Touch(files_.path() / "second/d.txt");
  Touch(files_.path() / "program.exe");
  ASSERT_TRUE(DropPaths({files_.path() / "first", files_.path() / "program.exe",
                         files_.path() / "second", files_.path() / "missing.txt"}));
  WaitForScans();
  const QString base = Q(files_.path());
  QStringList rows = Rows(Inputs());
  ASSERT_EQ(rows.size(), 5) << rows.join(' ').toStdString();
  QStringList first_level = rows.mid(0, 2);
  first_level.sort();
  EXPECT_EQ(first_level, (QStringList{base + "/first/a.txt", base + "/first/b.doc"}));
  EXPECT_EQ(rows.mid(2), (QStringList{base + "/first/sub/c.txt", base + "/program.exe",
                                      base + "/second/d.txt"}));
}

TEST_F(InputListTest, FoldersDroppedTogetherAreEachSearchedInFull) {
  fs::create_directories(files_.path() / "a/b/c");
  Touch(files_.path() / "a/1.txt");
  Touch(files_.path() / "a/b/2.txt");
  Touch(files_.path() / "a/b/c/3.txt");
  ASSERT_TRUE(DropPaths({files_.path() / "a", files_.path() / "a/b"}));
  WaitForScans();
  const QString a = Q(files_.path() / "a");
  EXPECT_EQ(Rows(Inputs()), (QStringList{a + "/1.txt", a + "/b/2.txt", a + "/b/c/3.txt",
                                         a + "/b/2.txt", a + "/b/c/3.txt"}));
}

TEST_F(InputListTest, AWideColumnScrollsSidewaysByThePixel) {
  Inputs().Append(QString(400, u'x'));
  Inputs().setColumnWidth(0, 3000);
  QApplication::processEvents();
  QScrollBar* bar = Inputs().horizontalScrollBar();
  EXPECT_EQ(bar->maximum(), 3000 - Inputs().viewport()->width());
  QWheelEvent wheel(QPointF(30, 30), Inputs().viewport()->mapToGlobal(QPointF(30, 30)), {},
                    QPoint(-120, 0), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
  QApplication::sendEvent(Inputs().viewport(), &wheel);
  EXPECT_GT(bar->value(), 0);
  EXPECT_LT(bar->value(), bar->maximum());
}

// Every byte string comes back whole from the text that stands for it; UTF-8 reads
// as UTF-8, and nothing else reads as a character.
TEST(NativeNames, EveryByteStringComesBackWhole) {
  const struct {
    std::string bytes;
    bool utf8;
  } cases[] = {
      {"", true},
      {"plain.txt", true},
      {"caf\xc3\xa9 \xf0\x9f\x98\x80.txt", true},
      {"caf\xe9.txt", false},
      {"\xed\xa0\x80\xed\xb0\x80", false},  // surrogates written as UTF-8
      {"\xc0\xaf", false},                  // an overlong slash
      {"\xf4\x90\x80\x80", false},          // past U+10FFFF
      {"\xe2\x82", false},                  // cut short
      {std::string("\x80\xff\0x", 4), false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.bytes);
    const QString name = DecodeFileName(c.bytes);
    EXPECT_EQ(EncodeFileName(name).toStdString(), c.bytes);
    EXPECT_EQ(name == QString::fromUtf8(c.bytes), c.utf8);
    const QString shown = ShownFileName(name);
    EXPECT_EQ(shown.contains(QChar(0xFFFD)), !c.utf8);
    EXPECT_TRUE(shown.isValidUtf16());
  }
}

// File names that are not UTF-8, from the command line and from a drop: the row
// names the file itself, which a run then reads, and shows what it can of the name.
TEST_F(InputListTest, NamesThatAreNotUtf8NameTheirFiles) {
  const std::string folder = files_.path().string() + "/d\xe9j\xe0";
  fs::create_directory(folder);
  const std::string latin1 = folder + "/caf\xe9.txt";
  testing::TempDir::WriteFile(latin1, "un deux deux\n");
  const std::string cut_utf8 = folder + "/\xe2\x82.txt";  // the first two bytes of a euro sign
  testing::TempDir::WriteFile(cut_utf8, "trois\n");

  // Relative to the current folder, as a file manager or a shell hands them over.
  const fs::path before = fs::current_path();
  fs::current_path(folder);
  form_->AddFiles({DecodeFileName("caf\xe9.txt")});
  fs::current_path(before);
  // A drop names it percent-encoded.
  QMimeData data;
  data.setUrls({QUrl(QStringLiteral("file://") +
                     QString::fromLatin1(QByteArray(cut_utf8.c_str()).toPercentEncoding("/")))});
  ASSERT_TRUE(Drop(data));
  WaitForScans();

  ASSERT_EQ(Inputs().Count(), 2);
  EXPECT_EQ(EncodeFileName(Inputs().Text(1)).toStdString(), latin1);
  EXPECT_EQ(EncodeFileName(Inputs().Text(2)).toStdString(), cut_utf8);
  const QString shown = Inputs().model()->index(0, 0).data().toString();
  EXPECT_TRUE(shown.endsWith(QStringLiteral("/d\ufffdj\ufffd/caf\ufffd.txt")))
      << shown.toStdString();

  QTest::mouseClick(form_->PushButton(1), Qt::LeftButton);
  ASSERT_TRUE(WaitUntil([&] { return form_->IsExtracting() == kFalse; }));
  EXPECT_TRUE(dialogs_.ReportLines().empty()) << dialogs_.texts().join("\n").toStdString();
  EXPECT_EQ(Rows(*form_->ListView2()), (QStringList{"trois", "un", "deux"}));
}

TEST_F(InputListTest, TextAndWebLinksAreRefused) {
  QMimeData text;
  text.setText("just some words");
  EXPECT_FALSE(Drop(text));
  QMimeData link;
  link.setUrls({QUrl("https://example.org/page.html")});
  EXPECT_FALSE(Drop(link));
  EXPECT_EQ(Inputs().Count(), 0);
}

TEST_F(InputListTest, RemovalsWorkOnlyWhileNotBusy) {
  for (const char* row : {"one", "two", "three"}) Inputs().Append(row);
  form_->ListView2()->Append("word");
  form_->ListView2()->Append("other");

  form_->SetMousePointer(pointer::kHourglass);
  Inputs().Select(2);
  QTest::keyClick(Inputs().viewport(), Qt::Key_Delete);
  QTest::mouseDClick(Inputs().viewport(), Qt::LeftButton, {}, RowCentre(Inputs(), 2));
  QTest::mouseClick(form_->PushButton(5), Qt::LeftButton);
  form_->ListView2()->Select(1);
  QTest::mouseDClick(form_->ListView2()->viewport(), Qt::LeftButton, {},
                     RowCentre(*form_->ListView2(), 1));
  EXPECT_EQ(Inputs().Count(), 3);
  EXPECT_EQ(form_->ListView2()->Count(), 2);

  form_->SetMousePointer(pointer::kDefault);
  Inputs().Select(2);
  QTest::keyClick(&Inputs(), Qt::Key_Delete);
  EXPECT_EQ(Rows(Inputs()), (QStringList{"one", "three"}));
  QTest::keyClick(&Inputs(), Qt::Key_Backspace);  // other keys do nothing
  EXPECT_EQ(Inputs().Count(), 2);
  QTest::mouseDClick(Inputs().viewport(), Qt::LeftButton, {}, RowCentre(Inputs(), 1));
  EXPECT_EQ(Rows(Inputs()), QStringList{"three"});

  form_->ListView2()->SetHeaderText("Results (Total Word Count: 2)");
  QTest::mouseDClick(form_->ListView2()->viewport(), Qt::LeftButton, {},
                     RowCentre(*form_->ListView2(), 1));
  EXPECT_EQ(Rows(*form_->ListView2()), QStringList{"other"});
  EXPECT_EQ(form_->ListView2()->HeaderText(), "Results (Total Word Count: 2)");
  QTest::keyClick(form_->ListView2(), Qt::Key_Delete);  // the results list ignores Delete
  EXPECT_EQ(form_->ListView2()->Count(), 1);

  QTest::mouseClick(form_->PushButton(5), Qt::LeftButton);
  EXPECT_EQ(Inputs().Count(), 0);
  EXPECT_EQ(Inputs().HeaderText(), "File(s)");
  QTest::keyClick(&Inputs(), Qt::Key_Delete);  // on an empty list: nothing
  EXPECT_EQ(form_->ListView2()->Count(), 1);
}

TEST_F(InputListTest, DraggingTheFirstRowDownMovesItToTheEnd) {
  for (const char* row : {"A", "B", "C"}) Inputs().Append(row);
  QWidget* viewport = Inputs().viewport();
  QTest::mousePress(viewport, Qt::LeftButton, {}, RowCentre(Inputs(), 1));
  const auto move_with_button = [&](int position) {
    QMouseEvent move(QEvent::MouseMove, RowCentre(Inputs(), position),
                     viewport->mapToGlobal(RowCentre(Inputs(), position)), Qt::NoButton,
                     Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(viewport, &move);
  };
  move_with_button(1);  // still over the dragged row: nothing
  move_with_button(2);
  move_with_button(3);
  QTest::mouseRelease(viewport, Qt::LeftButton, {}, RowCentre(Inputs(), 3));
  EXPECT_EQ(Rows(Inputs()), (QStringList{"B", "C", "A"}));
  EXPECT_EQ(Inputs().SelectedPosition(), 3);
  // Once released, moving the pointer moves nothing.
  move_with_button(1);
  EXPECT_EQ(Rows(Inputs()), (QStringList{"B", "C", "A"}));
}

TEST_F(InputListTest, ADragAfterTheRowWasRemovedDoesNothing) {
  for (const char* row : {"A", "B"}) Inputs().Append(row);
  QWidget* viewport = Inputs().viewport();
  QTest::mousePress(viewport, Qt::LeftButton, {}, RowCentre(Inputs(), 1));
  Inputs().Remove(1);
  Inputs().Append("C");
  QMouseEvent move(QEvent::MouseMove, RowCentre(Inputs(), 2),
                   viewport->mapToGlobal(RowCentre(Inputs(), 2)), Qt::NoButton, Qt::LeftButton,
                   Qt::NoModifier);
  QApplication::sendEvent(viewport, &move);
  EXPECT_EQ(Rows(Inputs()), (QStringList{"B", "C"}));
}

}  // namespace
}  // namespace lintavel
