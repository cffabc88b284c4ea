#pragma once

// Waiting for something that another process or thread brings about.

#include <chrono>
#include <functional>
#include <thread>

namespace trovemark::testing {

// Generous: these wait for real processes on a shared machine, and only a
// fault makes them run out.
inline constexpr std::chrono::milliseconds kPatience = std::chrono::seconds(30);

// Checks `done` until it holds (true) or `limit` has passed (false), running
// `between` between checks: a short sleep unless the caller has work to do
// meanwhile, such as a toolkit's events.
inline bool eventually(const std::function<bool()>& done,
                       const std::function<void()>& between = {},
                       std::chrono::milliseconds limit = kPatience) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    if (between) {
      between();
    } else {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  }
  return true;
}

}  // namespace trovemark::testing
