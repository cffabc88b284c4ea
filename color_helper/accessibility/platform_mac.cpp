#include "color_helper/accessibility/accessibility.h"
#include "color_helper/accessibility/ax_mac.h"

namespace trovemark::ax {

std::unique_ptr<Accessibility> makePlatformAccessibility() {
  return std::make_unique<mac::Accessibility>();
}

}  // namespace trovemark::ax
