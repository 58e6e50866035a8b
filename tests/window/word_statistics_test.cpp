#include "window/word_statistics_window.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAbstractItemModelTester>
#include <QAction>
#include <QApplication>
#include <QChart>
#include <QChartView>
#include <QCheckBox>
#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QStandardPaths>
#include <QTabWidget>
#include <QTableView>
#include <QTest>
#include <QValueAxis>
#include <QXYSeries>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>

#include "cli/extract_command.h"
#include "output/clipboard_output.h"
#include "shell/settings_store.h"
#include "support/qt_paths.h"
#include "support/scripted_dialogs.h"
#include "support/temp_dir.h"
#include "support/wait.h"
#include "window/concordance_pane.h"
#include "window/dispersion_plot.h"
#include "window/form1.h"
#include "window/list_view.h"
#include "window/word_statistics_charts.h"
#include "window/word_statistics_model.h"

namespace lintavel {
namespace {

using testing::Q;
using testing::ScriptedDialogs;
using testing::TempDir;
using testing::WaitUntil;

class RecordingClipboard : public Clipboard {
 public:
  bool Clear() override {
    text.clear();
    return true;
  }
  bool SetText(const QString& value, int) override {
    text = value;
    return true;
  }
  QString text;
};

// The control of `window` that screen readers call `name`.
template <typename Widget>
Widget* Control(QWidget& window, const char* name) {
  for (Widget* control : window.findChildren<Widget*>()) {
    if (control->accessibleName() == QLatin1String(name)) return control;
  }
  ADD_FAILURE() << "no control " << name;
  return nullptr;
}

std::string ReadBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

// Three files of plain blank-separated words, counted here by splitting at blanks.
class WordStatisticsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* texts[] = {
        "the cat sat on the mat\nThe end of the cat\n",
        "a dog and the cat\nother words rather than these\n",
        "zebra Zebra zebra théâtre the\n",
    };
    for (int i = 0; i < 3; ++i) {
      files_.push_back(dir_.path() / ("in" + std::to_string(i) + ".txt"));
      std::ofstream(files_.back(), std::ios::binary) << texts[i];
      std::istringstream words(texts[i]);
      std::set<std::string> seen;
      for (std::string word; words >> word;) {
        ++counts_[word];
        ++total_;
        if (seen.insert(word).second) ++file_counts_[word];
      }
    }
  }

  Form1& Open() {
    settings_ = std::make_unique<SettingsStore>(Q(dir_.path() / "Quorvane.ini"));
    form_ = std::make_unique<Form1>(dialogs_, *settings_, Q(dir_.path()));
    form_->SetClipboard(clipboard_);
    QStringList paths;
    for (const auto& file : files_) paths << Q(file);
    form_->AddFiles(paths);
    form_->show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(form_.get()));
    return *form_;
  }

  // The statistics window, opened from the menu, with its first run ended.
  WordStatisticsWindow& OpenStatistics(Form1& form) {
    form.ListView2()->actions().at(0)->trigger();
    WordStatisticsWindow* window = form.WordStatistics();
    EXPECT_NE(window, nullptr);
    EXPECT_TRUE(WaitUntil([&] { return !window->running(); }));
    return *window;
  }

  void RunAgain(WordStatisticsWindow& window) {
    window.StartRun();
    ASSERT_TRUE(WaitUntil([&] { return !window.running(); }));
  }

  TempDir dir_;
  std::vector<std::filesystem::path> files_;
  std::map<std::string, std::uint64_t> counts_;
  std::map<std::string, std::uint64_t> file_counts_;
  std::uint64_t total_ = 0;
  ScriptedDialogs dialogs_;
  RecordingClipboard clipboard_;
  std::unique_ptr<SettingsStore> settings_;
  std::unique_ptr<Form1> form_;
};

