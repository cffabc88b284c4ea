#pragma once

// The environment the companion was started with. Not a port: a value read
// once when the platform is put together and handed to whatever needs it, so
// that nothing reads the process's own and tests can give any.

#include <map>
#include <string>

namespace trovemark::companion {

using Environment = std::map<std::string, std::string>;

}  // namespace trovemark::companion
