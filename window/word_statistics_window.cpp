#include "window/word_statistics_window.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QSplitter>
#include <QTabWidget>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>
#include <QtConcurrent>
#include <new>

#include "corpus/list_dispersion.h"
#include "corpus/list_writer.h"
#include "corpus/option_names.h"
#include "output/list_table.h"
#include "output/safe_file_writer.h"
#include "output/spreadsheet.h"
#include "shell/dialogs.h"
#include "shell/settings_store.h"
#include "window/concordance_pane.h"
#include "window/dispersion_plot.h"
#include "window/native_names.h"
#include "window/ui_relay.h"
#include "window/word_statistics_charts.h"
#include "window/word_statistics_model.h"

namespace lintavel {

namespace {

struct EncodingChoice {
  const char* caption;
  InputEncoding encoding;
};
constexpr EncodingChoice kEncodings[] = {
    {"cp1252", InputEncoding::kCp1252},
    {"utf-8", InputEncoding::kUtf8},
    {"utf-16", InputEncoding::kUtf16},
    {"auto", InputEncoding::kAuto},
};

struct WordRuleChoice {
  const char* caption;
  const char* setting;  // as kept in the settings file
  WordRule rule;
};
constexpr WordRuleChoice kWordRules[] = {
    {QT_TRANSLATE_NOOP("WordStatisticsWindow", "Default"), "default", WordRule::kDefault},
    {QT_TRANSLATE_NOOP("WordStatisticsWindow", "Unicode"), "unicode", WordRule::kUnicode},
};

// The lengths offered, named as lintavel-extract --ngrams names them.
struct SequenceChoice {
  const char* caption;
  const char* lengths;  // as --ngrams takes it, and as kept in the settings file
};
constexpr SequenceChoice kSequences[] = {
    {QT_TRANSLATE_NOOP("WordStatisticsWindow", "Words"), "1"},
    {QT_TRANSLATE_NOOP("WordStatisticsWindow", "2 words"), "2"},
    {QT_TRANSLATE_NOOP("WordStatisticsWindow", "3 words"), "3"},
    {QT_TRANSLATE_NOOP("WordStatisticsWindow", "2 to 3 words"), "2-3"},
    {QT_TRANSLATE_NOOP("WordStatisticsWindow", "1 to 3 words"), "1-3"},
};

// Where sequences end, named as lintavel-extract --ngram-breaks names it.
struct BreaksChoice {
  const char* caption;
  const char* name;  // as --ngram-breaks takes it, and as kept in the settings file
};
constexpr BreaksChoice kBreaks[] = {
    {QT_TRANSLATE_NOOP("WordStatisticsWindow", "Sentence"), "sentence"},
    {QT_TRANSLATE_NOOP("WordStatisticsWindow", "Line"), "line"},
    {QT_TRANSLATE_NOOP("WordStatisticsWindow", "None"), "none"},
};

// The shortest and longest sequence of the choice at `index`, read as --ngrams reads it.
std::pair<unsigned, unsigned> SequenceLengths(int index) {
  return NgramLengthsNamed(kSequences[std::max(0, index)].lengths)
      .value_or(std::pair<unsigned, unsigned>{1, 1});
}

const char* BreaksName(NgramBreaks breaks) {
  for (const BreaksChoice& choice : kBreaks) {
    if (NgramBreaksNamed(choice.name) == breaks) return choice.name;
  }
  return "";
}

const char* EncodingName(InputEncoding encoding) {
  for (const EncodingChoice& choice : kEncodings) {
    if (choice.encoding == encoding) return choice.caption;
  }
  return "";
}

// A control with its name for screen readers and what it does.
template <typename Widget>
Widget* Named(Widget* widget, const QString& name, const QString& description) {
  widget->setAccessibleName(name);
  widget->setAccessibleDescription(description);
  widget->setToolTip(description);
  return widget;
}

// The open dialog's answer as full paths: one path, or a folder and its names.
QStringList ChosenPaths(const QString& answer) {
  QStringList parts = answer.split(QChar(u'\0'), Qt::SkipEmptyParts);
  if (parts.size() <= 1) return parts;
  const QDir folder(parts.takeFirst());
  for (QString& name : parts) name = folder.filePath(name);
  return parts;
}

// The rows shown with the columns shown, frozen for a workbook writer on another thread.
class StatisticsTable : public ListTable {
 public:
  StatisticsTable(std::shared_ptr<const CorpusList> list,
                  std::shared_ptr<const WordDispersions> dispersion,
                  std::vector<std::uint32_t> rows, std::vector<int> columns)
      : list_(std::move(list)),
        dispersion_(std::move(dispersion)),
        rows_(std::move(rows)),
        columns_(std::move(columns)) {}
  int ColumnCount() const override { return static_cast<int>(columns_.size()); }
  QString HeaderText(int column) const override { return StatisticsHeader(Column(column)); }
  int RowCount() const override { return static_cast<int>(rows_.size()); }
  QString CellText(int row, int column) const override {
    return StatisticsCell(*list_, dispersion_.get(), rows_[static_cast<std::size_t>(row - 1)],
                          Column(column));
  }
  bool Checked(int) const override { return true; }

