#pragma once

#include <QString>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "corpus/word_list.h"

QT_BEGIN_NAMESPACE
class QChartView;
class QScatterSeries;
QT_END_NAMESPACE

namespace lintavel {

class Dialogs;

// A point of the rank/frequency plot: the rank (1 the most frequent) and its count.
struct RankCount {
  double rank = 0;
  double count = 0;
};

// At most `most` points of the rank/frequency curve of `words` (least frequent
// first, as a run lists them), at ranks spaced evenly on a log scale, the first and
// last rank always among them: enough to draw the curve of millions of words.
std::vector<RankCount> ZipfPoints(const std::vector<CorpusWord>& words, std::size_t most);

// Saves what `view` shows to `path`: SVG titled `title` when the name ends in .svg,
// else PNG. False when it could not be written.
bool SaveChartImage(QWidget& view, const QString& title, const QString& path);

// Asks through `dialogs` for a PNG or SVG file and saves `view` there; says so in a
// message box when it could not be written.
void ExportChartImage(Dialogs& dialogs, QWidget& view, const QString& title);

// Lays out `owner` as `chart` above an "Export Chart…" button that calls `on_export`.
void LayOutWithExportButton(QWidget& owner, QWidget& chart, const std::function<void()>& on_export);

// The charts of a statistics run: the rank/frequency plot on log-log axes with the
// selected word marked, and a bar chart of the most frequent words. Each exports as
// PNG or SVG.
class WordStatisticsCharts : public QWidget {
  Q_OBJECT

 public:
  // Which chart.
  enum class Kind { kZipf, kTopWords };

  WordStatisticsCharts(Kind kind, Dialogs& dialogs, QWidget* parent = nullptr);

  // Draws the words of `list` (null: none).
  void SetList(std::shared_ptr<const CorpusList> list);
  // Marks the word at `index` of the list, or none.
  void MarkWord(std::optional<std::uint32_t> index);
  // Asks for a file and saves the chart there: SVG when its name ends in .svg, else PNG.
  void Export();
  // Saves the chart to `path`; false when it could not be written.
  bool SaveTo(const QString& path);

  QChartView* view() const { return view_; }

 protected:
  void changeEvent(QEvent* event) override;

 private:
  Kind kind_;
  Dialogs& dialogs_;
  std::shared_ptr<const CorpusList> list_;
  QChartView* view_ = nullptr;
  QScatterSeries* marked_ = nullptr;
  std::optional<std::uint32_t> marked_index_;
};

// The number of words the bar chart shows.
inline constexpr int kTopWordsShown = 20;

}  // namespace lintavel
