#include "app/quit_on_signals.h"

#include <fcntl.h>
#include <unistd.h>

#include <QCoreApplication>
#include <cerrno>
#include <csignal>
#include <system_error>

namespace lintavel {

namespace {

constexpr int kSignals[] = {SIGINT, SIGHUP, SIGTERM, SIGQUIT};

// The pipe's write end, for the handler; -1 when no object is installed.
volatile std::sig_atomic_t write_end = -1;

extern "C" void WriteSignal(int signal) {
  const int saved = errno;
  const auto number = static_cast<unsigned char>(signal);
  // A full pipe already holds a signal to act on.
  [[maybe_unused]] const ssize_t written = write(write_end, &number, 1);
  errno = saved;
}

}  // namespace

QuitOnSignals::QuitOnSignals(QObject* parent) : QObject(parent) {
  if (pipe2(pipe_, O_CLOEXEC | O_NONBLOCK) != 0) {
    throw std::system_error(errno, std::generic_category(), "Cannot make a pipe for signals");
  }
  write_end = pipe_[1];
  notifier_ = std::make_unique<QSocketNotifier>(pipe_[0], QSocketNotifier::Read);
  connect(notifier_.get(), &QSocketNotifier::activated, this, &QuitOnSignals::Read);
  struct sigaction action {};
  action.sa_handler = WriteSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (const int signal : kSignals) {
    // A signal ignored from the start stays ignored (nohup, a background job).
    struct sigaction before {};
    if (sigaction(signal, nullptr, &before) == 0 && before.sa_handler == SIG_IGN) continue;
    sigaction(signal, &action, nullptr);
    installed_.push_back(signal);
  }
}

QuitOnSignals::~QuitOnSignals() {
  for (const int signal : installed_) std::signal(signal, SIG_DFL);
  write_end = -1;
  notifier_.reset();
  close(pipe_[0]);
  close(pipe_[1]);
}

void QuitOnSignals::Read() {
  unsigned char number = 0;
  while (read(pipe_[0], &number, 1) == 1) {
    if (received_ == 0) received_ = number;
  }
  QCoreApplication::quit();
}

}  // namespace lintavel
