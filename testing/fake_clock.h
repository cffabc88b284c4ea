#pragma once

// A clock for tests: time moves only when someone sleeps or calls advance(),
// and every sleep is recorded.
//
// A wait that never sleeps on this clock would poll it for ever; such a test
// fails instead, once the clock has been read far more often without moving
// than any request reads it (a walk reads it once per attribute).

#include <cstddef>
#include <stdexcept>
#include <vector>

#include "color_helper/accessibility/accessibility.h"

namespace trovemark::testing {

class FakeClock final : public ax::Clock {
 public:
  static constexpr std::size_t kMaxReadsStandingStill = 200'000;

  TimePoint now() override {
    if (++readsStandingStill_ > kMaxReadsStandingStill) {
      throw std::logic_error("the fake clock was read 200000 times without moving: a wait that "
                             "does not sleep on the injected clock");
    }
    return now_;
  }
  void sleep(Duration d) override {
    sleeps_.push_back(d);
    advance(d);
  }
  void advance(Duration d) {
    now_ += d;
    readsStandingStill_ = 0;
  }
  const std::vector<Duration>& sleeps() const { return sleeps_; }

 private:
  TimePoint now_{std::chrono::seconds(1000)};
  std::vector<Duration> sleeps_;
  std::size_t readsStandingStill_ = 0;
};

}  // namespace trovemark::testing
