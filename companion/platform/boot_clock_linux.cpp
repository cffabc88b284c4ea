#include <time.h>

#include "companion/platform/run_loop.h"

namespace trovemark::companion {

MonotonicClock::Duration BootClock::now() {
  timespec ts{};
  clock_gettime(CLOCK_BOOTTIME, &ts);
  return std::chrono::seconds(ts.tv_sec) + std::chrono::nanoseconds(ts.tv_nsec);
}

}  // namespace trovemark::companion
