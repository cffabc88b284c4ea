#pragma once

// Where another application is, as a port: how the companion finds Resolve.
// Abstract because every desktop answers these two questions its own way. An
// adapter is made for one application (companion/resolve.h says which), so
// the questions name none.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace trovemark::companion {

// One running instance of the application, as the system lists it.
struct RunningInstance {
  std::int64_t pid = 0;
  std::string program;                  // its executable's path; empty when unknown
  std::optional<std::string> location;  // its bundle folder, when known
};

class ApplicationLocator {
 public:
  virtual ~ApplicationLocator() = default;
  // The bundle folder of every running instance of the application, in the
  // platform's order; an instance without a known location is listed as none.
  virtual std::vector<std::optional<std::string>> runningBundleLocations() = 0;
  // The location the desktop has registered for the application, if any.
  virtual std::optional<std::string> registeredLocation() = 0;
  // The running instances with their process ids and programs, in the
  // platform's order (for diagnostics: the controller needs only locations).
  virtual std::vector<RunningInstance> runningInstances() = 0;
};

}  // namespace trovemark::companion
