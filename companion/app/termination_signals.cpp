#include "companion/app/termination_signals.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <string>

namespace trovemark::companion::app {

namespace {

constexpr int kSignals[] = {SIGTERM, SIGINT, SIGHUP};

// Written by the handler, so it must be a plain int.
volatile sig_atomic_t writeEnd = -1;

void onSignal(int signalNumber) {
  const int savedErrno = errno;
  const unsigned char byte = static_cast<unsigned char>(signalNumber);
  // A full pipe already holds a pending wake-up, so a lost byte loses nothing.
  [[maybe_unused]] ssize_t ignored = write(writeEnd, &byte, 1);
  errno = savedErrno;
}

bool setPipeFlags(int fd) {
  return fcntl(fd, F_SETFD, FD_CLOEXEC) == 0 &&
         fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK) == 0;
}

}  // namespace

TerminationSignals::TerminationSignals(QObject* parent) : QObject(parent) {
  int fds[2];
  // Close-on-exec keeps the pipe out of the bridge child. pipe2() would set
  // both flags at once, but macOS does not have it.
  if (pipe(fds) != 0 || !setPipeFlags(fds[0]) || !setPipeFlags(fds[1])) {
    throw std::runtime_error(std::string("Cannot watch for termination signals: ") +
                             std::strerror(errno));
  }
  readEnd_ = fds[0];
  writeEnd = fds[1];
  notifier_ = std::make_unique<QSocketNotifier>(readEnd_, QSocketNotifier::Read);
  connect(notifier_.get(), &QSocketNotifier::activated, this, &TerminationSignals::drain);

  struct sigaction action {};
  action.sa_handler = onSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (int signalNumber : kSignals) {
    sigaction(signalNumber, &action, nullptr);
  }
}

TerminationSignals::~TerminationSignals() {
  struct sigaction action {};
  action.sa_handler = SIG_DFL;
  sigemptyset(&action.sa_mask);
  for (int signalNumber : kSignals) {
    sigaction(signalNumber, &action, nullptr);
  }
  notifier_.reset();
  close(writeEnd);
  writeEnd = -1;
  close(readEnd_);
}

void TerminationSignals::drain() {
  unsigned char bytes[16];
  ssize_t count;
  while ((count = read(readEnd_, bytes, sizeof bytes)) > 0) {
    for (ssize_t i = 0; i < count; ++i) {
      emit received(bytes[i]);
    }
  }
}

}  // namespace trovemark::companion::app
