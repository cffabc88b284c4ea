#include <unistd.h>

#include "color_helper/accessibility/platform.h"

extern char** environ;

namespace trovemark::ax {

Environment currentEnvironment() {
  Environment environment;
  for (char** entry = environ; entry != nullptr && *entry != nullptr; ++entry) {
    const std::string text(*entry);
    const auto equals = text.find('=');
    if (equals != std::string::npos)
      environment.emplace(text.substr(0, equals), text.substr(equals + 1));
  }
  return environment;
}

}  // namespace trovemark::ax
