#include <ApplicationServices/ApplicationServices.h>

#include <chrono>

#include "color_helper/accessibility/ax_mac.h"
#include "color_helper/accessibility/platform.h"

namespace trovemark::ax {

void setUpProcess() {
  // Without it every call to an application that stops answering waits the
  // system's default of about six seconds. Set on the system-wide element,
  // it holds for every element of the process, those handed out later too.
  const AXUIElementRef systemWide = AXUIElementCreateSystemWide();
  if (systemWide == nullptr) return;
  AXUIElementSetMessagingTimeout(systemWide, std::chrono::duration<float>(kCallDeadline).count());
  CFRelease(systemWide);
}

std::unique_ptr<Accessibility> makePlatformAccessibility(const Environment&, Clock& clock,
                                                         std::chrono::milliseconds waitBudget) {
  return std::make_unique<mac::Accessibility>(clock, waitBudget);
}

}  // namespace trovemark::ax
