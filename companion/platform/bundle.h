#pragma once

// The companion's own installation, as a port: where its resources lie, what
// environment it runs in and what the network calls this machine. Abstract so
// that tests can point the controller at any layout and any host name.

#include <map>
#include <optional>
#include <string>

namespace trovemark::companion {

class Bundle {
 public:
  virtual ~Bundle() = default;
  // Absolute path of the resource `name`.`extension` shipped with the
  // companion, or none when it is not installed.
  virtual std::optional<std::string> resourcePath(const std::string& name,
                                                  const std::string& extension) = 0;
  // The companion's complete environment.
  virtual std::map<std::string, std::string> environment() = 0;
  // The name under which the local network reaches this machine. A usable one
  // ends in ".local"; anything else means the link cannot be built.
  virtual std::string hostName() = 0;
};

}  // namespace trovemark::companion
