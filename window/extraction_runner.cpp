#include "window/extraction_runner.h"

#include <QCoreApplication>
#include <QFile>
#include <QPointer>
#include <QtConcurrent>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <vector>

#include "shell/application_error_box.h"

namespace lintavel {

// What a worker shares with the UI thread. `runner` is read only on the UI thread.
struct ExtractionRunner::RunState {
  std::atomic<bool> cancel{false};
  QPointer<ExtractionRunner> runner;
  int last_percent = -1;  // worker only
};

namespace {

// Runs `work` on the UI thread, later.
template <typename Work>
void PostToUi(Work&& work) {
  QMetaObject::invokeMethod(QCoreApplication::instance(), std::forward<Work>(work),
                            Qt::QueuedConnection);
}

// Runs `work` on the UI thread and waits until it has run, or until the run is
// cancelled (the window may be closing and never run it).
template <typename Work>
void RunOnUiAndWait(const std::atomic<bool>& cancel, Work&& work) {
  struct Done {
    std::mutex mutex;
    std::condition_variable ready;
    bool done = false;
  };
  auto done = std::make_shared<Done>();
  PostToUi([done, work = std::forward<Work>(work)]() mutable {
    work();
    {
      std::lock_guard lock(done->mutex);
      done->done = true;
    }
    done->ready.notify_all();
  });
  std::unique_lock lock(done->mutex);
  while (!done->ready.wait_for(lock, std::chrono::milliseconds(50), [&] { return done->done; })) {
    if (cancel.load()) return;
  }
}

}  // namespace

ExtractionRunner::ExtractionRunner(Dialogs& dialogs, QObject* parent)
    : QObject(parent), dialogs_(dialogs) {}

ExtractionRunner::~ExtractionRunner() { Cancel(); }

void ExtractionRunner::Start(const QStringList& files) {
  Cancel();
  run_ = std::make_shared<RunState>();
  run_->runner = this;
  std::vector<std::filesystem::path> paths;
  paths.reserve(static_cast<std::size_t>(files.size()));
  for (const QString& file : files) paths.emplace_back(QFile::encodeName(file).toStdString());

  auto run = run_;
  (void)QtConcurrent::run([run, paths = std::move(paths)] {
    ExtractionOptions options;
    options.cancel = &run->cancel;
    options.progress = [run](double fraction) {
      const int percent = static_cast<int>(fraction * 100.0);
      if (percent == run->last_percent) return;
      run->last_percent = percent;
      PostToUi([run, percent] {
        if (run->runner && !run->cancel) emit run->runner->Progress(percent);
      });
    };
    options.report = [run](const ApplicationError& error) {
      RunOnUiAndWait(run->cancel, [run, error] {
        if (run->runner && !run->cancel) {
          ShowApplicationError(run->runner->dialogs_, error.location, error.line,
                               error.description);
        }
      });
    };
    auto outcome = std::make_shared<ExtractionOutcome>();
    {
      const ExtractionResult result = ExtractWords(paths, options);
      if (result.cancelled) return;
      outcome->rows.AppendWords(result.words);
      outcome->total = result.total;
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
