// This Mac's name on the local network: the local host name that
// SystemConfiguration keeps and Bonjour publishes, with ".local".

#include <CoreFoundation/CoreFoundation.h>
#include <SystemConfiguration/SystemConfiguration.h>

#include "companion/platform/adapters_mac.h"
#include "companion/platform/core_foundation_mac.h"

namespace trovemark::companion::mac_adapters {
namespace {

std::string textOf(CFStringRef string) {
  const CFRange all = CFRangeMake(0, CFStringGetLength(string));
  CFIndex size = 0;
  CFStringGetBytes(string, all, kCFStringEncodingUTF8, 0, false, nullptr, 0, &size);
  std::string text(static_cast<std::size_t>(size), '\0');
  CFStringGetBytes(string, all, kCFStringEncodingUTF8, 0, false,
                   reinterpret_cast<UInt8*>(text.data()), size, &size);
  text.resize(static_cast<std::size_t>(size));
  return text;
}

class MacHostName final : public HostName {
 public:
  // Without a local host name no link can be built; an empty name says so.
  std::string hostName() override {
    const Owned name(SCDynamicStoreCopyLocalHostName(nullptr));
    if (!name) return {};
    return textOf(static_cast<CFStringRef>(name.get())) + ".local";
  }
};

}  // namespace

std::shared_ptr<HostName> makeHostName() { return std::make_shared<MacHostName>(); }

}  // namespace trovemark::companion::mac_adapters
