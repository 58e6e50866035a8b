#pragma once

#include <QAbstractTableModel>
#include <QString>
#include <QStringList>
#include <QWidget>
#include <filesystem>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "corpus/concordance.h"
#include "window/concordance_lines.h"
#include "window/dispersion_plot.h"

class QComboBox;
class QLabel;
class QTableView;

namespace lintavel {

class Dialogs;

// The lines of a concordance as a table: file, line, left context, word, right context.
class ConcordanceModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  enum Column { kFile, kLine, kLeft, kWord, kRight, kColumnCount };

  explicit ConcordanceModel(QObject* parent = nullptr);
  ~ConcordanceModel() override;

  // Empties the model; the lines are freed on a worker.
  void Clear();
  // Moves in `lines`, found in text order after those already held; their vector
  // stays the caller's to free.
  void Append(std::vector<ConcordanceLine>&& lines);
  // Shows the lines in `sort` order. Many lines are sorted on a worker: until it is
  // done, and for lines added since, they are shown in text order after those sorted.
  void SetSort(KwicSort sort);
  const ConcordanceLine& Line(int row) const {
    const auto at = static_cast<std::size_t>(row);
    return at < shown_.size() ? *shown_[at] : lines_[at];
  }
  // Whether some lines wait for a worker to put them in the order chosen.
  bool sorting() const { return sort_ != KwicSort::kText && shown_.size() < lines_.size(); }

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation,
                      int role = Qt::DisplayRole) const override;

 private:
  void Sort();
  void Sorted(unsigned generation, std::vector<const ConcordanceLine*> lines);
  // Shows the lines as `shown` orders them (then the rest in text order), keeping
  // the view's current and selected lines.
  void Reorder(std::vector<const ConcordanceLine*> shown);

  ConcordanceLines lines_;  // in text order
  // When the order is not the text's: the first lines held, in that order.
  std::vector<const ConcordanceLine*> shown_;
  KwicSort sort_ = KwicSort::kText;
  unsigned generation_ = 0;  // changes when the lines or the order do: older sorts are dropped
  bool worker_sorting_ = false;
};

// The occurrences of one word in its context, searched on a worker and streamed in;
// files that cannot be read are named in the pane's status and the search goes on.
// Double-clicking a line asks the desktop to open its file.
class ConcordancePane : public QWidget {
  Q_OBJECT

 public:
  explicit ConcordancePane(Dialogs& dialogs, QWidget* parent = nullptr);
  ~ConcordancePane() override;

  // Searches `files` for `word` (UTF-8), ending any search under way.
  void Show(std::vector<std::filesystem::path> files, const std::string& word,
            const ConcordanceOptions& options);
  // Ends any search, empties the lines and says `note` in the status instead.
  void ShowNote(const QString& note);
  // Ends the search under way; the lines found so far stay.
  void Cancel();
  bool searching() const { return search_ != nullptr; }
  // Where the word occurs, in text order: complete once the search has ended.
  std::span<const DispersionPlace> places() const { return places_; }

  ConcordanceModel& model() const { return *model_; }
  QTableView* table() const { return table_; }
  QString status_text() const;

 signals:
  // The search has ended (not when cancelled).
  void SearchEnded();

 private:
  struct SearchState;
  // Takes in the lines the worker has found, for a few milliseconds at most, and
  // comes back on a later turn of the event loop for the rest.
  void TakeLines(const std::shared_ptr<SearchState>& search);
  void UpdateStatus();
  void OpenRow(int row);

  Dialogs& dialogs_;
  ConcordanceModel* model_ = nullptr;
  QComboBox* sort_ = nullptr;
  QTableView* table_ = nullptr;
  QLabel* status_ = nullptr;
  std::shared_ptr<SearchState> search_;
  std::vector<DispersionPlace> places_;
  QString word_;
  QStringList failures_;
  QString message_;
};

}  // namespace lintavel
