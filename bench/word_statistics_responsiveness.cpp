// Times the statistics window's table and chart on a list of many words, on the
// offscreen platform:
//   word_statistics_responsiveness [WORDS]   (default 2,000,000)
// Makes WORDS distinct words with Zipf-like counts, then prints the time to show
// them with dispersion scores, to sort them by every column both ways, to follow filter keystrokes
// (typing and deleting), and to draw the rank/frequency plot. Each sort is checked before its
// figure is printed.
#include <QApplication>
#include <QChartView>
#include <QElapsedTimer>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <memory>
#include <string>

#include "support/scripted_dialogs.h"
#include "window/word_statistics_charts.h"
#include "window/word_statistics_model.h"

namespace {

using lintavel::CorpusList;
using lintavel::WordStatisticsModel;

std::shared_ptr<const CorpusList> MakeList(std::size_t words) {
  auto list = std::make_shared<CorpusList>();
  list->encoding = lintavel::WordEncoding::kUtf8;
  const char* letters = "etaoinshrdlucmfwyp";
  std::string word;
  for (std::size_t i = 0; i < words; ++i) {
    // The i-th least frequent word: its rank is words - i.
    const std::size_t rank = words - i;
    word.clear();
    for (std::size_t n = rank * 2654435761u % 1000003 + i; n > 0; n /= 18) word += letters[n % 18];
    word += std::to_string(i);
    list->words.push_back({list->storage.Store(word), 1000000 / rank + 1, rank % 50 + 1});
    list->total += list->words.back().count;
  }
  list->distinct = words;
  return list;
}

// Scores spread over [0, 1) in no order of the list's; D of every word.
std::shared_ptr<const lintavel::WordDispersions> MakeDispersion(std::size_t words) {
  auto scores = std::make_shared<lintavel::WordDispersions>(words);
  for (std::size_t i = 0; i < words; ++i) {
    (*scores)[i].juilland_d = static_cast<double>(i * 2654435761u % 1000003) / 1000003;
    (*scores)[i].gries_dp = static_cast<double>(i * 40503u % 65537) / 65537;
  }
  return scores;
}

double Ms(QElapsedTimer& timer) { return static_cast<double>(timer.nsecsElapsed()) / 1e6; }

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  const std::size_t words = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 2000000;
  const auto list = MakeList(words);
  const auto dispersion = MakeDispersion(words);
  WordStatisticsModel model;
  QElapsedTimer timer;
  timer.start();
  model.SetList(list, dispersion);
  std::printf("show %zu words: %.1f ms\n", words, Ms(timer));
  const char* names[] = {"word",  "count",        "% of total", "per million",
                         "files", "Juilland's D", "Gries's DP"};
  static_assert(std::size(names) == WordStatisticsModel::kColumnCount);
  for (int column = 0; column < WordStatisticsModel::kColumnCount; ++column) {
    for (const Qt::SortOrder order : {Qt::AscendingOrder, Qt::DescendingOrder}) {
      timer.restart();
      model.sort(column, order);
      const double ms = Ms(timer);
      const auto key = [&](int row) { return model.data(model.index(row, column)).toString(); };
      const int last = model.rowCount() - 1;
      const bool ascending =
          column == 0 ? key(0) <= key(last) : key(0).toDouble() <= key(last).toDouble();
      if (ascending != (order == Qt::AscendingOrder) && key(0) != key(last)) {
        std::fprintf(stderr, "sort by %s is out of order\n", names[column]);
        return 1;
      }
      std::printf("sort by %s %s: %.1f ms\n", names[column],
                  order == Qt::AscendingOrder ? "up" : "down", ms);
    }
  }
  double slowest = 0;
  for (const char* text : {"e", "et", "eta", "et", "e", "", "1", "12", "123"}) {
    timer.restart();
    model.SetFilter(QString::fromLatin1(text));
    const double ms = Ms(timer);
    slowest = std::max(slowest, ms);
    std::printf("filter '%s': %d rows, %.1f ms\n", text, model.rowCount(), ms);
  }
  std::printf("slowest filter keystroke: %.1f ms\n", slowest);
  lintavel::testing::ScriptedDialogs dialogs;
  lintavel::WordStatisticsCharts chart(lintavel::WordStatisticsCharts::Kind::kZipf, dialogs);
  chart.resize(800, 500);
  timer.restart();
  chart.SetList(list);
  chart.MarkWord(static_cast<std::uint32_t>(words / 2));
  const QPixmap drawn = chart.view()->grab();
  std::printf("rank/frequency plot drawn: %.1f ms (%dx%d)\n", Ms(timer), drawn.width(),
              drawn.height());
  return 0;
}
