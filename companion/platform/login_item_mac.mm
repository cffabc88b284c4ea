// Launch at login on macOS: the login item of the companion's own bundle,
// kept by ServiceManagement (SMAppService, macOS 13 and later). Objective-C
// because SMAppService has no C interface.

#import <Foundation/Foundation.h>
#import <ServiceManagement/ServiceManagement.h>

#include "companion/platform/adapters_mac.h"

namespace trovemark::companion::mac_adapters {
namespace {

std::string describe(NSError* error) {
  NSString* text = error.localizedDescription;
  return text != nil ? std::string(text.UTF8String) : "The login item could not be changed.";
}

// A status this code does not know counts as neither, as "not found" does.
LoginItem::Status statusOf(SMAppServiceStatus status) {
  switch (status) {
    case SMAppServiceStatusNotRegistered:
      return LoginItem::Status::kNotRegistered;
    case SMAppServiceStatusEnabled:
      return LoginItem::Status::kEnabled;
    case SMAppServiceStatusRequiresApproval:
      return LoginItem::Status::kRequiresApproval;
    case SMAppServiceStatusNotFound:
      return LoginItem::Status::kNotFound;
  }
  return LoginItem::Status::kNotFound;
}

class MacLoginItem final : public LoginItem {
 public:
  // The service is fetched afresh for every use.
  Status status() override {
    @autoreleasepool {
      return statusOf([SMAppService mainAppService].status);
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
