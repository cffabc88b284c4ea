#pragma once

// This machine's name on the local network, as a port: the pairing link
// carries it to the tablet. Abstract because each platform's network service
// keeps it, and tests need any name.

#include <string>

namespace trovemark::companion {

class HostName {
 public:
  virtual ~HostName() = default;
  // The name under which the local network reaches this machine, asked
  // afresh. A usable one ends in ".local"; anything else means the link
  // cannot be built.
  virtual std::string hostName() = 0;
};

}  // namespace trovemark::companion
