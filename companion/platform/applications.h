#pragma once

// Where other applications are, as a port: how the companion finds Resolve.
// Abstract because every desktop answers these two questions its own way.
// Beside the port: where this platform's installer puts Resolve.

#include <optional>
#include <string>
#include <vector>

namespace trovemark::companion {

class ApplicationLocator {
 public:
  virtual ~ApplicationLocator() = default;
  // The bundle folder of every running instance of the application with this
  // identifier, in the platform's order; an instance without a known
  // location is listed as none.
  virtual std::vector<std::optional<std::string>> runningBundleLocations(
      const std::string& bundleIdentifier) = 0;
  // The location the desktop has registered for this identifier, if any.
  virtual std::optional<std::string> registeredLocation(const std::string& bundleIdentifier) = 0;
};

// Where this platform's installer puts DaVinci Resolve and its scripting
// runtime. A value rather than a port: each platform fixes it once, and the
// checks made with it are the same everywhere.
struct ResolveInstall {
  // The folder Resolve is installed in when nothing else names one.
  std::string fixedLocation;
  // The scripting runtime, relative to the folder Resolve was found in.
  std::string interpreter;
};

}  // namespace trovemark::companion