TEST_F(WordStatisticsTest, OpensFromTheMenuTheShortcutAndAfterARun) {
  Form1& form = Open();
  const QList<QAction*> menu = form.ListView2()->actions();
  ASSERT_EQ(menu.size(), 2);
  EXPECT_EQ(menu[0]->text(), QStringLiteral("Word Statistics…"));
  EXPECT_EQ(menu[1]->text(), QStringLiteral("Copy"));
  EXPECT_EQ(form.ListView2()->contextMenuPolicy(), Qt::ActionsContextMenu);

  WordStatisticsWindow& window = OpenStatistics(form);
  EXPECT_TRUE(window.isVisible());
  EXPECT_EQ(window.model().rowCount(), static_cast<int>(counts_.size()));
  window.close();
  EXPECT_FALSE(window.isVisible());
  EXPECT_FALSE(
      settings_->GetSetting(QString::fromLatin1(kSettingStatisticsGeometry), QString()).isEmpty());

  form.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
  QTest::keyClick(form.ListView1(), Qt::Key_I, Qt::ControlModifier);
  EXPECT_TRUE(window.isVisible());

  // Ticked, the window counts again after the main window's run.
  Control<QCheckBox>(window, "Open after every run")->setChecked(true);
  window.close();
  const auto* before = window.outcome();
  QTest::mouseClick(form.PushButton(1), Qt::LeftButton);
  ASSERT_TRUE(WaitUntil([&] { return form.IsExtracting() == kFalse; }));
  EXPECT_TRUE(window.isVisible());
  ASSERT_TRUE(WaitUntil([&] { return !window.running(); }));
  EXPECT_NE(window.outcome(), before);

  // Copy takes the selected row of the main window's results.
  form.ListView2()->Select(2);
  menu[1]->trigger();
  EXPECT_EQ(clipboard_.text, form.ListView2()->Text(2));
}

TEST_F(WordStatisticsTest, SortsAndFiltersAsThePlainCountsSay) {
  Form1& form = Open();
  WordStatisticsWindow& window = OpenStatistics(form);
  Control<QComboBox>(window, "Encoding")->setCurrentText(QStringLiteral("utf-8"));
  RunAgain(window);
  WordStatisticsModel& model = window.model();
  QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Warning);
  ASSERT_EQ(model.rowCount(), static_cast<int>(counts_.size()));
  const auto cell = [&](int row, int column) {
    return model.data(model.index(row, column)).toString();
  };
  // Each word's D and DP as lintavel-extract --dispersion files writes them.
  const auto dispersion = [&](const std::vector<std::filesystem::path>& files) {
    std::vector<std::string> args{"--quiet", "--encoding",   "utf-8", "--format",
                                  "csv",     "--dispersion", "files"};
    for (const auto& file : files) args.push_back(file.string());
    std::ostringstream out;
    std::ostringstream err;
    EXPECT_EQ(lintavel::Run(args, out, err), 0) << err.str();
    std::map<std::string, std::pair<QString, QString>> scores;
    std::istringstream lines(out.str());
    std::string line;
    std::getline(lines, line);  // the header
    while (std::getline(lines, line)) {
      const QStringList fields = QString::fromStdString(line).trimmed().split(u',');
      scores[fields[0].toStdString()] = {fields[3], fields[4]};
    }
    return scores;
  };
  const auto scores = dispersion(files_);
  struct Case {
    int column;
    Qt::SortOrder order;
  };
  for (const Case sort : {Case{WordStatisticsModel::kCount, Qt::DescendingOrder},
                          Case{WordStatisticsModel::kWord, Qt::AscendingOrder},
                          Case{WordStatisticsModel::kFiles, Qt::DescendingOrder},
                          Case{WordStatisticsModel::kPerMillion, Qt::AscendingOrder},
                          Case{WordStatisticsModel::kJuillandD, Qt::DescendingOrder},
                          Case{WordStatisticsModel::kGriesDp, Qt::AscendingOrder}}) {
    window.table()->horizontalHeader()->setSortIndicator(sort.column, sort.order);
    for (int row = 0; row < model.rowCount(); ++row) {
      const std::string word = cell(row, WordStatisticsModel::kWord).toStdString();
      ASSERT_EQ(cell(row, WordStatisticsModel::kCount).toULongLong(), counts_.at(word)) << word;
      ASSERT_EQ(cell(row, WordStatisticsModel::kFiles).toULongLong(), file_counts_.at(word));
      EXPECT_EQ(cell(row, WordStatisticsModel::kJuillandD), scores.at(word).first) << word;
      EXPECT_EQ(cell(row, WordStatisticsModel::kGriesDp), scores.at(word).second) << word;
      EXPECT_NEAR(cell(row, WordStatisticsModel::kPerMillion).toDouble(),
                  1e6 * static_cast<double>(counts_.at(word)) / static_cast<double>(total_), 0.01);
      if (row == 0) continue;
      const QString a = cell(row - 1, sort.column);
      const QString b = cell(row, sort.column);
      const bool in_order = sort.column == WordStatisticsModel::kWord
                                ? a < b
                                : (sort.order == Qt::AscendingOrder ? a.toDouble() <= b.toDouble()
                                                                    : a.toDouble() >= b.toDouble());
      EXPECT_TRUE(in_order) << sort.column << ": " << a.toStdString() << " / " << b.toStdString();
    }
  }
  // One file has no D: its cells are empty, as in the CSV, and sorting by it both ways
  // keeps the list's order (least frequent first).
  {
    WordStatisticsWindow single(dialogs_, *settings_, [&] { return QStringList{Q(files_[0])}; });
    Control<QComboBox>(single, "Encoding")->setCurrentText(QStringLiteral("utf-8"));
    RunAgain(single);
    const auto one = dispersion({files_[0]});
    const WordStatisticsModel& shown = single.model();
    for (const Qt::SortOrder order : {Qt::AscendingOrder, Qt::DescendingOrder}) {
      single.table()->horizontalHeader()->setSortIndicator(WordStatisticsModel::kJuillandD, order);
      ASSERT_EQ(shown.rowCount(), static_cast<int>(one.size()));
      for (int row = 0; row < shown.rowCount(); ++row) {
        const std::string word = shown.Word(row).toStdString();
        EXPECT_EQ(one.at(word).first, QString()) << word;
        EXPECT_EQ(shown.data(shown.index(row, WordStatisticsModel::kJuillandD)).toString(),
                  QString());
        EXPECT_EQ(shown.data(shown.index(row, WordStatisticsModel::kGriesDp)).toString(),
                  one.at(word).second);
        EXPECT_EQ(shown.ListIndex(row), static_cast<std::uint32_t>(row));
      }
    }
  }
  // Typing narrows; deleting widens again; a character no word has shows none.
  for (const QString& needle :
       {QStringLiteral("t"), QStringLiteral("th"), QStringLiteral("the"), QStringLiteral("t"),
        QStringLiteral("é"), QStringLiteral("€x"), QString()}) {
    window.filter_box()->setText(needle);
    std::size_t expected = 0;
    for (const auto& [word, count] : counts_) {
      expected += QString::fromStdString(word).contains(needle) ? 1 : 0;
    }
    ASSERT_EQ(model.rowCount(), static_cast<int>(expected)) << needle.toStdString();
    for (int row = 0; row < model.rowCount(); ++row) {
      EXPECT_TRUE(cell(row, WordStatisticsModel::kWord).contains(needle));
    }
  }
  // As a pattern: what parses filters; what does not is said in the tooltip, not a box.
  Control<QCheckBox>(window, "Pattern")->setChecked(true);
  window.filter_box()->setText(QStringLiteral("^th"));
  std::size_t starting = 0;
  for (const auto& [word, count] : counts_) starting += word.starts_with("th") ? 1 : 0;
  EXPECT_EQ(model.rowCount(), static_cast<int>(starting));
  QTest::keyClicks(window.filter_box(), QStringLiteral("(a"));
  EXPECT_EQ(model.rowCount(), static_cast<int>(starting));
  EXPECT_TRUE(window.filter_box()->toolTip().contains(QStringLiteral("color:red")));
  EXPECT_TRUE(dialogs_.shown.empty());
  window.filter_box()->clear();
  EXPECT_FALSE(window.filter_box()->toolTip().contains(QStringLiteral("color:red")));
  EXPECT_EQ(model.rowCount(), static_cast<int>(counts_.size()));
  EXPECT_TRUE(window.status_text().contains(QStringLiteral("Total: %1").arg(total_)));
  EXPECT_TRUE(window.status_text().contains(QStringLiteral("Distinct: %1").arg(counts_.size())));
  EXPECT_TRUE(window.status_text().contains(QStringLiteral("utf-8")));
}

