#pragma once

// The controller's main thread and clipboard, provided by Qt.
//
// The tray application's event loop is the thread every controller field
// lives on, and the desktop's clipboard is where the pairing link goes.

#include <QObject>
#include <memory>

#include "companion/platform/executor.h"
#include "companion/platform/pasteboard.h"

namespace trovemark::companion::app {

// Runs tasks on the thread of the Qt event loop that created it.
class QtMainThreadExecutor final : public MainThreadExecutor {
 public:
  QtMainThreadExecutor();
  ~QtMainThreadExecutor() override;

  void post(Task task) override;
  // Measures the wait on a clock that keeps counting while the machine is
  // suspended, so that sleep does not stretch it (qt_delayed_*.cpp).
  void postAfter(Duration delay, Task task) override;

 private:
  // Lives on the event loop's thread; queued calls aimed at it run there.
  std::unique_ptr<QObject> context_;
};

// The desktop's general clipboard (not the X primary selection).
class QtClipboard final : public Pasteboard {
 public:
  void clearContents() override;
  void writeText(const std::string& text) override;
};

}  // namespace trovemark::companion::app
