#pragma once

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QThread>

namespace lintavel::testing {

// Lets the event loop run until `done()` holds or `milliseconds` have passed;
// returns whether it holds.
template <typename Done>
bool WaitUntil(Done&& done, int milliseconds = 20000) {
  const QDeadlineTimer deadline(milliseconds);
  while (!done()) {
    if (deadline.hasExpired()) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    QThread::msleep(1);
  }
  return true;
}

}  // namespace lintavel::testing
