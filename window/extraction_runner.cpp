#include "window/extraction_runner.h"

#include <QFile>
#include <QPointer>
#include <QtConcurrent>
#include <filesystem>
#include <vector>

#include "window/native_names.h"
#include "window/read_file_report.h"
#include "window/ui_relay.h"

namespace lintavel {

// What a worker shares with the UI thread. `runner` is read only on the UI thread.
struct ExtractionRunner::RunState {
  std::atomic<bool> cancel{false};
  QPointer<ExtractionRunner> runner;
  int last_percent = -1;  // worker only
};

ExtractionRunner::ExtractionRunner(Dialogs& dialogs, QObject* parent)
    : QObject(parent), dialogs_(dialogs) {}

ExtractionRunner::~ExtractionRunner() { Cancel(); }

void ExtractionRunner::Start(const QStringList& files) {
  Cancel();
  run_ = std::make_shared<RunState>();
  run_->runner = this;
  std::vector<std::filesystem::path> paths;
  paths.reserve(static_cast<std::size_t>(files.size()));
  for (const QString& file : files) paths.emplace_back(EncodeFileName(file).toStdString());

  auto run = run_;
  (void)QtConcurrent::run([run, paths = std::move(paths)] {
    ExtractionOptions options;
    options.cancel = &run->cancel;
    options.progress = [run](const ExtractionProgress& progress) {
      const int percent = static_cast<int>(progress.fraction() * 100.0);
      if (percent == run->last_percent) return;
      run->last_percent = percent;
      PostToUi([run, percent] {
        if (run->runner && !run->cancel) emit run->runner->Progress(percent);
      });
    };
    options.on_failure = [run](const FileFailure& failure) {
      RunOnUiAndWait(run->cancel, [run, failure] {
        if (run->runner && !run->cancel) ShowReadFileFailure(run->runner->dialogs_, failure);
      });
    };
    // A failure of the run itself (memory, threads) must reach the user and free
    // the window; nothing of the run is shown then.
    const auto fail = [run](int line, std::string description) {
      PostToUi([run, line, description = std::move(description)] {
        if (run->runner && !run->cancel) emit run->runner->Failed(line, description);
      });
    };
    auto outcome = std::make_shared<ExtractionOutcome>();
    int line = kCountingLine;
    try {
      ExtractionResult result = ExtractWords(paths, options);
      if (result.cancelled || run->cancel) return;
      line = kRowsLine;
      // Long words stay in the engine's arena: the rows share it rather than copy them.
      outcome->rows.AppendWords(result.words,
                                std::make_shared<const WordArena>(std::move(result.storage)));
      outcome->total = result.total;
    } catch (const ExtractionFailure& failure) {
      fail(failure.stage() == ExtractionFailure::Stage::kOrdering ? kOrderingLine : kCountingLine,
           failure.what());
      return;
    } catch (const std::exception& failure) {
      fail(line, failure.what());
      return;
    } catch (...) {
      fail(line, "Unknown failure");
      return;
    }
    PostToUi([run, outcome] {
      if (run->runner && !run->cancel) emit run->runner->Finished(outcome);
    });
  });
}

void ExtractionRunner::Cancel() {
  if (run_) run_->cancel = true;
  run_.reset();
}

}  // namespace lintavel
