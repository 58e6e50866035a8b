#include "output/spreadsheet.h"

#include <gtest/gtest.h>

#include "support/qt_printers.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <atomic>
#include <filesystem>
#include <functional>
#include <map>
#include <stdexcept>

#include "support/qt_paths.h"
#include "support/temp_dir.h"
#include "support/test_table.h"
#include "support/wait.h"

namespace lintavel {
namespace {

namespace fs = std::filesystem;
using testing::TempDir;
using testing::TestTable;

using testing::Q;

// The cells of every sheet of `workbook`, as the spreadsheet application reads them:
// sheet name -> rows -> cells. Uses LibreOffice's own conversion to CSV.
std::map<QString, std::vector<QStringList>> ReadBack(const fs::path& workbook) {
  const QString soffice = QStandardPaths::findExecutable("soffice");
  if (soffice.isEmpty()) throw std::runtime_error("LibreOffice is not installed");
  TempDir out;
  QProcess convert;
  convert.start(
      soffice,
      {"-env:UserInstallation=file://" + Q(out.path() / "profile"), "--headless", "--convert-to",
       "csv:Text - txt - csv (StarCalc):44,34,76,1,,0,false,true,false,false,false,-1", "--outdir",
       Q(out.path() / "csv"), Q(workbook)});
  if (!convert.waitForFinished(120'000) || convert.exitCode() != 0) {
    throw std::runtime_error("the conversion failed: " +
                             convert.readAllStandardError().toStdString());
  }
  std::map<QString, std::vector<QStringList>> sheets;
  const QString stem = QString::fromStdString(workbook.stem().string());
  for (const auto& entry : fs::directory_iterator(out.path() / "csv")) {
    QFile csv(Q(entry.path()));
    csv.open(QIODevice::ReadOnly);
    std::vector<QStringList> rows;
    for (const QByteArray& line : csv.readAll().split('\n')) {
      if (line.isEmpty()) continue;
      // The texts of these tests hold no commas or quotes; empty cells at the end of a
      // row only pad it to the sheet's width.
      QStringList cells = QString::fromUtf8(line).split(',');
      while (cells.size() > 1 && cells.back().isEmpty()) cells.removeLast();
      rows.push_back(cells);
    }
    sheets[QString::fromStdString(entry.path().stem().string()).mid(stem.size() + 1)] = rows;
  }
  return sheets;
}

class Workbook : public ::testing::Test {
 protected:
  void SetUp() override {
    if (QStandardPaths::findExecutable("soffice").isEmpty()) {
      GTEST_SKIP() << "needs LibreOffice Calc (libreoffice-calc-nogui)";
    }
  }
  TempDir dir_;
};

TEST_F(Workbook, HoldsTheHeaderAndEveryWordAsText) {
  const TestTable results(
      {"Results (Total Word Count: 7)"},
      {{{"apple"}}, {{"0012"}}, {{"TRUE"}}, {{"=SUM"}}, {{"caf\u00e9"}}, {{"2021"}}, {{"pear"}}});
  const fs::path file = dir_.path() / "results.xlsx";
  WriteResultsWorkbook(results, Q(file));
  const auto sheets = ReadBack(file);
  ASSERT_EQ(sheets.size(), 1u);
  const auto& rows = sheets.at("Results");
  std::vector<QStringList> expected = {{"Results (Total Word Count: 7)"},
                                       {"apple"},
                                       {"0012"},
                                       {"TRUE"},
                                       {"=SUM"},
                                       {"caf\u00e9"},
                                       {"2021"},
                                       {"pear"}};
  EXPECT_EQ(rows, expected);
}

TEST_F(Workbook, LaysOutSeveralColumnsWithoutGapsAndDropsEqualsFromSubItems) {
  const TestTable list({"Word", "Note", "Extra"}, {{{"first", "", "x=1"}},
                                                   {{"a=b", "n=2", ""}, false},
                                                   {{"", "only=note", "e"}},
                                                   {{"both", "filled", "too"}}});
  const fs::path file = dir_.path() / "columns.xlsx";
  WriteResultsWorkbook(list, Q(file));
  const auto rows = ReadBack(file).at("Results");
  ASSERT_EQ(rows.size(), 5u);
  EXPECT_EQ(rows[0], (QStringList{"Word", "Extra"}));  // the first row's Note is empty
  EXPECT_EQ(rows[1], (QStringList{"first", "x1"}));
  EXPECT_EQ(rows[2], QStringList{""});  // unchecked: the row stays empty
  EXPECT_EQ(rows[3], (QStringList{"onlynote", "e"}));
  EXPECT_EQ(rows[4], (QStringList{"both", "filled", "too"}));
}

TEST_F(Workbook, RowsBeyondOneSheetContinueOnTheNextWithTheHeader) {
  std::vector<TestTable::Row> words;
  for (int i = 1; i <= 7; ++i) words.push_back({{QStringLiteral("w%1").arg(i)}});
  const TestTable list({"Results (Total Word Count: 7)"}, words);
  const fs::path file = dir_.path() / "sheets.xlsx";
  WorkbookOptions options;
  options.rows_per_sheet = 4;  // a header and three words per sheet
  WriteResultsWorkbook(list, Q(file), options);
  const auto sheets = ReadBack(file);
  ASSERT_EQ(sheets.size(), 3u);
  const QStringList header = {"Results (Total Word Count: 7)"};
  EXPECT_EQ(sheets.at("Results"), (std::vector<QStringList>{header, {"w1"}, {"w2"}, {"w3"}}));
  EXPECT_EQ(sheets.at("Results 2"), (std::vector<QStringList>{header, {"w4"}, {"w5"}, {"w6"}}));
  EXPECT_EQ(sheets.at("Results 3"), (std::vector<QStringList>{header, {"w7"}}));
}

TEST_F(Workbook, ATextLongerThanACellIsCutWithAMarkAndTheRestIsWritten) {
  const QString long_word(40'000, u'x');
  // A character outside the basic plane straddles the cut: it goes whole.
  const QString straddling = QString(kCellChars - 2, u'y') + QStringLiteral("\U0001F600tail");
  const TestTable list({"Results (Total Word Count: 4)"},
                       {{{"apple"}}, {{long_word}}, {{straddling}}, {{"pear"}}});
  const fs::path file = dir_.path() / "long.xlsx";
  const std::optional<CutCells> cut = WriteResultsWorkbook(list, Q(file));
  ASSERT_TRUE(cut.has_value());
  EXPECT_EQ(cut->step, WorkbookStep::kRowCell);
  EXPECT_EQ(cut->list_row, 2);
  EXPECT_EQ(cut->count, 2);
  const auto rows = ReadBack(file).at("Results");
  ASSERT_EQ(rows.size(), 5u);
  EXPECT_EQ(rows[1], QStringList{"apple"});
  EXPECT_EQ(rows[2], QStringList{QString(kCellChars - 1, u'x') + QChar(kCutMark)});
  EXPECT_EQ(rows[3], QStringList{QString(kCellChars - 2, u'y') + QChar(kCutMark)});
  EXPECT_EQ(rows[4], QStringList{"pear"});
}

TEST(WriteResultsWorkbook, AWriterThatFailsOrIsCancelledLeavesNoFileAndSaysWhere) {
  TempDir dir;
  std::vector<TestTable::Row> words;
  for (int i = 1; i <= 50; ++i) words.push_back({{QStringLiteral("w%1").arg(i)}});
  const TestTable list({"Results"}, words);
  std::atomic<bool> cancel{false};
  struct Case {
    const char* name;
    std::function<void(int)> before_row;
    const char* what;
  };
  const Case cases[] = {
      {"out of memory",
       [](int row) {
         if (row == 3) throw std::bad_alloc();
       },
       "std::bad_alloc"},
      {"not a std::exception",
       [](int row) {
         if (row == 7) throw 7;
       },
       "Unknown failure"},
      {"cancelled",
       [&](int row) {
         if (row == 20) cancel = true;
       },
       "cancelled"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const fs::path file = dir.path() / "failed.xlsx";
    WorkbookOptions options;
    options.before_row = c.before_row;
    options.cancel = &cancel;
    try {
      WriteResultsWorkbook(list, Q(file), options);
      ADD_FAILURE() << "no failure";
    } catch (const WorkbookFailure& failure) {
      EXPECT_EQ(failure.step(), WorkbookStep::kRowCell);
      EXPECT_TRUE(std::string(failure.what()).find(c.what) != std::string::npos) << failure.what();
    }
    EXPECT_FALSE(fs::exists(file));
  }
}

// Stand-ins for the spreadsheet program: real processes that end as Calc does.
TEST(LibreOfficeCalc, JudgesAStartByHowItsProcessEnds) {
  TempDir dir;
  struct Case {
    const char* script;
    bool shown;
  };
  const Case cases[] = {
      {"echo 'no display' >&2; exit 3", false},  // a start that fails
      {"exit 0", true},                          // handed to a running instance
      {"sleep 1", true},                         // still running when the verdict is due
      {"kill -9 $$", false},
  };
  const QDir temp = QDir::temp();
  const auto calc_folders = [&] {
    return temp.entryList({"lintavel-calc-*"}, QDir::Dirs | QDir::Hidden);
  };
  const QStringList before = calc_folders();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.script);
    // Like Calc, the stand-in leaves scratch files under TMPDIR.
    const fs::path program =
        dir.Write("calc.sh", std::string("#!/bin/sh\nmkdir \"$TMPDIR/lu1.tmp\" && echo \"$4\" > "
                                         "\"$TMPDIR/lu1.tmp/copy\"\n") +
                                 c.script + "\n");
    fs::permissions(program, fs::perms::owner_all);
    LibreOfficeCalc calc(Q(program), std::chrono::milliseconds(300));
    std::optional<QString> verdict;
    calc.OpenAsNewDocument("book.xlsx", [&](const QString& failure) { verdict = failure; });
    ASSERT_TRUE(testing::WaitUntil([&] { return verdict.has_value(); }, 10'000));
    EXPECT_EQ(verdict->isEmpty(), c.shown) << verdict->toStdString();
    // Its scratch files go once the process has ended.
    EXPECT_TRUE(testing::WaitUntil([&] { return calc_folders() == before; }, 10'000));
  }
}

TEST(LibreOfficeCalc, ABuildWithoutAWindowSystemIsNotInstalled) {
  const QString soffice = QStandardPaths::findExecutable("soffice");
  const QDir folder = QFileInfo(QFileInfo(soffice).canonicalFilePath()).absoluteDir();
  if (soffice.isEmpty() || !folder.exists("soffice.bin") ||
      !folder.entryList({"libvclplug_*"}, QDir::Files).isEmpty()) {
    GTEST_SKIP() << "needs LibreOffice without a window system (libreoffice-calc-nogui)";
  }
  EXPECT_FALSE(LibreOfficeCalc().IsInstalled());
  TempDir dir;
  const fs::path other = dir.Write("calc", "#!/bin/sh\n");
  EXPECT_TRUE(LibreOfficeCalc(Q(other)).IsInstalled());
}

TEST(WriteResultsWorkbook, AFileThatCannotBeWrittenThrows) {
  TempDir dir;
  const TestTable list({"Results"}, {{{"word"}}});
  EXPECT_THROW(WriteResultsWorkbook(list, Q(dir.path() / "no/such/folder/x.xlsx")),
               std::runtime_error);
}

}  // namespace
}  // namespace lintavel