 private:
  int Column(int column) const { return columns_[static_cast<std::size_t>(column - 1)]; }

  std::shared_ptr<const CorpusList> list_;
  std::shared_ptr<const WordDispersions> dispersion_;
  std::vector<std::uint32_t> rows_;
  std::vector<int> columns_;  // the model's, in their order
};

}  // namespace

WordStatisticsWindow::WordStatisticsWindow(Dialogs& dialogs, SettingsStore& settings,
                                           std::function<QStringList()> input_files,
                                           QWidget* parent)
    : QWidget(parent, Qt::Window),
      dialogs_(dialogs),
      settings_(settings),
      input_files_(std::move(input_files)) {
  setObjectName(QStringLiteral("WordStatistics"));
  setWindowTitle(tr("Word Statistics"));
  setAccessibleName(tr("Word Statistics"));
  setAccessibleDescription(tr("The words of the input files with their counts, shares and files"));
  runner_ = new WordStatisticsRunner(this);
  model_ = new WordStatisticsModel(this);
  BuildControls();
  connect(runner_, &WordStatisticsRunner::Progress, progress_, &QProgressBar::setValue);
  connect(runner_, &WordStatisticsRunner::Finished, this, &WordStatisticsWindow::Finish);
  connect(runner_, &WordStatisticsRunner::Failed, this, [this](const QString& reason) {
    message_ = tr("The run failed: %1").arg(reason);
    SetRunning(false);
    UpdateStatus();
    emit RunEnded();
  });
  resize(960, 680);
  const QByteArray geometry = QByteArray::fromBase64(
      settings_.GetSetting(QString::fromLatin1(kSettingStatisticsGeometry), QString()).toLatin1());
  if (!geometry.isEmpty()) restoreGeometry(geometry);
  SetRunning(false);
  UpdateStatus();
}

WordStatisticsWindow::~WordStatisticsWindow() = default;

void WordStatisticsWindow::BuildControls() {
  encoding_ = Named(new QComboBox(this), tr("Encoding"),
                    tr("How the input files are read in the next run"));
  for (const EncodingChoice& choice : kEncodings) {
    encoding_->addItem(QString::fromLatin1(choice.caption));
  }
  fold_case_ = Named(new QCheckBox(tr("&Fold case"), this), tr("Fold case"),
                     tr("Words that differ only in case count as one, listed folded"));
  html_ = Named(new QCheckBox(tr("&HTML text"), this), tr("HTML text"),
                tr("Count only the text of HTML: tags, comments, script and style are no words"));
  stop_lists_button_ = Named(new QPushButton(tr("&Stop Lists…"), this), tr("Stop lists"),
                             tr("Choose files of words to leave out; cancel to use none"));
  stop_lists_label_ = Named(new QLabel(this), tr("Stop lists chosen"),
                            tr("The stop lists the next run leaves out"));
  word_rule_ = Named(new QComboBox(this), tr("Word rule"),
                     tr("How the next run cuts the text into words: at blanks with ASCII "
                        "punctuation removed, or at the Unicode word boundaries"));
  const QString rule_setting =
      settings_.GetSetting(QString::fromLatin1(kSettingStatisticsWordRule), QString());
  for (const WordRuleChoice& choice : kWordRules) {
    word_rule_->addItem(tr(choice.caption));
    if (rule_setting == QLatin1String(choice.setting)) {
      word_rule_->setCurrentIndex(word_rule_->count() - 1);
    }
  }
  split_elisions_ =
      Named(new QCheckBox(tr("Split &elisions"), this), tr("Split elisions"),
            tr("With the Unicode rule, French and Italian elisions such as l’ are words of "
               "their own"));
  split_elisions_->setChecked(
      settings_.GetSetting(QString::fromLatin1(kSettingStatisticsSplitElisions), false) ==
      QStringLiteral("True"));
  sequences_ = Named(new QComboBox(this), tr("Sequences"),
                     tr("Count the words, or the sequences of consecutive words of these "
                        "lengths, in the next run"));
  const QString sequences_setting =
      settings_.GetSetting(QString::fromLatin1(kSettingStatisticsSequences), QString());
  for (const SequenceChoice& choice : kSequences) {
    sequences_->addItem(tr(choice.caption));
    if (sequences_setting == QLatin1String(choice.lengths)) {
      sequences_->setCurrentIndex(sequences_->count() - 1);
    }
  }
  sequence_breaks_ = Named(new QComboBox(this), tr("Sequence breaks"),
                           tr("Where a sequence of words ends besides a file's end and a stop "
                              "word: at a sentence end, also at a line end, or nowhere else"));
  const QString breaks_setting =
      settings_.GetSetting(QString::fromLatin1(kSettingStatisticsSequenceBreaks), QString());
  for (const BreaksChoice& choice : kBreaks) {
    sequence_breaks_->addItem(tr(choice.caption));
    if (breaks_setting == QLatin1String(choice.name)) {
      sequence_breaks_->setCurrentIndex(sequence_breaks_->count() - 1);
    }
  }
  after_run_ = Named(new QCheckBox(tr("&Open after every run"), this), tr("Open after every run"),
                     tr("Open this window and count again after each run of the main window"));
  after_run_->setChecked(settings_.GetSetting(QString::fromLatin1(kSettingStatisticsAfterRun),
                                              false) == QStringLiteral("True"));
  run_ = Named(new QPushButton(tr("&Run"), this), tr("Run"),
               tr("Count the words of the main window's input files with these options"));
  cancel_ = Named(new QPushButton(tr("&Cancel"), this), tr("Cancel"),
                  tr("Stop the run; the words shown stay"));
  progress_ = Named(new QProgressBar(this), tr("Progress"), tr("The share of the input counted"));
  progress_->setRange(0, 100);
  filter_ =
      Named(new QLineEdit(this), tr("Filter"), tr("Show only the words that contain this text"));
  filter_->setPlaceholderText(tr("Filter words"));
  filter_->setClearButtonEnabled(true);
  pattern_ = Named(new QCheckBox(tr("&Pattern"), this), tr("Pattern"),
                   tr("Read the filter as a pattern, as lintavel-extract --match reads it"));
  files_column_ = Named(new QCheckBox(tr("Files &column"), this), tr("Files column"),
                        tr("Show the number of files each word occurs in, and export it"));
  files_column_->setChecked(true);
  dispersion_columns_ =
      Named(new QCheckBox(tr("Dispersio&n columns"), this), tr("Dispersion columns"),
            tr("Show Juilland's D and Gries's DP of each word over the input files, and export "
               "them with the files, as lintavel-extract --dispersion files does; sequences "
               "of words have none"));
  dispersion_columns_->setChecked(true);
  table_ = Named(new QTableView(this), tr("Words"),
                 tr("The words with their count, share of the total, frequency per million, "
                    "the number of files they occur in and their dispersion over them"));
  table_->setModel(model_);
  table_->setSortingEnabled(true);
  table_->horizontalHeader()->setSortIndicator(WordStatisticsModel::kCount, Qt::AscendingOrder);
  table_->setSelectionBehavior(QAbstractItemView::SelectRows);
  table_->verticalHeader()->setDefaultSectionSize(table_->fontMetrics().height() + 4);
  table_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  table_->horizontalHeader()->setStretchLastSection(true);
  status_ = Named(new QLabel(this), tr("Status"), tr("The figures of the words counted"));
  status_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  status_->setWordWrap(true);
  export_csv_ = Named(new QPushButton(tr("Export &CSV…"), this), tr("Export CSV"),
                      tr("Save the whole list as CSV, as lintavel-extract writes it"));
  export_tsv_ = Named(new QPushButton(tr("Export &TSV…"), this), tr("Export TSV"),
                      tr("Save the whole list as TSV, as lintavel-extract writes it"));

  concordance_ = new ConcordancePane(dialogs_, this);
  auto* views = Named(new QTabWidget(this), tr("Charts"),
                      tr("The charts of the words and of the selected word"));
  zipf_ = new WordStatisticsCharts(WordStatisticsCharts::Kind::kZipf, dialogs_, this);
  top_words_ = new WordStatisticsCharts(WordStatisticsCharts::Kind::kTopWords, dialogs_, this);
  dispersion_ = new DispersionPlot(dialogs_, this);
  views->addTab(zipf_, tr("&Rank and Frequency"));
  views->addTab(top_words_, tr("&Most Frequent"));
  views->addTab(dispersion_, tr("&Dispersion"));
  // The table beside the charts, the concordance under both with the whole width
  // for its contexts.
  auto* beside = new QSplitter(Qt::Horizontal, this);
  beside->setAccessibleName(tr("Table and charts"));
  beside->setAccessibleDescription(tr("Drag to share the width between the table and the charts"));
  beside->addWidget(table_);
  beside->addWidget(views);
  beside->setStretchFactor(0, 1);
  beside->setStretchFactor(1, 1);
  auto* split = new QSplitter(Qt::Vertical, this);
  split->setAccessibleName(tr("Table and concordance"));
  split->setAccessibleDescription(
      tr("Drag to share the height between the table and the concordance"));
  split->addWidget(beside);
  split->addWidget(concordance_);
  split->setStretchFactor(0, 3);
  split->setStretchFactor(1, 2);

  auto* options = new QHBoxLayout;
  options->addWidget(encoding_);
  options->addWidget(fold_case_);
  options->addWidget(html_);
  options->addWidget(stop_lists_button_);
  options->addWidget(stop_lists_label_, 1);
  // How words are cut; further word options of a run belong on this row.
  auto* word_rules = new QHBoxLayout;
  auto* rule_label = new QLabel(tr("Word r&ule:"), this);
  rule_label->setBuddy(word_rule_);
  rule_label->setAccessibleName(tr("Word rule label"));
  rule_label->setAccessibleDescription(word_rule_->accessibleDescription());
  word_rules->addWidget(rule_label);
  word_rules->addWidget(word_rule_);
  word_rules->addWidget(split_elisions_);
  auto* sequences_label = new QLabel(tr("Se&quences:"), this);
  sequences_label->setBuddy(sequences_);
  sequences_label->setAccessibleName(tr("Sequences label"));
  sequences_label->setAccessibleDescription(sequences_->accessibleDescription());
  word_rules->addWidget(sequences_label);
  word_rules->addWidget(sequences_);
  auto* breaks_label = new QLabel(tr("Sequence &breaks:"), this);
  breaks_label->setBuddy(sequence_breaks_);
  breaks_label->setAccessibleName(tr("Sequence breaks label"));
  breaks_label->setAccessibleDescription(sequence_breaks_->accessibleDescription());
  word_rules->addWidget(breaks_label);
  word_rules->addWidget(sequence_breaks_);
  word_rules->addStretch(1);
  auto* running = new QHBoxLayout;
  running->addWidget(run_);
  running->addWidget(cancel_);
  running->addWidget(progress_, 1);
  running->addWidget(after_run_);
  auto* filtering = new QHBoxLayout;
  filtering->addWidget(filter_, 1);
  filtering->addWidget(pattern_);
  filtering->addWidget(files_column_);
  filtering->addWidget(dispersion_columns_);
  export_workbook_ =
      Named(new QPushButton(tr("Export &Workbook…"), this), tr("Export workbook"),
            tr("Save the rows shown, in their order, with the columns shown, as a workbook"));
  auto* exporting = new QHBoxLayout;
  exporting->addWidget(status_, 1);
  exporting->addWidget(export_csv_);
  exporting->addWidget(export_tsv_);
  exporting->addWidget(export_workbook_);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(options);
  layout->addLayout(word_rules);
  layout->addLayout(running);
  layout->addLayout(filtering);
  layout->addWidget(split, 1);
  layout->addLayout(exporting);

  // The tab order follows the reading order: options, running, filter, table, export.
  QWidget* const order[] = {encoding_,
                            fold_case_,
                            html_,
                            stop_lists_button_,
                            word_rule_,
                            split_elisions_,
                            sequences_,
                            sequence_breaks_,
                            run_,
                            cancel_,
                            after_run_,
                            filter_,
                            pattern_,
                            files_column_,
                            dispersion_columns_,
                            table_,
                            views,
                            concordance_,
                            export_csv_,
                            export_tsv_,
                            export_workbook_};
  for (std::size_t i = 1; i < std::size(order); ++i) setTabOrder(order[i - 1], order[i]);

  connect(run_, &QPushButton::clicked, this, &WordStatisticsWindow::StartRun);
  connect(cancel_, &QPushButton::clicked, this, &WordStatisticsWindow::CancelRun);
  connect(stop_lists_button_, &QPushButton::clicked, this, &WordStatisticsWindow::ChooseStopLists);
  connect(after_run_, &QCheckBox::toggled, this, [this](bool on) {
    settings_.SaveSetting(QString::fromLatin1(kSettingStatisticsAfterRun),
                          on ? QStringLiteral("True") : QStringLiteral("False"));
  });
  const auto rule_chosen = [this] {
    const bool unicode =
        kWordRules[std::max(0, word_rule_->currentIndex())].rule == WordRule::kUnicode;
    split_elisions_->setEnabled(unicode);
  };
  rule_chosen();
  connect(word_rule_, &QComboBox::currentIndexChanged, this, [this, rule_chosen](int index) {
    rule_chosen();
    settings_.SaveSetting(QString::fromLatin1(kSettingStatisticsWordRule),
                          QString::fromLatin1(kWordRules[std::max(0, index)].setting));
  });
  connect(split_elisions_, &QCheckBox::toggled, this, [this](bool on) {
    settings_.SaveSetting(QString::fromLatin1(kSettingStatisticsSplitElisions),
                          on ? QStringLiteral("True") : QStringLiteral("False"));
  });
  const auto sequences_chosen = [this] {
    sequence_breaks_->setEnabled(SequenceLengths(sequences_->currentIndex()).second > 1);
  };
  sequences_chosen();
  connect(sequences_, &QComboBox::currentIndexChanged, this, [this, sequences_chosen](int index) {
    sequences_chosen();
    settings_.SaveSetting(QString::fromLatin1(kSettingStatisticsSequences),
                          QString::fromLatin1(kSequences[std::max(0, index)].lengths));
  });
  connect(sequence_breaks_, &QComboBox::currentIndexChanged, this, [this](int index) {
    settings_.SaveSetting(QString::fromLatin1(kSettingStatisticsSequenceBreaks),
                          QString::fromLatin1(kBreaks[std::max(0, index)].name));
  });
  connect(filter_, &QLineEdit::textChanged, this, &WordStatisticsWindow::ApplyFilter);
  connect(pattern_, &QCheckBox::toggled, this, &WordStatisticsWindow::ApplyFilter);
  connect(files_column_, &QCheckBox::toggled, this, &WordStatisticsWindow::ShowColumns);
  connect(dispersion_columns_, &QCheckBox::toggled, this, [this] {
    ShowColumns();
    UpdateStatus();
  });
  connect(table_->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
          &WordStatisticsWindow::WordSelected);
  connect(concordance_, &ConcordancePane::SearchEnded, this, [this] {
    if (!outcome_) return;
    dispersion_->SetOccurrences(concordance_word_, outcome_->paths, concordance_->places(),
                                outcome_->options.encoding);
  });
  connect(export_csv_, &QPushButton::clicked, this, &WordStatisticsWindow::ExportCsv);
  connect(export_tsv_, &QPushButton::clicked, this, &WordStatisticsWindow::ExportTsv);
  connect(export_workbook_, &QPushButton::clicked, this, &WordStatisticsWindow::ExportWorkbook);
}

StatisticsOptions WordStatisticsWindow::ChosenOptions() const {
  StatisticsOptions options;
  options.encoding = kEncodings[std::max(0, encoding_->currentIndex())].encoding;
  options.fold_case = fold_case_->isChecked();
  options.html = html_->isChecked();
  options.words = kWordRules[std::max(0, word_rule_->currentIndex())].rule;
  options.split_elisions = options.words == WordRule::kUnicode && split_elisions_->isChecked();
  std::tie(options.ngrams.shortest, options.ngrams.longest) =
      SequenceLengths(sequences_->currentIndex());
  if (options.ngrams.active()) {
    options.ngrams.breaks =
        NgramBreaksNamed(kBreaks[std::max(0, sequence_breaks_->currentIndex())].name)
            .value_or(NgramBreaks::kSentence);
  }
  for (const QString& path : stop_lists_) {
    options.stop_lists.push_back(EncodeFileName(path).toStdString());
  }
  return options;
}

void WordStatisticsWindow::ChooseStopLists() {
  OpenFilesRequest request;
  request.title = tr("Stop Lists");
  request.filter = QStringLiteral("Text Files (*.txt)|*.txt|All Files (*.*)|*.*|");
  const QString answer = dialogs_.OpenFiles(request);
  stop_lists_ = ChosenPaths(answer);
  QStringList names;
  for (const QString& path : stop_lists_) names << QFileInfo(path).fileName();
  stop_lists_label_->setText(names.join(QStringLiteral(", ")));
}

void WordStatisticsWindow::StartRun() {
  const QStringList files = input_files_ ? input_files_() : QStringList();
  if (files.isEmpty()) {
    message_ = tr("No files in the input list of the main window.");
    UpdateStatus();
    emit RunEnded();
    return;
  }
  message_.clear();
  progress_->setValue(0);
  runner_->Start(files, ChosenOptions());
  SetRunning(true);
  UpdateStatus();
}

void WordStatisticsWindow::CancelRun() {
  if (!runner_->running()) return;
  runner_->Cancel();
  message_ = tr("Cancelled; the words shown are those of the previous run.");
  SetRunning(false);
  UpdateStatus();
  emit RunEnded();
}

bool WordStatisticsWindow::running() const { return runner_->running() || showing_; }

bool WordStatisticsWindow::OpenAfterRun() const { return after_run_->isChecked(); }

void WordStatisticsWindow::Finish(const std::shared_ptr<const StatisticsOutcome>& outcome) {
  outcome_ = outcome;
  showing_ = true;
  const QString filter = filter_->text();
  model_->SetList(outcome_->list, outcome_->dispersion);
  ShowColumns();
  const QHeaderView* header = table_->horizontalHeader();
  model_->sort(header->sortIndicatorSection(), header->sortIndicatorOrder());
  if (!filter.isEmpty()) ApplyFilter();
  message_.clear();
  if (!outcome_->reports.empty()) {
    message_ =
        tr("%n report(s), the first: %1", nullptr, static_cast<int>(outcome_->reports.size()))
            .arg(QString::fromStdString(outcome_->reports.front()));
  }
  UpdateStatus();
  // The table first, each chart on a later turn of the event loop: with millions of
  // words no one step holds the window for long. A newer outcome drops the steps.
  QTimer::singleShot(0, this, [this, outcome] {
    if (outcome_ != outcome) return;
    zipf_->SetList(outcome_->list);
    const QModelIndex current = table_->currentIndex();
    if (current.isValid()) zipf_->MarkWord(model_->ListIndex(current.row()));
    QTimer::singleShot(0, this, [this, outcome] {
      if (outcome_ != outcome) return;
      top_words_->SetList(outcome_->list);
      showing_ = false;
      if (runner_->running()) return;  // a newer run is under way
      SetRunning(false);
      UpdateStatus();
      emit RunEnded();
    });
  });
}

void WordStatisticsWindow::ApplyFilter() {
  const QString text = filter_->text();
  const QString description = filter_->accessibleDescription();
  if (!pattern_->isChecked() || text.isEmpty()) {
    filter_->setToolTip(description);
    model_->SetFilter(text);
  } else {
    ListFilterSettings settings;
    settings.match.push_back(text.toStdString());
    try {
      model_->SetPattern(std::make_shared<const ListFilter>(settings));
      filter_->setToolTip(description);
    } catch (const ListFilterError& error) {
      // In the tooltip rather than a message box, which would come at every keystroke;
      // the rows stay as they were until the pattern parses.
      filter_->setToolTip(QStringLiteral("<span style=\"color:red\">%1</span>")
                              .arg(QString::fromStdString(error.what()).toHtmlEscaped()));
    }
  }
  UpdateStatus();
}

void WordStatisticsWindow::WordSelected() {
  const QModelIndex current = table_->currentIndex();
  dispersion_->Clear();
  if (!outcome_ || !current.isValid()) {
    zipf_->MarkWord(std::nullopt);
    return;
  }
  zipf_->MarkWord(model_->ListIndex(current.row()));
  // The concordance and the dispersion plot find one word, not a sequence of them.
  if (outcome_->options.ngrams.active() && model_->Word(current.row()).contains(u' ')) {
    concordance_word_.clear();
    concordance_->ShowNote(
        tr("Lines are shown for single words only; this row is a sequence of words."));
    return;
  }
  ConcordanceOptions options;
  options.encoding = outcome_->options.encoding;
  options.html = outcome_->options.html;
  options.fold_case = outcome_->options.fold_case;
  options.words = outcome_->options.words;
  options.split_elisions = outcome_->options.split_elisions;
  concordance_word_ = model_->Word(current.row());
  concordance_->Show(outcome_->paths, concordance_word_.toStdString(), options);
}

void WordStatisticsWindow::SetRunning(bool running) {
  run_->setEnabled(!running);
  cancel_->setEnabled(running);
  progress_->setVisible(running);
  if (!running) progress_->setValue(0);
}

void WordStatisticsWindow::ShowColumns() {
  table_->setColumnHidden(WordStatisticsModel::kFiles, !files_column_->isChecked());
  const bool dispersion = DispersionShown();
  table_->setColumnHidden(WordStatisticsModel::kJuillandD, !dispersion);
  table_->setColumnHidden(WordStatisticsModel::kGriesDp, !dispersion);
}

bool WordStatisticsWindow::DispersionShown() const {
  return dispersion_columns_->isChecked() && outcome_ && outcome_->dispersion;
}

QString WordStatisticsWindow::status_text() const { return status_->text(); }

void WordStatisticsWindow::UpdateStatus() {
  QStringList parts;
  if (runner_->running()) parts << tr("Counting…");
  if (outcome_ && outcome_->list) {
    const CorpusList& list = *outcome_->list;
    const double ratio = list.total == 0
                             ? 0.0
                             : static_cast<double>(list.distinct) / static_cast<double>(list.total);
    parts << tr("Total: %1").arg(list.total) << tr("Distinct: %1").arg(list.distinct)
          << tr("Hapax: %1").arg(list.once)
          << tr("Type-token ratio: %1").arg(QString::number(ratio, 'f', 4));
    if (model_->filtered()) parts << tr("Shown: %1").arg(model_->rowCount());
    const StatisticsOptions& options = outcome_->options;
    QStringList in_effect{QString::fromLatin1(EncodingName(options.encoding))};
    if (options.fold_case) in_effect << tr("fold case");
    if (options.html) in_effect << tr("HTML text");
    if (options.words == WordRule::kUnicode) in_effect << tr("Unicode words");
    if (options.split_elisions) in_effect << tr("elisions split");
    if (options.ngrams.active()) {
      in_effect << (options.ngrams.shortest == options.ngrams.longest
                        ? tr("sequences of %1 words").arg(options.ngrams.longest)
                        : tr("sequences of %1 to %2 words")
                              .arg(options.ngrams.shortest)
                              .arg(options.ngrams.longest))
                << tr("broken at: %1").arg(QString::fromLatin1(BreaksName(options.ngrams.breaks)));
    }
    if (!options.stop_lists.empty()) {
      in_effect << tr("%n stop list(s)", nullptr, static_cast<int>(options.stop_lists.size()));
    }
    parts << tr("Options: %1").arg(in_effect.join(QStringLiteral(", ")));
    if (!outcome_->dispersion && dispersion_columns_->isChecked()) {
      parts << tr("No dispersion for sequences of words");
    }
  }
  if (!message_.isEmpty()) parts << message_;
  status_->setText(parts.join(QStringLiteral("   ")));
  export_csv_->setEnabled(outcome_ != nullptr);
  export_tsv_->setEnabled(outcome_ != nullptr);
  export_workbook_->setEnabled(outcome_ != nullptr && !workbook_cancel_);
}

void WordStatisticsWindow::ExportCsv() { Export(true); }

void WordStatisticsWindow::ExportTsv() { Export(false); }

void WordStatisticsWindow::Export(bool csv) {
  if (!outcome_ || !outcome_->list) return;
  SaveFileRequest request;
  request.title = csv ? tr("Export CSV") : tr("Export TSV");
  request.filter =
      csv ? QStringLiteral("CSV Files (*.csv)|*.csv|") : QStringLiteral("TSV Files (*.tsv)|*.tsv|");
  const QString path = dialogs_.SaveFile(request);
  if (path.isEmpty()) return;
  const CorpusList& list = *outcome_->list;
  const bool dispersion = DispersionShown();
  try {
    SafeFileWriter file(EncodeFileName(path).toStdString());
    WriteList(list, csv ? ListFormat::kCsv : ListFormat::kTsv, list.encoding,
              files_column_->isChecked() || dispersion,
              dispersion ? DispersionColumns(*outcome_->dispersion) : ListColumns{},
              [&](std::string_view chunk) { file.Write(chunk); });
    file.Commit();
    message_ = tr("Exported to %1").arg(path);
  } catch (const FileWriteError& failure) {
    message_.clear();
    dialogs_.MessageBox(QString::fromStdString(failure.what()), MessageStyle::kOkExclamation);
  } catch (const std::bad_alloc&) {
    message_.clear();
    dialogs_.MessageBox(tr("Out of memory while exporting the words."),
                        MessageStyle::kOkExclamation);
  }
  UpdateStatus();
}

void WordStatisticsWindow::ExportWorkbook() {
  if (!outcome_ || !outcome_->list || workbook_cancel_) return;
  SaveFileRequest request;
  request.title = tr("Export Workbook");
  request.filter = QStringLiteral("Workbooks (*.xlsx)|*.xlsx|");
  const QString path = dialogs_.SaveFile(request);
  if (path.isEmpty()) return;
  std::vector<int> columns;
  for (int column = 0; column < WordStatisticsModel::kColumnCount; ++column) {
    if (!table_->isColumnHidden(column)) columns.push_back(column);
  }
  auto table = std::make_shared<const StatisticsTable>(outcome_->list, outcome_->dispersion,
                                                       model_->shown(), std::move(columns));
  auto cancel = std::make_shared<std::atomic<bool>>(false);
  workbook_cancel_ = cancel;
  message_ = tr("Writing %1…").arg(path);
  UpdateStatus();
  QPointer<WordStatisticsWindow> self(this);
  (void)QtConcurrent::run([self, table, cancel, path] {
    QString said;
    try {
      WorkbookOptions options;
      options.cancel = cancel.get();
      const std::optional<CutCells> cut = WriteResultsWorkbook(*table, path, options);
      said =
          cut ? tr("Exported to %1; %n cell(s) too long for a cell were cut", nullptr, cut->count)
                    .arg(path)
              : tr("Exported to %1").arg(path);
    } catch (const std::exception& failure) {
      said =
          tr("The workbook could not be written: %1").arg(QString::fromStdString(failure.what()));
    }
    PostToUi([self, cancel, said] {
      if (!self || *cancel) return;
      self->workbook_cancel_.reset();
      self->message_ = said;
      self->UpdateStatus();
      emit self->WorkbookEnded();
    });
  });
}

void WordStatisticsWindow::closeEvent(QCloseEvent* event) {
  // A run does not outlive the window that would show it.
  if (runner_->running()) CancelRun();
  concordance_->Cancel();
  if (workbook_cancel_) *workbook_cancel_ = true;
  workbook_cancel_.reset();
  settings_.SaveSetting(QString::fromLatin1(kSettingStatisticsGeometry),
                        QString::fromLatin1(saveGeometry().toBase64()));
  event->accept();
}

}  // namespace lintavel
