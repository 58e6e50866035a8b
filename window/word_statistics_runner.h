#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "corpus/dispersion.h"
#include "corpus/word_list.h"
#include "engine/extraction.h"
#include "engine/word_rule.h"

namespace lintavel {

// The analysis options of a statistics run.
struct StatisticsOptions {
  InputEncoding encoding = InputEncoding::kCp1252;
  bool fold_case = false;
  bool html = false;
  std::vector<std::string> stop_lists;  // paths, read as the command line reads them
  // How the text is cut into words, as lintavel-extract --words and --split-elisions.
  WordRule words = WordRule::kDefault;
  bool split_elisions = false;  // with WordRule::kUnicode only
  // The word sequences counted in place of the words, as lintavel-extract --ngrams
  // and --ngram-breaks; the stop words are set by the run.
  NgramSettings ngrams;
};

// What a statistics run hands back: the words with their files, least frequent
// first as the command line lists them, their dispersion over the files, and the
// reader's reports as lines.
struct StatisticsOutcome {
  std::shared_ptr<const CorpusList> list;
  // One for each word of the list, in its order, as lintavel-extract --dispersion
  // files scores them; null for sequences of words, which it does not score.
  std::shared_ptr<const std::vector<DispersionScores>> dispersion;
  StatisticsOptions options;
  std::vector<std::filesystem::path> paths;  // the input files, in their order
  std::size_t files_read = 0;
  std::vector<std::string> reports;
};

// Runs the engine and the corpus library for the statistics window on a worker, as
// lintavel-extract --per-file --dispersion files does with the same options (without
// --dispersion for sequences). Reports are gathered, not shown one box at a time. Nothing of the
// worker refers to this object: after Cancel, or once it is gone, the worker stops at its next
// block and delivers nothing.
class WordStatisticsRunner : public QObject {
  Q_OBJECT

 public:
  explicit WordStatisticsRunner(QObject* parent = nullptr);
  ~WordStatisticsRunner() override;

  // Starts a run over `files` (a snapshot, in their order), ending any run under way.
  void Start(const QStringList& files, const StatisticsOptions& options);
  // Ends a run under way at once; its result is never delivered.
  void Cancel();
  bool running() const { return run_ != nullptr; }

 signals:
  // The share of the input counted so far, 0 to 100.
  void Progress(int percent);
  void Finished(std::shared_ptr<const StatisticsOutcome> outcome);
  // The run could not be made (a stop list unreadable, memory ran out): why.
  void Failed(const QString& reason);

 private:
  struct RunState;
  std::shared_ptr<RunState> run_;
};

}  // namespace lintavel
