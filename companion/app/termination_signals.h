#pragma once

// Turns SIGTERM, SIGINT and SIGHUP into an ordinary event on the UI thread.
//
// A session logout or a `kill` must leave the application the same way as
// "Quit Trovemark" does, so that the bridge is stopped before the process
// exits. A signal handler may do almost nothing, so it only writes the signal
// number into a pipe; a socket notifier reads it on the event loop.

#include <QObject>
#include <QSocketNotifier>
#include <memory>

namespace trovemark::companion::app {

class TerminationSignals : public QObject {
  Q_OBJECT

 public:
  // Installs the handlers. Only one instance may exist at a time.
  explicit TerminationSignals(QObject* parent = nullptr);
  // Restores the default dispositions.
  ~TerminationSignals() override;

  TerminationSignals(const TerminationSignals&) = delete;
  TerminationSignals& operator=(const TerminationSignals&) = delete;

 signals:
  // Emitted on the UI thread for every signal that arrived.
  void received(int signalNumber);

 private:
  void drain();

  int readEnd_ = -1;
  std::unique_ptr<QSocketNotifier> notifier_;
};

}  // namespace trovemark::companion::app
