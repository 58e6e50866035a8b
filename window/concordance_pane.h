#pragma once

#include <QAbstractTableModel>
#include <QString>
#include <QStringList>
#include <QWidget>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "corpus/concordance.h"

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

  void Clear();
  // Adds `lines`, found in text order after those already held.
  void Append(std::vector<ConcordanceLine> lines);
  // Shows the lines in `sort` order.
  void SetSort(KwicSort sort);
  const ConcordanceLine& Line(int row) const {
    return (sort_ == KwicSort::kText ? text_order_ : shown_)[static_cast<std::size_t>(row)];
  }
  // Every line held, in text order whatever the order shown.
  const std::vector<ConcordanceLine>& text_order() const { return text_order_; }

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation,
                      int role = Qt::DisplayRole) const override;

 private:
  std::vector<ConcordanceLine> text_order_;
  std::vector<ConcordanceLine> shown_;  // the lines in another order than the text's
  KwicSort sort_ = KwicSort::kText;
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

  ConcordanceModel& model() const { return *model_; }
  QTableView* table() const { return table_; }
  QString status_text() const;

 signals:
  // The search has ended (not when cancelled).
  void SearchEnded();

 private:
  struct SearchState;
  void UpdateStatus();
  void OpenRow(int row);

  Dialogs& dialogs_;
  ConcordanceModel* model_ = nullptr;
  QComboBox* sort_ = nullptr;
  QTableView* table_ = nullptr;
  QLabel* status_ = nullptr;
  std::shared_ptr<SearchState> search_;
  QString word_;
  QStringList failures_;
  QString message_;
};

}  // namespace lintavel
