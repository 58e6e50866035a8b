#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <memory>
#include <string>

#include "engine/extraction.h"
#include "window/text_rows.h"

namespace lintavel {

class Dialogs;

// The steps of the extraction that a failed run is reported at.
inline constexpr int kCountingLine = 184;
inline constexpr int kOrderingLine = 248;
inline constexpr int kRowsLine = 258;

// What a finished run hands to the window: its words as list rows, least frequent
// first, already decoded off the UI thread, and the total word count.
struct ExtractionOutcome {
  TextRows rows;
  std::uint64_t total = 0;
};

// Runs the engine on a worker thread for the window. The reader's reports are
// shown in modal boxes on the UI thread while the worker waits; progress and the
// result arrive as signals on the UI thread. Nothing of the worker refers to this
// object, so the window can go at any moment: the worker is then told to stop.
class ExtractionRunner : public QObject {
  Q_OBJECT

 public:
  ExtractionRunner(Dialogs& dialogs, QObject* parent = nullptr);
  ~ExtractionRunner() override;

  // Starts a run over `files`, in their order.
  void Start(const QStringList& files);
  // Tells a run under way to stop; its result is then never delivered.
  void Cancel();

 signals:
  // The share of the input counted so far, 0 to 100.
  void Progress(double percent);
  void Finished(std::shared_ptr<ExtractionOutcome> outcome);
  // The run failed at the numbered step `line` of the extraction (184 counting,
  // 248 ordering, 258 making the rows) for the reason `description`; no rows come.
  void Failed(int line, const std::string& description);

 private:
  struct RunState;

  Dialogs& dialogs_;
  std::shared_ptr<RunState> run_;
};

}  // namespace lintavel