TEST_F(WordStatisticsTest, ExportsTheCommandLinesBytes) {
  Form1& form = Open();
  WordStatisticsWindow& window = OpenStatistics(form);
  // Text the two word rules cut differently: elisions, an apostrophe inside a word,
  // punctuation that only the default rule removes from inside words.
  std::ofstream(files_[2], std::ios::binary)
      << "l\u2019histoire d'un homme, e-mail u.s.a l'amour qu\u2019il 3.14 \"ok\"\n"
      << "un homme. un homme\nun homme d'un\n";
  struct Case {
    const char* encoding;
    bool fold_case;
    bool files_column;
    bool dispersion;  // the columns asked for; sequences have none
    bool csv;
    const char* words = "default";
    bool split_elisions = false;
    const char* sequences = "Words";  // as the Sequences choice reads
    const char* ngrams = nullptr;     // the same as lintavel-extract --ngrams takes it
    const char* breaks = "Sentence";
  };
  for (const Case c :
       {Case{"cp1252", false, true, false, true}, Case{"utf-8", true, false, false, true},
        Case{"cp1252", false, true, true, true}, Case{"utf-8", true, false, true, true},
        Case{"auto", false, true, true, false}, Case{"cp1252", true, false, true, false},
        Case{"utf-8", false, true, false, false, "unicode"},
        Case{"utf-8", true, true, true, true, "unicode", true},
        Case{"utf-8", false, true, true, true, "default", false, "2 words", "2"},
        Case{"cp1252", true, false, true, false, "default", false, "1 to 3 words", "1-3", "None"},
        Case{"utf-8", true, true, false, true, "unicode", true, "2 words", "2", "Line"}}) {
    SCOPED_TRACE(std::string(c.encoding) + (c.fold_case ? " fold" : "") +
                 (c.files_column ? " files" : "") + (c.dispersion ? " dispersion" : "") +
                 (c.csv ? " csv" : " tsv") + " " + c.words + (c.split_elisions ? " split" : "") +
                 " " + c.sequences + " " + c.breaks);
    Control<QComboBox>(window, "Encoding")->setCurrentText(QString::fromLatin1(c.encoding));
    Control<QCheckBox>(window, "Fold case")->setChecked(c.fold_case);
    Control<QCheckBox>(window, "Files column")->setChecked(c.files_column);
    Control<QCheckBox>(window, "Dispersion columns")->setChecked(c.dispersion);
    Control<QComboBox>(window, "Word rule")
        ->setCurrentIndex(std::string_view(c.words) == "unicode" ? 1 : 0);
    Control<QCheckBox>(window, "Split elisions")->setChecked(c.split_elisions);
    Control<QComboBox>(window, "Sequences")->setCurrentText(QString::fromLatin1(c.sequences));
    Control<QComboBox>(window, "Sequence breaks")->setCurrentText(QString::fromLatin1(c.breaks));
    RunAgain(window);
    const std::filesystem::path exported = dir_.path() / "exported";
    dialogs_.save_names.push_back(Q(exported));
    if (c.csv) {
      window.ExportCsv();
    } else {
      window.ExportTsv();
    }
    std::vector<std::string> args{"--quiet", "--encoding", c.encoding, "--format",
                                  c.csv ? "csv" : "tsv"};
    if (c.fold_case) args.push_back("--fold-case");
    if (c.files_column) args.push_back("--per-file");
    if (c.dispersion && !c.ngrams) args.insert(args.end(), {"--dispersion", "files"});
    if (std::string_view(c.words) != "default") args.insert(args.end(), {"--words", c.words});
    if (c.split_elisions) args.push_back("--split-elisions");
    if (c.ngrams) {
      args.insert(args.end(), {"--ngrams", c.ngrams, "--ngram-breaks",
                               QString::fromLatin1(c.breaks).toLower().toStdString()});
    }
    for (const auto& file : files_) args.push_back(file.string());
    std::ostringstream out;
    std::ostringstream err;
    ASSERT_EQ(lintavel::Run(args, out, err), 0) << err.str();
    EXPECT_EQ(ReadBytes(exported), out.str());
    // The window shows the columns it exports, and says why sequences have none.
    const bool scored = c.dispersion && !c.ngrams;
    EXPECT_EQ(window.table()->isColumnHidden(WordStatisticsModel::kJuillandD), !scored);
    EXPECT_EQ(window.table()->isColumnHidden(WordStatisticsModel::kGriesDp), !scored);
    EXPECT_EQ(window.status_text().contains(QStringLiteral("No dispersion")),
              c.dispersion && c.ngrams != nullptr);
  }
  // The word rule is kept for the next window; elisions are split only by the Unicode rule.
  {
    WordStatisticsWindow again(dialogs_, *settings_, {});
    EXPECT_EQ(Control<QComboBox>(again, "Word rule")->currentIndex(), 1);
    QCheckBox* split = Control<QCheckBox>(again, "Split elisions");
    EXPECT_TRUE(split->isChecked());
    EXPECT_TRUE(split->isEnabled());
    Control<QComboBox>(again, "Word rule")->setCurrentIndex(0);
    EXPECT_FALSE(split->isEnabled());
    // So are the sequences; their breaks matter only for sequences of more than one word.
    QComboBox* breaks = Control<QComboBox>(again, "Sequence breaks");
    EXPECT_EQ(Control<QComboBox>(again, "Sequences")->currentText(), QStringLiteral("2 words"));
    EXPECT_EQ(breaks->currentText(), QStringLiteral("Line"));
    EXPECT_TRUE(breaks->isEnabled());
    Control<QComboBox>(again, "Sequences")->setCurrentText(QStringLiteral("Words"));
    EXPECT_FALSE(breaks->isEnabled());
  }
  // A sequence has no lines of its own: the concordance says so instead of searching.
  EXPECT_TRUE(window.status_text().contains(QStringLiteral("sequences of 2 words")));
  ASSERT_GT(window.model().rowCount(), 0);
  ASSERT_TRUE(window.model().Word(0).contains(QLatin1Char(' ')));
  window.table()->setCurrentIndex(window.model().index(0, 0));
  EXPECT_FALSE(window.concordance()->searching());
  EXPECT_EQ(window.concordance()->model().rowCount(), 0);
  EXPECT_TRUE(window.concordance()->status_text().contains(QStringLiteral("sequence of words")))
      << window.concordance()->status_text().toStdString();
  // The workbook is written off the UI thread and its end said in the status line; it
  // has the columns shown, the dispersion ones only when the run scored the words.
  const QString python = QStandardPaths::findExecutable(QStringLiteral("python3"));
  ASSERT_FALSE(python.isEmpty());
  bool ended = false;
  QObject::connect(&window, &WordStatisticsWindow::WorkbookEnded, [&] { ended = true; });
  Control<QCheckBox>(window, "Dispersion columns")->setChecked(true);
  for (const bool sequences : {true, false}) {
    if (!sequences) {
      Control<QComboBox>(window, "Sequences")->setCurrentText(QStringLiteral("Words"));
      RunAgain(window);
    }
    const std::filesystem::path workbook = dir_.path() / "words.xlsx";
    dialogs_.save_names.push_back(Q(workbook));
    ended = false;
    window.ExportWorkbook();
    ASSERT_TRUE(WaitUntil([&] { return ended; }));
    EXPECT_TRUE(window.status_text().contains(QStringLiteral("Exported to")))
        << window.status_text().toStdString();
    QProcess unzip;
    unzip.start(python, {QStringLiteral("-c"),
                         QStringLiteral("import sys, zipfile; sys.stdout.write(zipfile.ZipFile("
                                        "sys.argv[1]).read('xl/worksheets/sheet1.xml').decode())"),
                         Q(workbook)});
    ASSERT_TRUE(unzip.waitForFinished(30000));
    const QString sheet = QString::fromUtf8(unzip.readAllStandardOutput());
    EXPECT_TRUE(sheet.contains(QStringLiteral("Per million")));
    EXPECT_EQ(sheet.contains(QStringLiteral("Gries")), !sequences);
    EXPECT_EQ(sheet.contains(QStringLiteral("Juilland")), !sequences);
  }
  EXPECT_TRUE(dialogs_.shown.empty());
}

