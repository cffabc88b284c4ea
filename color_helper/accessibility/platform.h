#pragma once

// The accessibility adapter of the platform the program was built for, and
// the process-wide settings it needs, made once at start-up. Each platform's
// definitions live in platform_<platform>.cpp, chosen by the build.

#include <map>
#include <memory>
#include <string>

#include "color_helper/accessibility/accessibility.h"

namespace trovemark::ax {

using Environment = std::map<std::string, std::string>;

// The process's environment, read once by main.
Environment currentEnvironment();

// Process-wide settings, made once before the adapter is first used.
void setUpProcess();

// The platform's adapter, reading what it needs of the environment from
// `environment`, timing its waits on `clock`, and waiting on applications
// for `waitBudget` in all (a request's budget unless a tool asks for more).
std::unique_ptr<Accessibility> makePlatformAccessibility(
    const Environment& environment, Clock& clock,
    std::chrono::milliseconds waitBudget = kRequestWaitBudget);

}  // namespace trovemark::ax
