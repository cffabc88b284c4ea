// What the diagnosis needs of a Mac: whether this process is trusted for
// accessibility, and Resolve's running instances as AppKit lists them (every
// one of them is reachable through the accessibility interface).

#include <ApplicationServices/ApplicationServices.h>

#include "companion/platform/adapters_mac.h"
#include "companion/resolve.h"
#include "diagnosis/desktop.h"

namespace trovemark::diagnosis {
namespace {

class MacDesktop final : public Desktop {
 public:
  std::vector<std::string> accessibilityFacts() override {
    return {std::string("This process is trusted for accessibility: ") +
            (AXIsProcessTrusted() ? "yes" : "no") +
            " (macOS judges the application that started it: Terminal's permission counts when "
            "this runs from Terminal, ZelvanMac's when ZelvanMac starts the Color helper)"};
  }

  std::string trustRemedy() override {
    return "Allow the application that starts the program in System Settings, Privacy & "
           "Security, Accessibility: ZelvanMac for the Color helper (Enable Keyboard Control in "
           "its menu), Terminal for this program run from Terminal.";
  }

  std::vector<ResolveProcess> resolveProcesses() override {
    return companion::mac_adapters::makeApplicationLocator(companion::resolve::kBundleIdentifier)
        ->runningInstances();
  }

  std::string reachedThrough() override { return "the accessibility interface"; }

  std::string absentFromBusRemedy() override {
    return "macOS offers every running instance to the accessibility interface: this one has "
           "probably just ended. Start Resolve again.";
  }
};

}  // namespace

std::unique_ptr<Desktop> makeDesktop(const std::map<std::string, std::string>&) {
  return std::make_unique<MacDesktop>();
}

}  // namespace trovemark::diagnosis
