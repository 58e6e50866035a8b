#pragma once

#include <QString>
#include <QStringList>
#include <QWidget>
#include <atomic>
#include <functional>
#include <memory>

#include "window/word_statistics_runner.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QTableView;

namespace lintavel {

class Dialogs;
class SettingsStore;
class ConcordancePane;
class DispersionPlot;
class WordStatisticsCharts;
class WordStatisticsModel;

// The settings keys of the statistics window.
inline constexpr char kSettingStatisticsGeometry[] = "WordStatisticsGeometry";
inline constexpr char kSettingStatisticsAfterRun[] = "WordStatisticsAfterRun";
inline constexpr char kSettingStatisticsWordRule[] = "WordStatisticsWordRule";
inline constexpr char kSettingStatisticsSplitElisions[] = "WordStatisticsSplitElisions";
inline constexpr char kSettingStatisticsSequences[] = "WordStatisticsSequences";
inline constexpr char kSettingStatisticsSequenceBreaks[] = "WordStatisticsSequenceBreaks";

// The "Word Statistics" window: the words of its own run over the main window's
// input list with their counts, shares and files, sortable and filterable, with the
// analysis options of its next run and the export of the list. Non-modal; its
// geometry is kept in the settings.
class WordStatisticsWindow : public QWidget {
  Q_OBJECT

 public:
  // `input_files` gives the main window's input list when a run starts.
  WordStatisticsWindow(Dialogs& dialogs, SettingsStore& settings,
                       std::function<QStringList()> input_files, QWidget* parent = nullptr);
  ~WordStatisticsWindow() override;

  // Starts a run with the options shown over a snapshot of the input list; says so
  // in the status line when the list is empty.
  void StartRun();
  // Stops the run under way; the words shown stay.
  void CancelRun();
  bool running() const;

  // Whether the user wants the window after every run of the main window.
  bool OpenAfterRun() const;

  // "Export CSV…" and "Export TSV…": the whole list as lintavel-extract writes it
  // with the same options (--per-file while the files column is shown, and
  // --dispersion files, which has the files too, while the dispersion columns are).
  void ExportCsv();
  void ExportTsv();
  // "Export Workbook…": the rows shown, in their order, with the columns shown, as a
  // workbook written on a worker; WorkbookEnded follows.
  void ExportWorkbook();

  WordStatisticsModel& model() const { return *model_; }
  QTableView* table() const { return table_; }
  QLineEdit* filter_box() const { return filter_; }
  QString status_text() const;
  ConcordancePane* concordance() const { return concordance_; }
  WordStatisticsCharts* zipf_chart() const { return zipf_; }
  DispersionPlot* dispersion() const { return dispersion_; }
  const StatisticsOutcome* outcome() const { return outcome_.get(); }

 signals:
  // A run ended: its words are shown, or its failure is in the status line.
  void RunEnded();
  // A workbook export has ended; the status line says how.
  void WorkbookEnded();

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void BuildControls();
  StatisticsOptions ChosenOptions() const;
  void ChooseStopLists();
  void Finish(const std::shared_ptr<const StatisticsOutcome>& outcome);
  void SetRunning(bool running);
  // Shows the files column and the dispersion columns as their boxes say, the
  // latter only when the run scored the words.
  void ShowColumns();
  bool DispersionShown() const;
  void UpdateStatus();
  void Export(bool csv);
  // Shows the word of the table's current row: its lines, its place in the charts.
  void WordSelected();
  // Filters the table by the filter box: its text, or its pattern when asked for.
  void ApplyFilter();

  Dialogs& dialogs_;
  SettingsStore& settings_;
  std::function<QStringList()> input_files_;
  WordStatisticsRunner* runner_ = nullptr;
  WordStatisticsModel* model_ = nullptr;
  std::shared_ptr<const StatisticsOutcome> outcome_;
  QStringList stop_lists_;
  QString message_;       // the last run's failure or notice, shown in the status line
  bool showing_ = false;  // a run's words are in the table, its charts still to come

  QComboBox* encoding_ = nullptr;
  QCheckBox* fold_case_ = nullptr;
  QCheckBox* html_ = nullptr;
  QPushButton* stop_lists_button_ = nullptr;
  QLabel* stop_lists_label_ = nullptr;
  QComboBox* word_rule_ = nullptr;
  QCheckBox* split_elisions_ = nullptr;
  QComboBox* sequences_ = nullptr;
  QComboBox* sequence_breaks_ = nullptr;
  QCheckBox* after_run_ = nullptr;
  QPushButton* run_ = nullptr;
  QPushButton* cancel_ = nullptr;
  QProgressBar* progress_ = nullptr;
  QLineEdit* filter_ = nullptr;
  QCheckBox* files_column_ = nullptr;
  QCheckBox* dispersion_columns_ = nullptr;
  QCheckBox* pattern_ = nullptr;
  QTableView* table_ = nullptr;
  QLabel* status_ = nullptr;
  QPushButton* export_csv_ = nullptr;
  QPushButton* export_tsv_ = nullptr;
  QPushButton* export_workbook_ = nullptr;
  std::shared_ptr<std::atomic<bool>> workbook_cancel_;
  ConcordancePane* concordance_ = nullptr;
  WordStatisticsCharts* zipf_ = nullptr;
  WordStatisticsCharts* top_words_ = nullptr;
  DispersionPlot* dispersion_ = nullptr;
  QString concordance_word_;  // the word whose lines the concordance holds
};

}  // namespace lintavel
