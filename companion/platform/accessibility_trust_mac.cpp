// Keyboard control on macOS is the companion's Accessibility trust. With the
// prompt, the system shows its own dialog leading to the settings; the call
// answers at once and never waits for the user.

#include <ApplicationServices/ApplicationServices.h>

#include "companion/platform/adapters_mac.h"

namespace trovemark::companion::mac_adapters {
namespace {

class MacAccessibilityTrust final : public AccessibilityTrust {
 public:
  bool isTrusted(bool prompt) override {
    const void* keys[] = {kAXTrustedCheckOptionPrompt};
    const void* values[] = {prompt ? kCFBooleanTrue : kCFBooleanFalse};
    const CFDictionaryRef options = CFDictionaryCreate(
        nullptr, keys, values, 1, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks);
    if (options == nullptr) return AXIsProcessTrusted();
    const bool trusted = AXIsProcessTrustedWithOptions(options);
    CFRelease(options);
    return trusted;
  }
};

}  // namespace

std::shared_ptr<AccessibilityTrust> makeAccessibilityTrust() {
  return std::make_shared<MacAccessibilityTrust>();
}

}  // namespace trovemark::companion::mac_adapters