TEST_F(WordStatisticsTest, CancelAndClosingKeepThePreviousWords) {
  Form1& form = Open();
  WordStatisticsWindow& window = OpenStatistics(form);
  const auto* shown = window.outcome();
  ASSERT_NE(shown, nullptr);
  const int rows = window.model().rowCount();
  window.StartRun();
  ASSERT_TRUE(window.running());
  QTest::mouseClick(Control<QPushButton>(window, "Cancel"), Qt::LeftButton);
  EXPECT_FALSE(window.running());
  window.StartRun();
  window.close();
  EXPECT_FALSE(window.running());
  QTest::qWait(300);  // a result that still came would show now
  EXPECT_EQ(window.outcome(), shown);
  EXPECT_EQ(window.model().rowCount(), rows);
  EXPECT_TRUE(window.status_text().contains(QStringLiteral("Cancelled")));
  EXPECT_TRUE(form.WaitForWorkers(20000));
}

TEST_F(WordStatisticsTest, ConcordanceFindsWhatAPlainScanFindsAndGoesOnPastVanishedFiles) {
  Form1& form = Open();
  WordStatisticsWindow& window = OpenStatistics(form);
  ConcordancePane& pane = *window.concordance();
  const auto select = [&](const QString& word) {
    for (int row = 0; row < window.model().rowCount(); ++row) {
      if (window.model().Word(row) == word) {
        window.table()->setCurrentIndex(window.model().index(row, 0));
        return WaitUntil([&] { return !pane.searching(); });
      }
    }
    return false;
  };
  // Every line, every blank-separated token equal to the word, in text order.
  const auto scan = [&](const std::string& word, std::size_t skip) {
    std::vector<std::string> found;
    for (std::size_t f = 0; f < files_.size(); ++f) {
      if (f == skip) continue;
      std::ifstream in(files_[f], std::ios::binary);
      int number = 0;
      for (std::string line; std::getline(in, line);) {
        ++number;
        std::istringstream tokens(line);
        for (std::string token; tokens >> token;) {
          if (token == word)
            found.push_back(Q(files_[f].filename()).toStdString() + ":" + std::to_string(number));
        }
      }
    }
    return found;
  };
  const auto shown = [&](const std::string& word) {
    std::vector<std::string> lines;
    const ConcordanceModel& model = pane.model();
    for (int row = 0; row < model.rowCount(); ++row) {
      lines.push_back(
          model.data(model.index(row, ConcordanceModel::kFile)).toString().toStdString() + ":" +
          model.data(model.index(row, ConcordanceModel::kLine)).toString().toStdString());
      EXPECT_EQ(model.data(model.index(row, ConcordanceModel::kWord)).toString().toStdString(),
                word);
    }
    return lines;
  };
  ASSERT_TRUE(select(QStringLiteral("the")));
  EXPECT_EQ(shown("the"), scan("the", files_.size()));

  // Ordered by the right context: the words after stand in order.
  Control<QComboBox>(window, "Concordance order")->setCurrentIndex(1);
  for (int row = 1; row < pane.model().rowCount(); ++row) {
    const auto right = [&](int r) {
      return pane.model()
          .data(pane.model().index(r, ConcordanceModel::kRight))
          .toString()
          .section(QLatin1Char(' '), 0, 0, QString::SectionSkipEmpty)
          .toStdString();
    };
    EXPECT_LE(right(row - 1), right(row));
  }
  Control<QComboBox>(window, "Concordance order")->setCurrentIndex(0);

  // After a run by the Unicode rule the concordance cuts the text by it too.
  Control<QComboBox>(window, "Word rule")->setCurrentIndex(1);
  RunAgain(window);
  ASSERT_TRUE(select(QStringLiteral("the")));
  EXPECT_EQ(shown("the"), scan("the", files_.size()));

  // A file gone since the run is named, and the others are still searched.
  std::filesystem::remove(files_[1]);
  ASSERT_TRUE(select(QStringLiteral("cat")));
  EXPECT_EQ(shown("cat"), scan("cat", 1));
  EXPECT_TRUE(pane.status_text().contains(Q(files_[1].filename())))
      << pane.status_text().toStdString();

  // Double-click opens the file; without an application for it, the status says so.
  dialogs_.shell_opens = false;
  const QTableView* lines = pane.table();
  const QRect cell = lines->visualRect(pane.model().index(0, ConcordanceModel::kWord));
  QTest::mouseClick(lines->viewport(), Qt::LeftButton, Qt::NoModifier, cell.center());
  QTest::mouseDClick(lines->viewport(), Qt::LeftButton, Qt::NoModifier, cell.center());
  ASSERT_EQ(dialogs_.opened.size(), 1u);
  EXPECT_TRUE(dialogs_.opened[0].contains(Q(files_[0])));
  EXPECT_TRUE(pane.status_text().contains(QStringLiteral("No application")));
}

