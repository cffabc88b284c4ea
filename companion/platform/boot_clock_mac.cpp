#include <time.h>

#include "companion/platform/run_loop.h"

namespace trovemark::companion {

// CLOCK_MONOTONIC_RAW is macOS's continuous clock: it keeps counting while the
// machine sleeps.
MonotonicClock::Duration BootClock::now() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC_RAW, &ts);
  return std::chrono::seconds(ts.tv_sec) + std::chrono::nanoseconds(ts.tv_nsec);
}

}  // namespace trovemark::companion
