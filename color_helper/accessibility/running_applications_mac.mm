// The running instances of an application, as AppKit lists them. Objective-C
// because NSRunningApplication has no C interface.

#import <AppKit/AppKit.h>

#include "color_helper/accessibility/ax_mac.h"

namespace trovemark::ax::mac {

std::vector<ProcessId> runningProcessIds(const std::string& bundleIdentifier) {
  std::vector<ProcessId> pids;
  @autoreleasepool {
    NSString* identifier = [NSString stringWithUTF8String:bundleIdentifier.c_str()];
    if (identifier == nil) return pids;
    for (NSRunningApplication* application in
         [NSRunningApplication runningApplicationsWithBundleIdentifier:identifier]) {
      pids.push_back(application.processIdentifier);
    }
  }
  return pids;
}

}  // namespace trovemark::ax::mac
