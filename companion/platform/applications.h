#pragma once

// Where another application is, as a port: how the companion finds Resolve.
// Abstract because every desktop answers these two questions its own way. An
// adapter is made for one application (companion/resolve.h says which), so
// the questions name none.

#include <optional>
#include <string>
#include <vector>

namespace trovemark::companion {

class ApplicationLocator {
 public:
  virtual ~ApplicationLocator() = default;
  // The bundle folder of every running instance of the application, in the
  // platform's order; an instance without a known location is listed as none.
  virtual std::vector<std::optional<std::string>> runningBundleLocations() = 0;
  // The location the desktop has registered for the application, if any.
  virtual std::optional<std::string> registeredLocation() = 0;
};

}  // namespace trovemark::companion
