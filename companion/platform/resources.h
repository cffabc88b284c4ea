#pragma once

// The companion's own resources, as a port: where the files it ships with
// lie. Abstract because each platform installs them its own way, and tests
// point the controller at any layout.

#include <optional>
#include <string>

namespace trovemark::companion {

class Resources {
 public:
  virtual ~Resources() = default;
  // Absolute path of the resource `name`.`extension` shipped with the
  // companion, or none when it is not installed.
  virtual std::optional<std::string> resourcePath(const std::string& name,
                                                  const std::string& extension) = 0;
};

}  // namespace trovemark::companion
