#include <stdlib.h>

#include "color_helper/accessibility/atspi_linux.h"
#include "color_helper/accessibility/platform.h"

namespace trovemark::ax {

void setUpProcess() {
  // libdbus aborts the process on what it takes for a caller's mistake unless
  // told otherwise; a malformed answer from a peer must never end the helper.
  // It reads this once, at its first complaint.
  setenv("DBUS_FATAL_WARNINGS", "0", 1);
}

std::unique_ptr<Accessibility> makePlatformAccessibility(const Environment& environment,
                                                         Clock& clock,
                                                         std::chrono::milliseconds waitBudget) {
  atspi::Options options = atspi::busesNamedIn(environment);
  options.waitBudget = waitBudget;
  return std::make_unique<atspi::Accessibility>(clock, std::move(options));
}

}  // namespace trovemark::ax
