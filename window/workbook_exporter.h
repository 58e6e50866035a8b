#pragma once

#include <QDeadlineTimer>
#include <QObject>
#include <QString>
#include <QTemporaryDir>
#include <QThread>
#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "output/spreadsheet.h"

namespace lintavel {

class ListTable;

// What one workbook writer hands back: the first cut cell, or the step at which
// the workbook failed and why.
struct WorkbookOutcome {
  std::optional<CutCells> cut;
  std::optional<WorkbookStep> failed_step;
  std::string failure;
};

// Writes results workbooks for the window, each on a thread of its own, into a
// folder private to the program that lives until End(). The window words the
// outcomes; nothing here shows anything.
class WorkbookExporter : public QObject {
  Q_OBJECT

 public:
  // Writes a workbook file off the UI thread, as WriteResultsWorkbook does.
  using Writer = std::function<std::optional<CutCells>(const ListTable&, const QString&,
                                                       const WorkbookOptions&)>;

  explicit WorkbookExporter(QObject* parent = nullptr);
  // Stops the writers and removes the folder, as End() does.
  ~WorkbookExporter() override;

  // The writer to use (WriteResultsWorkbook when empty) and the stack size of its
  // thread (0: the system's default); seams for tests.
  void SetWriter(Writer writer) { writer_ = std::move(writer); }
  void SetThreadStackSize(uint bytes) { stack_size_ = bytes; }

  // The private folder of workbooks, empty before the first NewFile().
  QString Folder() const;
  // Reserves a new, empty workbook file in the private folder and returns its path;
  // throws std::runtime_error when the folder or the file cannot be made.
  QString NewFile();
  // Starts writing `table` into `file`; Written follows on the UI thread. Throws
  // std::runtime_error when no thread can be started.
  void Start(std::shared_ptr<const ListTable> table, const QString& file);

  // Tells every writer to stop within a row; returns at once.
  void Cancel();
  // Waits until `deadline` for the writers to end; true when they have.
  bool WaitForWriters(QDeadlineTimer deadline);
  // Stops the writers and waits for them; later Start() calls write nothing.
  void StopWriters();
  // Removes the private folder with every workbook in it.
  void RemoveFolder();

 signals:
  // The writer of `file` has ended with `outcome`; a failed file is still there.
  void Written(const QString& file, const WorkbookOutcome& outcome);

 private:
  void Finished(QThread* thread, WorkbookOutcome outcome, QString file);

  Writer writer_;
  uint stack_size_ = 0;
  std::shared_ptr<std::atomic<bool>> cancel_ = std::make_shared<std::atomic<bool>>(false);
  std::vector<std::unique_ptr<QThread>> threads_;
  std::optional<QTemporaryDir> folder_;
};

}  // namespace lintavel
