#include "window/folder_scanner.h"

#include <QElapsedTimer>
#include <QPointer>
#include <atomic>

#include "shell/application_error_box.h"
#include "window/file_system.h"
#include "window/folder_scan.h"
#include "window/ui_relay.h"

namespace lintavel {

// What the worker shares with the UI thread; `scanner` is read on the UI thread only.
struct FolderScanner::State {
  std::atomic<bool> cancel{false};
  QPointer<FolderScanner> scanner;
};

namespace {

// The steps of "Add All File(s) In Folder" at which a failed scan is reported:
// searching the folder tree, listing the files of its folders.
constexpr int kSearchLine = 114;
constexpr int kListLine = 120;

// Collects rows and hands them over in batches, so that a tree of many files
// neither floods the event loop nor waits long to be seen.
class RowBatcher {
 public:
  explicit RowBatcher(std::function<void(QStringList)> deliver) : deliver_(std::move(deliver)) {
    since_.start();
  }
  ~RowBatcher() {
    try {
      Flush();
    } catch (...) {
      // Out of memory while a failure unwinds: these rows are lost, not the program.
    }
  }

  void Add(const QString& row) {
    rows_ << row;
    if (rows_.size() >= 5000 || since_.elapsed() >= 50) Flush();
  }

  void Flush() {
    if (!rows_.isEmpty()) deliver_(std::exchange(rows_, {}));
    since_.restart();
  }

 private:
  std::function<void(QStringList)> deliver_;
  QStringList rows_;
  QElapsedTimer since_;
};

}  // namespace

FolderScanner::FolderScanner(Dialogs& dialogs, QObject* parent)
    : QObject(parent), dialogs_(dialogs), state_(std::make_shared<State>()) {
  state_->scanner = this;
  pool_.setMaxThreadCount(1);  // one job after the other keeps the rows in order
}

FolderScanner::~FolderScanner() {
  Cancel();
  pool_.waitForDone();
}

void FolderScanner::Start(std::vector<ScanItem> job) {
  ++pending_;
  auto state = state_;
  pool_.start([state, job = std::move(job)] {
    const auto deliver = [state](QStringList rows) {
      PostToUi([state, rows = std::move(rows)] {
        if (state->scanner && !state->cancel) emit state->scanner->RowsFound(rows);
      });
    };
    const auto report = [state](const ApplicationError& error) {
      RunOnUiAndWait(state->cancel, [state, error] {
        if (state->scanner && !state->cancel) {
          ShowApplicationError(state->scanner->dialogs_, error.location, error.line,
                               error.description);
        }
      });
    };
    // A failure outside the scan's own steps (memory) ends this job with a report
    // at the import's step that was under way; the job still counts as finished.
    int line = kSearchLine;
    try {
      RowBatcher batcher(deliver);
      ScanContext context;
      context.cancel = &state->cancel;
      context.report = [&report, &batcher](const ApplicationError& error) {
        batcher.Flush();  // rows found before the failure are shown before its report
        report(error);
      };
      for (const ScanItem& item : job) {
        if (context.cancelled()) break;
        if (!item.is_folder) {
          batcher.Add(item.path);
          continue;
        }
        // Each folder of a job is searched in full: the loop guard holds within one search.
        context.known.clear();
        line = kSearchLine;
        QStringList folders = {item.path + PathSeparator()};
        GetSubDirectories2016(folders, true, context);
        line = kListLine;
        ListFilesOfFolders(folders, item.pattern, context,
                           [&batcher](const QString& row) { batcher.Add(row); });
      }
    } catch (const std::exception& failure) {
      report({location::kAddAllInFolder, line, failure.what()});
    } catch (...) {
      report({location::kAddAllInFolder, line, "Unknown failure"});
    }
    PostToUi([state] {
      if (state->scanner && !state->cancel) {
        --state->scanner->pending_;
        emit state->scanner->JobFinished();
      }
    });
  });
}

void FolderScanner::Cancel() {
  state_->cancel = true;
  state_ = std::make_shared<State>();
  state_->scanner = this;
  pending_ = 0;
}

}  // namespace lintavel
