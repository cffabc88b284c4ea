#pragma once

// This platform's answers to what the diagnosis asks of the desktop
// (desktop_<platform>.cpp, chosen by the build).

#include <map>
#include <memory>
#include <string>

#include "diagnosis/diagnosis.h"

namespace trovemark::diagnosis {

std::unique_ptr<Desktop> makeDesktop(const std::map<std::string, std::string>& environment);

}  // namespace trovemark::diagnosis