TEST(ZipfPoints, KeepFirstAndLastRankAndFollowTheCounts) {
  struct Case {
    std::size_t words;
    std::size_t most;
  };
  for (const Case c : {Case{0, 10}, Case{5, 10}, Case{10, 10}, Case{11, 10}, Case{2000000, 4000}}) {
    SCOPED_TRACE(c.words);
    std::vector<CorpusWord> words(c.words);
    for (std::size_t i = 0; i < c.words; ++i) words[i].count = i / 3 + 1;  // least first
    const std::vector<RankCount> points = ZipfPoints(words, c.most);
    ASSERT_EQ(points.size(), std::min(c.words, c.most));
    if (points.empty()) continue;
    EXPECT_EQ(points.front().rank, 1);
    EXPECT_EQ(points.back().rank, static_cast<double>(c.words));
    for (std::size_t i = 0; i < points.size(); ++i) {
      const auto rank = static_cast<std::size_t>(points[i].rank);
      EXPECT_EQ(points[i].count, static_cast<double>(words[c.words - rank].count));
      if (i > 0) {
        EXPECT_GT(points[i].rank, points[i - 1].rank);
      }
    }
  }
}

TEST_F(WordStatisticsTest, ChartsMarkTheSelectedWordAndExportAsPngAndSvg) {
  Form1& form = Open();
  WordStatisticsWindow& window = OpenStatistics(form);
  const WordStatisticsModel& model = window.model();
  window.table()->setCurrentIndex(model.index(0, 0));
  const QList<QAbstractSeries*> series = window.zipf_chart()->view()->chart()->series();
  ASSERT_EQ(series.size(), 2);
  const auto* marked = static_cast<QXYSeries*>(series[1]);
  ASSERT_EQ(marked->count(), 1);
  EXPECT_EQ(marked->at(0).y(), model.data(model.index(0, WordStatisticsModel::kCount)).toDouble());
  for (const char* name : {"zipf.png", "zipf.svg"}) {
    const std::filesystem::path file = dir_.path() / name;
    dialogs_.save_names.push_back(Q(file));
    window.zipf_chart()->Export();
    const std::string bytes = ReadBytes(file);
    const bool svg = std::string_view(name).ends_with(".svg");
    EXPECT_EQ(svg ? bytes.find("<svg") != std::string::npos : bytes.starts_with("\x89PNG"), true)
        << name;
  }
  EXPECT_TRUE(dialogs_.shown.empty());
}

