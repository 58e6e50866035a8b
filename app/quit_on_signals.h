#pragma once

#include <QObject>
#include <QSocketNotifier>
#include <memory>
#include <vector>

namespace lintavel {

// Turns the signals that end a program from outside (SIGINT, SIGHUP, SIGTERM and
// SIGQUIT) into a normal quit of the event loop, so that the program cleans up as
// when its window is closed. The handler only writes the signal's number into a
// pipe; the event loop reads it. A signal that was ignored when the object was
// made (nohup) stays ignored. One object at a time.
class QuitOnSignals : public QObject {
  Q_OBJECT

 public:
  // Installs the handlers; throws std::system_error when the pipe cannot be made.
  explicit QuitOnSignals(QObject* parent = nullptr);
  // Puts the default handlers back where it installed its own.
  ~QuitOnSignals() override;

  // The first signal that ended the event loop, or 0.
  int received() const { return received_; }

 private:
  void Read();

  int pipe_[2] = {-1, -1};
  std::unique_ptr<QSocketNotifier> notifier_;
  int received_ = 0;
  std::vector<int> installed_;
};

}  // namespace lintavel
