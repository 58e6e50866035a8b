#include "window/word_statistics_charts.h"

#include <QBarCategoryAxis>
#include <QBarSeries>
#include <QBarSet>
#include <QChart>
#include <QChartView>
#include <QEvent>
#include <QHBoxLayout>
#include <QLineSeries>
#include <QLogValueAxis>
#include <QPainter>
#include <QPushButton>
#include <QScatterSeries>
#include <QSvgGenerator>
#include <QVBoxLayout>
#include <QValueAxis>
#include <algorithm>
#include <cmath>

#include "shell/dialogs.h"
#include "window/word_statistics_model.h"

namespace lintavel {

std::vector<RankCount> ZipfPoints(const std::vector<CorpusWord>& words, std::size_t most) {
  std::vector<RankCount> points;
  const std::size_t n = words.size();
  if (n == 0 || most == 0) return points;
  // Rank r is the r-th most frequent word: the list holds it at n - r.
  const auto point = [&](std::size_t rank) {
    return RankCount{static_cast<double>(rank), static_cast<double>(words[n - rank].count)};
  };
  if (n <= most) {
    for (std::size_t rank = 1; rank <= n; ++rank) points.push_back(point(rank));
    return points;
  }
  const double step = std::log(static_cast<double>(n)) / static_cast<double>(most - 1);
  std::size_t last = 0;
  for (std::size_t k = 0; k < most; ++k) {
    std::size_t rank =
        k + 1 == most
            ? n
            : static_cast<std::size_t>(std::llround(std::exp(step * static_cast<double>(k))));
    rank = std::clamp<std::size_t>(rank, last + 1, n);
    if (rank <= last) break;
    points.push_back(point(rank));
    last = rank;
    if (rank == n) break;
  }
  return points;
}

WordStatisticsCharts::WordStatisticsCharts(Kind kind, Dialogs& dialogs, QWidget* parent)
    : QWidget(parent), kind_(kind), dialogs_(dialogs) {
  const bool zipf = kind_ == Kind::kZipf;
  setAccessibleName(zipf ? tr("Rank and frequency chart") : tr("Most frequent words chart"));
  setAccessibleDescription(
      zipf ? tr("Each word's count against its rank, both on log scales; "
                "the selected word is marked")
           : tr("The counts of the %1 most frequent words").arg(kTopWordsShown));
  view_ = new QChartView(this);
  view_->setRenderHint(QPainter::Antialiasing);
  view_->setAccessibleName(accessibleName());
  view_->setAccessibleDescription(accessibleDescription());
  view_->setFocusPolicy(Qt::NoFocus);
  LayOutWithExportButton(*this, *view_, [this] { Export(); });
  SetList(nullptr);
}

void WordStatisticsCharts::SetList(std::shared_ptr<const CorpusList> list) {
  list_ = std::move(list);
  auto* chart = new QChart;
  // The chart follows the desktop's palette rather than a theme of its own.
  chart->setBackgroundBrush(palette().base());
  chart->setTitleBrush(palette().text());
  chart->legend()->hide();
  marked_ = nullptr;
  const std::vector<CorpusWord> none;
  const std::vector<CorpusWord>& words = list_ ? list_->words : none;
  if (kind_ == Kind::kZipf) {
    chart->setTitle(tr("Rank and frequency"));
    auto* curve = new QLineSeries;
    // A few thousand points draw the curve of millions of words; the table keeps them all.
    for (const RankCount& p : ZipfPoints(words, 4000)) curve->append(p.rank, p.count);
    marked_ = new QScatterSeries;
    marked_->setMarkerSize(10);
    chart->addSeries(curve);
    chart->addSeries(marked_);
    auto* x = new QLogValueAxis;
    x->setTitleText(tr("Rank"));
    x->setLabelFormat(QStringLiteral("%g"));
    auto* y = new QLogValueAxis;
    y->setTitleText(tr("Count"));
    y->setLabelFormat(QStringLiteral("%g"));
    chart->addAxis(x, Qt::AlignBottom);
    chart->addAxis(y, Qt::AlignLeft);
    for (QAbstractSeries* series : chart->series()) {
      series->attachAxis(x);
      series->attachAxis(y);
    }
    if (!words.empty()) {
      x->setRange(1, std::max(2.0, static_cast<double>(words.size())));
      y->setRange(std::max(0.5, static_cast<double>(words.front().count) * 0.8),
                  static_cast<double>(words.back().count) * 1.2);
    }
  } else {
    chart->setTitle(tr("The %1 most frequent words").arg(kTopWordsShown));
    auto* set = new QBarSet(tr("Count"));
    QStringList categories;
    const std::size_t shown = std::min<std::size_t>(words.size(), kTopWordsShown);
    std::uint64_t highest = 1;
    for (std::size_t r = 1; r <= shown; ++r) {
      const CorpusWord& word = words[words.size() - r];
      *set << static_cast<double>(word.count);
      categories << WordText(word.word, list_->encoding);
      highest = std::max(highest, word.count);
    }
    auto* bars = new QBarSeries;
    bars->append(set);
    chart->addSeries(bars);
    auto* x = new QBarCategoryAxis;
    x->append(categories);
    x->setLabelsAngle(-60);
    auto* y = new QValueAxis;
    y->setRange(0, static_cast<double>(highest));
    y->setLabelFormat(QStringLiteral("%d"));
    chart->addAxis(x, Qt::AlignBottom);
    chart->addAxis(y, Qt::AlignLeft);
    bars->attachAxis(x);
    bars->attachAxis(y);
  }
  for (QAbstractAxis* axis : chart->axes()) {
    axis->setLabelsBrush(palette().text());
    axis->setTitleBrush(palette().text());
    axis->setLinePenColor(palette().mid().color());
    axis->setGridLineColor(palette().mid().color());
  }
  QChart* old = view_->chart();
  view_->setChart(chart);
  delete old;
}

void WordStatisticsCharts::changeEvent(QEvent* event) {
  QWidget::changeEvent(event);
  // A new desktop palette redraws the chart in it, the marked word kept.
  if (event->type() == QEvent::PaletteChange) {
    const std::optional<std::uint32_t> marked = marked_index_;
    SetList(list_);
    MarkWord(marked);
  }
}

void WordStatisticsCharts::MarkWord(std::optional<std::uint32_t> index) {
  if (!marked_) return;
  marked_->clear();
  marked_index_ = index;
  if (!index || !list_ || *index >= list_->words.size()) return;
  const std::size_t rank = list_->words.size() - *index;
  marked_->append(static_cast<double>(rank), static_cast<double>(list_->words[*index].count));
}

void WordStatisticsCharts::Export() { ExportChartImage(dialogs_, *view_, view_->chart()->title()); }

bool WordStatisticsCharts::SaveTo(const QString& path) {
  return SaveChartImage(*view_, view_->chart()->title(), path);
}

void LayOutWithExportButton(QWidget& owner, QWidget& chart,
                            const std::function<void()>& on_export) {
  auto* save = new QPushButton(QObject::tr("Export Chart…"), &owner);
  save->setAccessibleName(QObject::tr("Export chart"));
  save->setAccessibleDescription(QObject::tr("Save this chart as a PNG or SVG image"));
  save->setToolTip(save->accessibleDescription());
  QObject::connect(save, &QPushButton::clicked, &owner, on_export);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(save);
  auto* layout = new QVBoxLayout(&owner);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(&chart, 1);
  layout->addLayout(buttons);
}

bool SaveChartImage(QWidget& view, const QString& title, const QString& path) {
  if (path.endsWith(QStringLiteral(".svg"), Qt::CaseInsensitive)) {
    QSvgGenerator svg;
    svg.setFileName(path);
    svg.setSize(view.size());
    svg.setViewBox(view.rect());
    svg.setTitle(title);
    QPainter painter;
    if (!painter.begin(&svg)) return false;
    view.render(&painter);
    return painter.end();
  }
  return view.grab().save(path, "PNG");
}

void ExportChartImage(Dialogs& dialogs, QWidget& view, const QString& title) {
  SaveFileRequest request;
  request.title = QObject::tr("Export Chart");
  request.filter = QStringLiteral("PNG Image (*.png)|*.png|SVG Image (*.svg)|*.svg|");
  const QString path = dialogs.SaveFile(request);
  if (path.isEmpty()) return;
  if (!SaveChartImage(view, title, path)) {
    dialogs.MessageBox(QObject::tr("The chart could not be saved to %1.").arg(path),
                       MessageStyle::kOkExclamation);
  }
}

}  // namespace lintavel
