#include "companion/platform/run_loop.h"

#include <algorithm>

namespace trovemark::companion {

RunLoop::RunLoop(std::shared_ptr<MonotonicClock> clock) : clock_(std::move(clock)) {}

void RunLoop::post(Task task) {
  {
    std::lock_guard lock(mutex_);
    ready_.push_back(std::move(task));
  }
  wake_.notify_all();
}

void RunLoop::postAfter(Duration delay, Task task) {
  const Duration due = clock_->now() + std::max(delay, Duration::zero());
  {
    std::lock_guard lock(mutex_);
    delayed_.emplace(due, std::move(task));
  }
  wake_.notify_all();
}

bool RunLoop::takeDue(Task& task) {
  std::lock_guard lock(mutex_);
  if (!ready_.empty()) {
    task = std::move(ready_.front());
    ready_.pop_front();
    return true;
  }
  if (!delayed_.empty() && delayed_.begin()->first <= clock_->now()) {
    task = std::move(delayed_.begin()->second);
    delayed_.erase(delayed_.begin());
    return true;
  }
  return false;
}

std::size_t RunLoop::runPending() {
  std::size_t count = 0;
  Task task;
  while (takeDue(task)) {
    task();
    task = nullptr;
    ++count;
  }
  return count;
}

void RunLoop::waitForWork(Duration deadline) {
  std::unique_lock lock(mutex_);
  if (quit_ || !ready_.empty()) return;
  Duration until = deadline;
  if (!delayed_.empty()) until = std::min(until, delayed_.begin()->first);
  const Duration remaining = until - clock_->now();
  if (remaining <= Duration::zero()) return;
  // The condition variable waits on its own clock; the loop re-checks against
  // ours afterwards, so a suspend in between only makes the wake-up early.
  wake_.wait_for(lock, remaining);
}

void RunLoop::run() {
  {
    std::lock_guard lock(mutex_);
    quit_ = false;
  }
  for (;;) {
    runPending();
    {
      std::lock_guard lock(mutex_);
      if (quit_) return;
    }
    waitForWork(Duration::max() / 2);
  }
}

bool RunLoop::runUntil(const std::function<bool()>& done, Duration limit) {
  const Duration deadline = clock_->now() + limit;
  for (;;) {
    Task task;
    while (takeDue(task)) {
      task();
      task = nullptr;
      if (done()) return true;
    }
    if (done()) return true;
    if (clock_->now() >= deadline) return false;
    waitForWork(deadline);
  }
}

void RunLoop::quit() {
  {
    std::lock_guard lock(mutex_);
    quit_ = true;
  }
  wake_.notify_all();
}

}  // namespace trovemark::companion
