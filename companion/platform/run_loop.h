#pragma once

// A main thread without a UI toolkit: the thread that calls run() (or
// runPending()) is the main thread. Used by headless runs and by tests.

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>

#include "companion/platform/executor.h"

namespace trovemark::companion {

// CLOCK_BOOTTIME where the system has it: monotonic, and counting on while
// the machine is suspended.
class BootClock final : public MonotonicClock {
 public:
  Duration now() override;
};

class RunLoop final : public MainThreadExecutor {
 public:
  explicit RunLoop(std::shared_ptr<MonotonicClock> clock = std::make_shared<BootClock>());

  void post(Task task) override;
  void postAfter(Duration delay, Task task) override;

  // Runs every task that is due now, including tasks they post that are due
  // at once, and returns how many ran. Never blocks.
  std::size_t runPending();

  // Runs tasks as they fall due until quit() is called (from any thread or
  // from a task).
  void run();

  // Runs tasks as they fall due until `done()` holds after a task, or until
  // `limit` has passed on the clock. Returns whether `done()` held.
  bool runUntil(const std::function<bool()>& done, Duration limit);

  // Safe from any thread.
  void quit();

 private:
  // Waits until a task may be due, or until `deadline`, whichever is first.
  void waitForWork(Duration deadline);
  bool takeDue(Task& task);

  std::shared_ptr<MonotonicClock> clock_;
  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<Task> ready_;
  // Keyed by due time, then by order of posting, so equal times keep their order.
  std::multimap<Duration, Task> delayed_;
  bool quit_ = false;
};

}  // namespace trovemark::companion
