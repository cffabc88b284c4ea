#include "color_helper/accessibility/accessibility.h"
#include "color_helper/accessibility/atspi_linux.h"

namespace trovemark::ax {

std::unique_ptr<Accessibility> makePlatformAccessibility() {
  // The adapter's call deadlines follow the process's steady clock.
  static SystemClock clock;
  return std::make_unique<atspi::Accessibility>(clock);
}

}  // namespace trovemark::ax
