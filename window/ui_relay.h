#pragma once

#include <QCoreApplication>
#include <QMetaObject>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <utility>

namespace lintavel {

// Runs `work` on the UI thread, later. Callable from any thread while the
// application object exists.
template <typename Work>
void PostToUi(Work&& work) {
  QMetaObject::invokeMethod(QCoreApplication::instance(), std::forward<Work>(work),
                            Qt::QueuedConnection);
}

// Runs `work` on the UI thread and waits until it has run, or until `cancel` is set
// (the window may be closing and never run it). For a worker thread only.
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

}  // namespace lintavel
