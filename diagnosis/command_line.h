#pragma once

#include <ostream>
#include <span>
#include <string>

#include "color_helper/accessibility/accessibility.h"
#include "diagnosis/diagnosis.h"

namespace trovemark::diagnosis {

// The whole command line run: `args` are the arguments after the program
// name. Writes the diagnosis (and what became of a capture) to `out`, and a
// bad command line or a scene file that cannot be written to `err`. Gives
// the exit status: 0 when the helper can work both sections now, 1
// otherwise or when the scene file cannot be written, 2 for a bad command
// line.
int diagnosisMain(std::span<const std::string> args, std::ostream& out, std::ostream& err,
                  ax::Accessibility& ax, Desktop& desktop);

// What --help prints.
extern const char* const kHelp;

}  // namespace trovemark::diagnosis
