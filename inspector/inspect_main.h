#pragma once

#include <ostream>
#include <span>
#include <string>

#include "color_helper/accessibility/accessibility.h"
#include "inspector/inspection.h"

namespace trovemark::inspect {

// The whole command line run: `args` are the arguments after the program
// name. Writes the inspection (and what became of a capture) to `out`, and a
// bad command line or a scene file that cannot be written to `err`. Gives
// the exit status: 0 when the helper can work both sections now, 1
// otherwise or when the scene file cannot be written, 2 for a bad command
// line.
int inspectMain(std::span<const std::string> args, std::ostream& out, std::ostream& err,
                ax::Accessibility& ax, Desktop& desktop);

// What --help prints.
extern const char* const kHelp;

}  // namespace trovemark::inspect
