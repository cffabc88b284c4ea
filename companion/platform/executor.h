#pragma once

// The companion's main thread, as a port.
//
// Every field of the controller is read and written on one thread, and the
// only code that runs elsewhere (the report of a child's end) must hand over
// to it. The port is abstract because that thread belongs to whoever runs the
// program: the tray application's event loop, or the plain run loop below for
// headless runs and tests.

#include <chrono>
#include <functional>

namespace trovemark::companion {

// A clock that only moves forward. Waits of the companion are measured on it,
// so a change of the wall clock never shortens or stretches them. The real one
// keeps counting while the machine is suspended.
class MonotonicClock {
 public:
  using Duration = std::chrono::nanoseconds;
  virtual ~MonotonicClock() = default;
  // Time since an arbitrary fixed origin.
  virtual Duration now() = 0;
};

class MainThreadExecutor {
 public:
  using Task = std::function<void()>;
  using Duration = std::chrono::nanoseconds;
  virtual ~MainThreadExecutor() = default;

  // Safe to call from any thread. Runs `task` later on the main thread, never
  // inside this call. Tasks posted from one thread run in the order posted.
  virtual void post(Task task) = 0;

  // Main thread only. Runs `task` on the main thread once `delay` has passed
  // on a monotonic clock (one that keeps counting during suspend where the
  // platform offers it). The main thread is not blocked while it waits.
  virtual void postAfter(Duration delay, Task task) = 0;
};

}  // namespace trovemark::companion
