#pragma once

#include <QAbstractTableModel>
#include <QString>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "corpus/dispersion.h"
#include "corpus/list_filters.h"
#include "corpus/word_list.h"

namespace lintavel {

// The scores of each word of a list, in its order.
using WordDispersions = std::vector<DispersionScores>;

// The words of a statistics run as a table: word, count, % of total, per million,
// files, and Juilland's D and Gries's DP over the files. The rows are indices into
// the run's list, so that millions of words cost four bytes each beyond what the
// engine gave; sorting and filtering permute them.
class WordStatisticsModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  enum Column { kWord, kCount, kPercent, kPerMillion, kFiles, kJuillandD, kGriesDp, kColumnCount };

  explicit WordStatisticsModel(QObject* parent = nullptr);

  // Shows the words of `list` in its own order, with no filter, and their
  // `dispersion` (one for each word; null leaves its columns empty).
  void SetList(std::shared_ptr<const CorpusList> list,
               std::shared_ptr<const WordDispersions> dispersion = nullptr);
  const std::shared_ptr<const CorpusList>& list() const { return list_; }
  const std::shared_ptr<const WordDispersions>& dispersion() const { return dispersion_; }

  // Keeps only the words that contain `needle` (case as typed). A needle that extends
  // the previous one narrows the rows shown rather than scanning every word again.
  void SetFilter(const QString& needle);
  const QString& filter() const { return filter_; }
  // Keeps only the words that `pattern` keeps (a --match pattern), in place of the
  // text filter; null goes back to the text filter.
  void SetPattern(std::shared_ptr<const ListFilter> pattern);
  bool filtered() const { return pattern_ || !filter_.isEmpty(); }

  // The word of row `row` as shown, and its index in the list.
  QString Word(int row) const;
  std::uint32_t ListIndex(int row) const { return view_[static_cast<std::size_t>(row)]; }
  // The list's indices of the rows shown, in their order.
  const std::vector<std::uint32_t>& shown() const { return view_; }

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation,
                      int role = Qt::DisplayRole) const override;
  // Orders all the words by `column`; equal keys keep the list's order.
  void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;

 private:
  void Refilter(bool narrow);

  std::shared_ptr<const CorpusList> list_;
  std::shared_ptr<const WordDispersions> dispersion_;
  std::vector<std::uint32_t> order_;  // every word, in the sorted order
  std::vector<std::uint32_t> view_;   // the words shown, in the sorted order
  QString filter_;
  std::string needle_;  // the filter in the words' encoding
  bool needle_valid_ = true;
  std::shared_ptr<const ListFilter> pattern_;
};

// The text of `column` for the word at `index` of `list`, as the table shows it;
// the dispersion columns from `dispersion` (empty without it). D is empty where a
// word has none, as the CSV writes it.
QString StatisticsCell(const CorpusList& list, const WordDispersions* dispersion,
                       std::uint32_t index, int column);

// The header of `column`.
QString StatisticsHeader(int column);

// What `column` holds, for its header's tooltip and screen readers; empty for the
// columns whose header says it all.
QString StatisticsHeaderDescription(int column);

// The word `word` of a list in `encoding`, as text.
QString WordText(std::string_view word, WordEncoding encoding);

}  // namespace lintavel
