// Finding an application on macOS by its bundle identifier: the running
// instances in AppKit's order and the location Launch Services has
// registered. Objective-C because NSRunningApplication and NSWorkspace have
// no C interface for these.

#import <AppKit/AppKit.h>

#include "companion/platform/adapters_mac.h"

namespace trovemark::companion::mac_adapters {
namespace {

std::optional<std::string> pathOf(NSURL* url) {
  if (url == nil || !url.fileURL) return std::nullopt;
  const char* path = url.fileSystemRepresentation;
  if (path == nullptr) return std::nullopt;
  return std::string(path);
}

class MacApplicationLocator final : public ApplicationLocator {
 public:
  explicit MacApplicationLocator(std::string bundleIdentifier)
      : bundleIdentifier_(std::move(bundleIdentifier)) {}

  std::vector<std::optional<std::string>> runningBundleLocations() override {
    std::vector<std::optional<std::string>> locations;
    for (auto& instance : runningInstances()) locations.push_back(std::move(instance.location));
    return locations;
  }

  std::vector<RunningInstance> runningInstances() override {
    std::vector<RunningInstance> instances;
    @autoreleasepool {
      NSString* identifier = [NSString stringWithUTF8String:bundleIdentifier_.c_str()];
      if (identifier == nil) return instances;
      for (NSRunningApplication* application in
           [NSRunningApplication runningApplicationsWithBundleIdentifier:identifier]) {
        instances.push_back({application.processIdentifier,
                             pathOf(application.executableURL).value_or(std::string()),
                             pathOf(application.bundleURL)});
      }
    }
    return instances;
  }

  std::optional<std::string> registeredLocation() override {
    @autoreleasepool {
      NSString* identifier = [NSString stringWithUTF8String:bundleIdentifier_.c_str()];
      if (identifier == nil) return std::nullopt;
      return pathOf(
          [[NSWorkspace sharedWorkspace] URLForApplicationWithBundleIdentifier:identifier]);
    }
  }

 private:
  std::string bundleIdentifier_;
};

}  // namespace

std::shared_ptr<ApplicationLocator> makeApplicationLocator(std::string bundleIdentifier) {
  return std::make_shared<MacApplicationLocator>(std::move(bundleIdentifier));
}

}  // namespace trovemark::companion::mac_adapters
