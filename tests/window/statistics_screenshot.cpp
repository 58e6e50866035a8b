// Saves the picture of the Word Statistics window in the README: a run over the
// example documents with a word selected, its concordance and its dispersion plot.
//   statistics_screenshot OUT.png   (scripts/screenshot-statistics.sh runs it under Xvfb)
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QSplitter>
#include <QTabWidget>
#include <QTableView>
#include <cstdio>
#include <cstdlib>

#include "shell/settings_store.h"
#include "support/qt_paths.h"
#include "support/scripted_dialogs.h"
#include "support/temp_dir.h"
#include "support/wait.h"
#include "window/concordance_pane.h"
#include "window/dispersion_plot.h"
#include "window/form1.h"
#include "window/word_statistics_model.h"
#include "window/word_statistics_window.h"

namespace {

template <typename Widget>
Widget* Control(QWidget& window, const char* name) {
  for (Widget* control : window.findChildren<Widget*>()) {
    if (control->accessibleName() == QLatin1String(name)) return control;
  }
  std::fprintf(stderr, "statistics_screenshot: no control %s\n", name);
  std::exit(1);
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  if (argc != 2) {
    std::fprintf(stderr, "usage: statistics_screenshot OUT.png\n");
    return 2;
  }
  using lintavel::testing::WaitUntil;
  const lintavel::testing::TempDir home;
  lintavel::testing::ScriptedDialogs dialogs;
  lintavel::SettingsStore settings(lintavel::testing::Q(home.path() / "settings.ini"));
  lintavel::Form1 form(dialogs, settings, lintavel::testing::Q(home.path()));
  const QDir samples(QStringLiteral(LINTAVEL_SOURCE_DIR "/samples"));
  QStringList files;
  for (const QString& name : samples.entryList(QDir::Files, QDir::Name)) {
    files << samples.filePath(name);
  }
  form.AddFiles(files);
  form.ShowWordStatistics();
  lintavel::WordStatisticsWindow& window = *form.WordStatistics();
  window.resize(1240, 720);
  // Room for every column of the table beside the plot.
  Control<QSplitter>(window, "Table and charts")->setSizes({800, 440});
  Control<QComboBox>(window, "Encoding")->setCurrentText(QStringLiteral("utf-8"));
  Control<QCheckBox>(window, "HTML text")->setChecked(true);
  Control<QCheckBox>(window, "Fold case")->setChecked(true);
  WaitUntil([&] { return !window.running(); });
  window.StartRun();
  if (!WaitUntil([&] { return !window.running(); })) return 1;
  lintavel::WordStatisticsModel& model = window.model();
  for (int row = 0; row < model.rowCount(); ++row) {
    if (model.Word(row) == QStringLiteral("every")) {
      window.table()->setCurrentIndex(model.index(row, 0));
      window.table()->scrollTo(model.index(row, 0));
    }
  }
  Control<QTabWidget>(window, "Charts")->setCurrentIndex(2);
  if (!WaitUntil([&] { return !window.dispersion()->strips().empty(); })) return 1;
  WaitUntil([] { return false; }, 500);  // let the window settle and paint
  if (!window.grab().save(QString::fromLocal8Bit(argv[1]), "PNG")) {
    std::fprintf(stderr, "statistics_screenshot: cannot write %s\n", argv[1]);
    return 1;
  }
  std::printf("saved %s\n", argv[1]);
  return 0;
}
