#include "color_helper/accessibility/ax_mac.h"
#include "color_helper/accessibility/platform.h"

namespace trovemark::ax {

void setUpProcess() {}

std::unique_ptr<Accessibility> makePlatformAccessibility(const Environment&, Clock&) {
  return std::make_unique<mac::Accessibility>();
}

}  // namespace trovemark::ax
