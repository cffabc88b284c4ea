// The companion's own bundle on macOS: its resources through Core
// Foundation's main bundle, the process environment, and the name under
// which Bonjour publishes this Mac on the local network.

#include <CoreFoundation/CoreFoundation.h>
#include <SystemConfiguration/SystemConfiguration.h>
#include <limits.h>

#include "companion/platform/adapters_mac.h"

namespace trovemark::companion::mac_adapters {
namespace {

struct Releaser {
  void operator()(const void* object) const {
    if (object != nullptr) CFRelease(object);
  }
};
// One reference owned under the Create or Copy rule, released on every path.
using Owned = std::unique_ptr<const void, Releaser>;

Owned stringOf(const std::string& text) {
  return Owned(CFStringCreateWithCString(nullptr, text.c_str(), kCFStringEncodingUTF8));
}

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

class MacBundle final : public Bundle {
 public:
  explicit MacBundle(Environment env) : env_(std::move(env)) {}

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

  std::map<std::string, std::string> environment() override { return env_; }

  // Without a local host name no link can be built; an empty name says so.
  std::string hostName() override {
    const Owned name(SCDynamicStoreCopyLocalHostName(nullptr));
    if (!name) return {};
    return textOf(static_cast<CFStringRef>(name.get())) + ".local";
  }

 private:
  Environment env_;
};

}  // namespace

std::shared_ptr<Bundle> makeBundle(Environment env) {
  return std::make_shared<MacBundle>(std::move(env));
}

}  // namespace trovemark::companion::mac_adapters
