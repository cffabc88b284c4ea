#pragma once

#include <ostream>
#include <span>
#include <string>

#include "color_helper/accessibility/accessibility.h"
#include "color_helper/messages.h"

namespace trovemark::color {

// The whole command line run: `args` are the arguments after the program
// name. Writes exactly one line, the response to `out` or the failure's
// message to `err` (in the words of `platform` where they differ by
// platform), and gives the exit status (0 or 1).
int helperMain(std::span<const std::string> args, std::ostream& out, std::ostream& err,
               ax::Accessibility& ax, ax::Clock& clock, const messages::PlatformMessages& platform);

}  // namespace trovemark::color
