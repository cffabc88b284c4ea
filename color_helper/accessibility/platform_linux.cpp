#include "color_helper/accessibility/accessibility.h"

namespace trovemark::ax {

namespace {

// Until the desktop adapter is in place, this build sees no running Resolve
// and says so, rather than pretending to operate anything.
class NoResolveAccessibility final : public Accessibility {
 public:
  bool isProcessTrusted() override { return true; }
  std::vector<ProcessId> runningApplications(const std::string&) override { return {}; }
  ElementRef applicationElement(ProcessId) override { return std::make_shared<ElementHandle>(); }
  std::optional<AttributeValue> attribute(const ElementRef&, const std::string&) override {
    return std::nullopt;
  }
  bool setValue(const ElementRef&, double) override { return false; }
  bool press(const ElementRef&) override { return false; }
  bool sameElement(const ElementRef& a, const ElementRef& b) override { return a == b; }
};

}  // namespace

std::unique_ptr<Accessibility> makePlatformAccessibility() {
  return std::make_unique<NoResolveAccessibility>();
}

}  // namespace trovemark::ax
