// The companion's resources on macOS: those of its main bundle, through Core
// Foundation.

#include <CoreFoundation/CoreFoundation.h>
#include <limits.h>

#include "companion/platform/adapters_mac.h"
#include "companion/platform/core_foundation_mac.h"

namespace trovemark::companion::mac_adapters {
namespace {

Owned stringOf(const std::string& text) {
  return Owned(CFStringCreateWithCString(nullptr, text.c_str(), kCFStringEncodingUTF8));
}

class MacResources final : public Resources {
 public:
  std::optional<std::string> resourcePath(const std::string& name,
                                          const std::string& extension) override {
    const CFBundleRef bundle = CFBundleGetMainBundle();  // not ours to release
    const Owned resource = stringOf(name);
    const Owned type = stringOf(extension);
    if (bundle == nullptr || !resource || !type) return std::nullopt;
    const Owned url(CFBundleCopyResourceURL(bundle, static_cast<CFStringRef>(resource.get()),
                                            static_cast<CFStringRef>(type.get()), nullptr));
    char path[PATH_MAX];
    if (!url || !CFURLGetFileSystemRepresentation(static_cast<CFURLRef>(url.get()), true,
                                                  reinterpret_cast<UInt8*>(path), sizeof path)) {
      return std::nullopt;
    }
    return std::string(path);
  }
};

}  // namespace

std::shared_ptr<Resources> makeResources() { return std::make_shared<MacResources>(); }

}  // namespace trovemark::companion::mac_adapters
