#include "window/workbook_exporter.h"

#include <QDir>
#include <QTemporaryFile>
#include <algorithm>
#include <stdexcept>

#include "output/list_table.h"

namespace lintavel {

WorkbookExporter::WorkbookExporter(QObject* parent) : QObject(parent) {}

WorkbookExporter::~WorkbookExporter() {
  StopWriters();
  RemoveFolder();
}

QString WorkbookExporter::Folder() const { return folder_ ? folder_->path() : QString(); }

QString WorkbookExporter::NewFile() {
  if (!folder_) {
    folder_.emplace(QDir::temp().filePath(QStringLiteral("lintavel-XXXXXX")));
    if (!folder_->isValid()) {
      const std::string failure = folder_->errorString().toStdString();
      folder_.reset();
      throw std::runtime_error(failure);
    }
  }
  QTemporaryFile reserved(
      QDir(folder_->path()).filePath(QStringLiteral("Lintavel Results XXXXXX.xlsx")));
  reserved.setAutoRemove(false);
  if (!reserved.open()) throw std::runtime_error(reserved.errorString().toStdString());
  return reserved.fileName();
}

void WorkbookExporter::Start(std::shared_ptr<const ListTable> table, const QString& file) {
  auto outcome = std::make_shared<WorkbookOutcome>();
  Writer writer = writer_ ? writer_ : Writer(WriteResultsWorkbook);
  auto thread = std::unique_ptr<QThread>(QThread::create(
      [table = std::move(table), outcome, file, writer, cancel = cancel_, scratch = Folder()] {
        WorkbookOptions options;
        options.scratch_folder = scratch;
        options.cancel = cancel.get();
        try {
          outcome->cut = writer(*table, file, options);
        } catch (const WorkbookFailure& failure) {
          outcome->failed_step = failure.step();
          outcome->failure = failure.what();
        } catch (const std::exception& failure) {
          outcome->failed_step = WorkbookStep::kCreate;
          outcome->failure = failure.what();
        } catch (...) {
          outcome->failed_step = WorkbookStep::kCreate;
          outcome->failure = "Unknown failure";
        }
      }));
  thread->setStackSize(stack_size_);
  QThread* started = thread.get();
  connect(started, &QThread::finished, this,
          [this, started, outcome, file] { Finished(started, *outcome, file); });
  started->start();
  if (!started->isRunning() && !started->isFinished())
    throw std::runtime_error("Cannot start a thread to write the workbook");
  threads_.push_back(std::move(thread));
}

// The outcome and the file come by value: the thread whose connection holds them
// is deleted here.
void WorkbookExporter::Finished(QThread* thread, WorkbookOutcome outcome, QString file) {
  const auto done = std::find_if(threads_.begin(), threads_.end(),
                                 [thread](const auto& owned) { return owned.get() == thread; });
  if (done != threads_.end()) {
    (*done)->wait();
    threads_.erase(done);
  }
  emit Written(file, outcome);
}

void WorkbookExporter::Cancel() { cancel_->store(true); }

bool WorkbookExporter::WaitForWriters(QDeadlineTimer deadline) {
  return std::all_of(threads_.begin(), threads_.end(),
                     [&](const auto& thread) { return thread->wait(deadline); });
}

void WorkbookExporter::StopWriters() {
  Cancel();
  for (const auto& thread : threads_) thread->wait();
  threads_.clear();
}

void WorkbookExporter::RemoveFolder() { folder_.reset(); }

}  // namespace lintavel
