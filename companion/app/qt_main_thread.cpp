#include "companion/app/qt_main_thread.h"

#include <sys/timerfd.h>
#include <time.h>
#include <unistd.h>

#include <QClipboard>
#include <QGuiApplication>
#include <QMetaObject>
#include <QSocketNotifier>
#include <QTimer>
#include <cstdint>

namespace trovemark::companion::app {

namespace {

// One pending delayed task: a boot-time timer descriptor and its watcher.
// Deletes itself after running the task once.
class BootTimer final : public QObject {
 public:
  BootTimer(int fd, MainThreadExecutor::Task task, QObject* parent)
      : QObject(parent),
        fd_(fd),
        task_(std::move(task)),
        notifier_(fd, QSocketNotifier::Read, this) {
    connect(&notifier_, &QSocketNotifier::activated, this, &BootTimer::fire);
  }
  ~BootTimer() override { close(fd_); }

 private:
  void fire() {
    std::uint64_t expirations = 0;
    [[maybe_unused]] ssize_t ignored = read(fd_, &expirations, sizeof expirations);
    notifier_.setEnabled(false);
    MainThreadExecutor::Task task = std::move(task_);
    deleteLater();
    task();
  }

  int fd_;
  MainThreadExecutor::Task task_;
  QSocketNotifier notifier_;
};

// A boot-time timer descriptor that fires once after `delay`, or -1 when the
// system will not make or arm one.
int armedBootTimer(MainThreadExecutor::Duration delay) {
  const int fd = timerfd_create(CLOCK_BOOTTIME, TFD_CLOEXEC | TFD_NONBLOCK);
  if (fd < 0) return -1;
  itimerspec when{};
  const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(delay);
  when.it_value.tv_sec = seconds.count();
  when.it_value.tv_nsec = (delay - seconds).count();
  if (timerfd_settime(fd, 0, &when, nullptr) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

}  // namespace

QtMainThreadExecutor::QtMainThreadExecutor() : context_(std::make_unique<QObject>()) {}

QtMainThreadExecutor::~QtMainThreadExecutor() = default;

void QtMainThreadExecutor::post(Task task) {
  QMetaObject::invokeMethod(context_.get(), std::move(task), Qt::QueuedConnection);
}

void QtMainThreadExecutor::postAfter(Duration delay, Task task) {
  if (delay <= Duration::zero()) {
    post(std::move(task));
    return;
  }
  const int fd = armedBootTimer(delay);
  if (fd < 0) {
    // Without a boot-time timer, Qt's monotonic timer is the next best clock;
    // the task is never dropped.
    QTimer::singleShot(std::chrono::duration_cast<std::chrono::milliseconds>(delay),
                       Qt::PreciseTimer, context_.get(), std::move(task));
    return;
  }
  new BootTimer(fd, std::move(task), context_.get());
}

void QtClipboard::clearContents() { QGuiApplication::clipboard()->clear(QClipboard::Clipboard); }

void QtClipboard::writeText(const std::string& text) {
  QGuiApplication::clipboard()->setText(QString::fromStdString(text), QClipboard::Clipboard);
}

}  // namespace trovemark::companion::app
