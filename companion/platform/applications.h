#pragma once

// Where other applications are, as a port: how the companion finds Resolve.
// Abstract because every desktop answers these two questions its own way.

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

}  // namespace trovemark::companion
