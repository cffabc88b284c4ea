#pragma once

// A clock for tests: time moves only when someone sleeps or calls advance(),
// and every sleep is recorded.

#include <vector>

#include "color_helper/accessibility/accessibility.h"

namespace trovemark::testing {

class FakeClock final : public ax::Clock {
 public:
  TimePoint now() override { return now_; }
  void sleep(Duration d) override {
    sleeps_.push_back(d);
    now_ += d;
  }
  void advance(Duration d) { now_ += d; }
  const std::vector<Duration>& sleeps() const { return sleeps_; }

 private:
  TimePoint now_{std::chrono::seconds(1000)};
  std::vector<Duration> sleeps_;
};

}  // namespace trovemark::testing
