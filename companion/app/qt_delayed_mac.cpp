// Delayed tasks on macOS. Qt's timers count only while the Mac is awake, so a
// wait is measured on the clock that keeps counting during sleep: the timer
// fires in steps of at most a second and runs the task once that clock says
// the delay has passed, at the latest a second after the Mac wakes.

#include <QTimer>
#include <algorithm>

#include "companion/app/qt_main_thread.h"
#include "companion/platform/run_loop.h"

namespace trovemark::companion::app {

namespace {

constexpr std::chrono::milliseconds kStep{1000};

void waitUntil(QObject* context, MainThreadExecutor::Duration due, MainThreadExecutor::Task task) {
  static BootClock clock;
  const auto left = due - clock.now();
  if (left <= MainThreadExecutor::Duration::zero()) {
    task();
    return;
  }
  const auto step = std::min<std::chrono::milliseconds>(
      kStep, std::chrono::ceil<std::chrono::milliseconds>(left));
  QTimer::singleShot(step, Qt::PreciseTimer, context,
                     [context, due, task = std::move(task)]() mutable {
                       waitUntil(context, due, std::move(task));
                     });
}

}  // namespace

void QtMainThreadExecutor::postAfter(Duration delay, Task task) {
  if (delay <= Duration::zero()) {
    post(std::move(task));
    return;
  }
  static BootClock clock;
  waitUntil(context_.get(), clock.now() + delay, std::move(task));
}

}  // namespace trovemark::companion::app