TEST_F(WordStatisticsTest, DispersionTicksStandWhereAPlainScanFindsTheWord) {
  Form1& form = Open();
  WordStatisticsWindow& window = OpenStatistics(form);
  // Each file's places of the blank-separated token `word`: byte offset / file size.
  const auto scan = [&](const std::string& word) {
    std::vector<std::vector<double>> places(files_.size());
    for (std::size_t f = 0; f < files_.size(); ++f) {
      const std::string text = ReadBytes(files_[f]);
      for (std::size_t at = 0; at < text.size();) {
        const std::size_t start = text.find_first_not_of(" \n", at);
        if (start == std::string::npos) break;
        const std::size_t end = std::min(text.find_first_of(" \n", start), text.size());
        if (text.compare(start, end - start, word) == 0) {
          places[f].push_back(static_cast<double>(start) / static_cast<double>(text.size()));
        }
        at = end;
      }
    }
    return places;
  };
  for (const char* word : {"the", "cat", "zebra"}) {
    SCOPED_TRACE(word);
    for (int row = 0; row < window.model().rowCount(); ++row) {
      if (window.model().Word(row) == QString::fromUtf8(word)) {
        window.table()->setCurrentIndex(window.model().index(row, 0));
      }
    }
    ASSERT_TRUE(WaitUntil([&] {
      return !window.concordance()->searching() && !window.dispersion()->strips().empty();
    }));
    const auto expected = scan(word);
    const std::vector<DispersionStrip>& strips = window.dispersion()->strips();
    ASSERT_EQ(strips.size(), files_.size());
    for (std::size_t f = 0; f < files_.size(); ++f) {
      EXPECT_EQ(strips[f].label, Q(files_[f].filename()));
      ASSERT_EQ(strips[f].ticks.size(), expected[f].size()) << f;
      for (std::size_t i = 0; i < expected[f].size(); ++i) {
        EXPECT_DOUBLE_EQ(strips[f].ticks[i], expected[f][i]);
      }
    }
    // Past the files a strip each can show, one strip holds them end to end.
    std::vector<std::uint64_t> sizes;
    std::vector<double> end_to_end;
    double before = 0;
    for (std::size_t f = 0; f < files_.size(); ++f) {
      sizes.push_back(std::filesystem::file_size(files_[f]));
      for (double place : expected[f])
        end_to_end.push_back(before + place * static_cast<double>(sizes.back()));
      before += static_cast<double>(sizes.back());
    }
    const auto one =
        DispersionStrips(files_, sizes, window.concordance()->places(), files_.size() - 1);
    ASSERT_EQ(one.size(), 1u);
    ASSERT_EQ(one[0].ticks.size(), end_to_end.size());
    for (std::size_t i = 0; i < end_to_end.size(); ++i) {
      EXPECT_NEAR(one[0].ticks[i], end_to_end[i] / before, 1e-12);
    }
  }
  for (const char* name : {"dispersion.png", "dispersion.svg"}) {
    const std::filesystem::path file = dir_.path() / name;
    dialogs_.save_names.push_back(Q(file));
    window.dispersion()->Export();
    const std::string bytes = ReadBytes(file);
    EXPECT_TRUE(std::string_view(name).ends_with(".svg") ? bytes.find("<svg") != std::string::npos
                                                         : bytes.starts_with("\x89PNG"))
        << name;
  }
  EXPECT_TRUE(dialogs_.shown.empty());
}

