// Launch at login on macOS: the login item of the companion's own bundle,
// kept by ServiceManagement (SMAppService, macOS 13 and later). Its status
// values are the port's: 0 not registered, 1 enabled, 2 awaiting approval,
// 3 not found. Objective-C because SMAppService has no C interface.

#import <Foundation/Foundation.h>
#import <ServiceManagement/ServiceManagement.h>

#include "companion/platform/adapters_mac.h"

namespace trovemark::companion::mac_adapters {
namespace {

std::string describe(NSError* error) {
  NSString* text = error.localizedDescription;
  return text != nil ? std::string(text.UTF8String) : "The login item could not be changed.";
}

class MacLoginItem final : public LoginItem {
 public:
  // The service is fetched afresh for every use.
  int status() override {
    @autoreleasepool {
      return static_cast<int>([SMAppService mainAppService].status);
    }
  }

  std::optional<std::string> registerItem() override {
    @autoreleasepool {
      NSError* error = nil;
      if ([[SMAppService mainAppService] registerAndReturnError:&error]) return std::nullopt;
      return describe(error);
    }
  }

  std::optional<std::string> unregisterItem() override {
    @autoreleasepool {
      NSError* error = nil;
      if ([[SMAppService mainAppService] unregisterAndReturnError:&error]) return std::nullopt;
      return describe(error);
    }
  }
};

}  // namespace

std::shared_ptr<LoginItem> makeLoginItem() { return std::make_shared<MacLoginItem>(); }

}  // namespace trovemark::companion::mac_adapters
