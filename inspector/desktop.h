#pragma once

// This platform's answers to what the inspection asks of the desktop
// (desktop_<platform>.cpp, chosen by the build).

#include <map>
#include <memory>
#include <string>

#include "inspector/inspection.h"

namespace trovemark::inspect {

std::unique_ptr<Desktop> makeDesktop(const std::map<std::string, std::string>& environment);

}  // namespace trovemark::inspect
