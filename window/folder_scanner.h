#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <QThreadPool>
#include <memory>
#include <vector>

namespace lintavel {

class Dialogs;

// One path of a scan job: a file to list as it is, or a folder whose tree is
// searched for files matching `pattern`.
struct ScanItem {
  QString path;
  bool is_folder = false;
  QString pattern;
};

// Scans folder trees on a worker thread, one job after the other, and hands the
// rows to the UI thread in the order the scan finds them. The scan's reports are
// shown in modal boxes on the UI thread while the worker waits.
class FolderScanner : public QObject {
  Q_OBJECT

 public:
  FolderScanner(Dialogs& dialogs, QObject* parent = nullptr);
  ~FolderScanner() override;

  // Queues a job; its rows come after those of every job queued before it.
  void Start(std::vector<ScanItem> job);
  // Stops every job; rows not yet delivered are dropped.
  void Cancel();
  // Jobs queued or running.
  int pending() const { return pending_; }
  // Waits up to `milliseconds` for the worker to end; true when it has.
  bool WaitForDone(int milliseconds) { return pool_.waitForDone(milliseconds); }

 signals:
  void RowsFound(const QStringList& rows);
  void JobFinished();

 private:
  struct State;

  Dialogs& dialogs_;
  std::shared_ptr<State> state_;
  QThreadPool pool_;
  int pending_ = 0;
};

}  // namespace lintavel