// The labels, buttons and lists of `top` shown now whose text does not fit them.
std::vector<std::string> Clipped(QWidget& top) {
  std::vector<std::string> clipped;
  for (QWidget* control : top.findChildren<QWidget*>()) {
    auto* label = qobject_cast<QLabel*>(control);
    if (!control->isVisibleTo(&top) ||
        !(label || qobject_cast<QAbstractButton*>(control) || qobject_cast<QComboBox*>(control))) {
      continue;
    }
    QSize needed = control->sizeHint();
    if (label && label->wordWrap()) needed = {0, label->heightForWidth(label->width())};
    if (needed.width() > control->width() || needed.height() > control->height()) {
      std::ostringstream said;
      said << control->metaObject()->className() << " '" << control->accessibleName().toStdString()
           << "' needs " << needed.width() << "x" << needed.height() << ", has " << control->width()
           << "x" << control->height();
      clipped.push_back(said.str());
    }
  }
  return clipped;
}

// Run by CTest also at QT_SCALE_FACTOR 1.5 and 2.
TEST_F(WordStatisticsTest, NoTextClippedAndChartsInThePaletteUnderADarkPaletteAtThisScale) {
  QPalette dark;
  const QColor text(0xe6, 0xe6, 0xe6);
  for (const auto& [role, colour] : std::initializer_list<std::pair<QPalette::ColorRole, QColor>>{
           {QPalette::Window, QColor(0x2d, 0x2d, 0x2d)},
           {QPalette::WindowText, text},
           {QPalette::Base, QColor(0x1c, 0x1c, 0x1c)},
           {QPalette::AlternateBase, QColor(0x26, 0x26, 0x26)},
           {QPalette::Text, text},
           {QPalette::Button, QColor(0x3a, 0x3a, 0x3a)},
           {QPalette::ButtonText, text},
           {QPalette::Mid, QColor(0x60, 0x60, 0x60)},
           {QPalette::Highlight, QColor(0x2f, 0x65, 0xca)},
           {QPalette::HighlightedText, Qt::white}}) {
    dark.setColor(role, colour);
  }
  const QPalette before = QApplication::palette();
  QApplication::setPalette(dark);
  struct Restore {
    QPalette palette;
    ~Restore() { QApplication::setPalette(palette); }
  } restore{before};

  Form1& form = Open();
  EXPECT_DOUBLE_EQ(form.devicePixelRatioF(),
                   qEnvironmentVariable("QT_SCALE_FACTOR", QStringLiteral("1")).toDouble());
  EXPECT_EQ(Clipped(form), std::vector<std::string>{});
  WordStatisticsWindow& window = OpenStatistics(form);
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  window.table()->setCurrentIndex(window.model().index(window.model().rowCount() - 1, 0));
  ASSERT_TRUE(WaitUntil([&] { return !window.dispersion()->strips().empty(); }));
  auto* views = Control<QTabWidget>(window, "Charts");
  ASSERT_NE(views, nullptr);
  for (int tab = 0; tab < views->count(); ++tab) {
    views->setCurrentIndex(tab);
    EXPECT_EQ(Clipped(window), std::vector<std::string>{}) << views->tabText(tab).toStdString();
  }
  // The charts take the palette's colours, not a light theme of their own.
  for (const WordStatisticsCharts* charts : window.findChildren<WordStatisticsCharts*>()) {
    const QChart* chart = charts->view()->chart();
    EXPECT_EQ(chart->backgroundBrush().color(), dark.color(QPalette::Base));
    EXPECT_EQ(chart->titleBrush().color(), text);
    for (const QAbstractAxis* axis : chart->axes()) {
      EXPECT_EQ(axis->labelsBrush().color(), text);
      EXPECT_EQ(axis->titleBrush().color(), text);
    }
  }
  const QImage drawn = window.dispersion()->canvas()->grab().toImage();
  EXPECT_EQ(drawn.pixelColor(1, 1), dark.color(QPalette::Base));
}

TEST_F(WordStatisticsTest, EveryControlHasANameADescriptionAndATabStop) {
  Form1& form = Open();
  WordStatisticsWindow& window = OpenStatistics(form);
  int controls = 0;
  for (QWidget* control : window.findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
    ++controls;
    EXPECT_FALSE(control->accessibleName().isEmpty()) << control->metaObject()->className();
    EXPECT_FALSE(control->accessibleDescription().isEmpty()) << control->metaObject()->className();
  }
  EXPECT_GE(controls, 10);
  // Tab from the first control reaches every focusable one and comes back.
  std::set<QWidget*> reached;
  QWidget* first = window.nextInFocusChain();
  QWidget* at = first;
  do {
    if (at->focusPolicy() & Qt::TabFocus) reached.insert(at);
    at = at->nextInFocusChain();
  } while (at != first);
  for (QWidget* control : window.findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
    if (control->focusPolicy() & Qt::TabFocus) {
      EXPECT_TRUE(reached.contains(control)) << control->accessibleName().toStdString();
    }
  }
}

}  // namespace
}  // namespace lintavel
