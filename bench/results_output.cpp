// The three outputs of the results list with 1,000,000 rows, offscreen:
//   results_output
// Times "Save Results As Text File", "Copy Results To Clipboard" and the workbook
// of "Save Results As Excel File" (written, not opened), and the growth of the
// process's resident memory during each. Each output is checked (file size,
// clipboard length, workbook written) before its figures are printed.
#include <QApplication>
#include <QClipboard>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <cstdio>
#include <fstream>
#include <string>

#include "bench/resident_memory.h"
#include "output/clipboard_output.h"
#include "output/spreadsheet.h"
#include "output/text_file_output.h"
#include "support/temp_dir.h"
#include "window/list_tables.h"
#include "window/list_view.h"

namespace {

// The resident memory of this process now, in KiB.

int Fail(const char* what) {
  std::fprintf(stderr, "results_output: %s\n", what);
  return 1;
}

void Report(const char* what, qint64 ms, long before, long after) {
  std::printf("%-28s %6lld ms, resident memory %+ld KiB\n", what, static_cast<long long>(ms),
              after - before);
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  constexpr int kRows = 1'000'000;
  lintavel::ListView results;
  QStringList batch;
  std::size_t text_chars = 0;
  for (int i = 0; i < kRows; ++i) {
    batch << QStringLiteral("word%1").arg(i);
    text_chars += static_cast<std::size_t>(batch.back().size());
    if (batch.size() == 100'000) results.AppendTexts(std::exchange(batch, {}));
  }
  results.SetHeaderText(QStringLiteral("Results (Total Word Count: %1)").arg(kRows));
  std::printf("1,000,000 rows, %zu characters of text (%zu KiB as UTF-16)\n", text_chars,
              text_chars * 2 / 1024);
  lintavel::testing::TempDir dir;

  long before = lintavel::bench::ResidentKiB();
  QElapsedTimer timer;
  timer.start();
  const QString text_file = QString::fromStdString((dir.path() / "words.txt").string());
  {
    lintavel::TextFileWriter writer(text_file);
    const lintavel::TextRows& rows = results.rows_model().rows();
    QString scratch;
    for (std::size_t row = 0; row < rows.size(); ++row) {
      writer.WriteLine(rows.View(row, scratch));
    }
    writer.Commit();
  }
  Report("save as text file", timer.restart(), before, lintavel::bench::ResidentKiB());
  if (QFileInfo(text_file).size() != static_cast<qint64>(text_chars + 2 * kRows)) {
    return Fail("the text file has another size");
  }

  before = lintavel::bench::ResidentKiB();
  timer.restart();
  lintavel::QtClipboard clipboard;
  lintavel::CopyListViewToClipboard(lintavel::ListViewTable(results), clipboard);
  Report("copy to the clipboard", timer.restart(), before, lintavel::bench::ResidentKiB());
  if (QGuiApplication::clipboard()->text().size() !=
      static_cast<qsizetype>(text_chars + 2 * kRows)) {
    return Fail("the clipboard holds another text");
  }

  before = lintavel::bench::ResidentKiB();
  timer.restart();
  const QString workbook = QString::fromStdString((dir.path() / "words.xlsx").string());
  lintavel::WriteResultsWorkbook(lintavel::ListSnapshot(results), workbook);
  Report("write the workbook", timer.restart(), before, lintavel::bench::ResidentKiB());
  if (QFileInfo(workbook).size() < kRows) return Fail("the workbook is too small");
  return 0;
}
