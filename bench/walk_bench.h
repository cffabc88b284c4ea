#pragma once

// walk-bench: how long the helper takes to read Resolve's window, against the
// plain node-by-node walk, on the stand-in Resolve in a private desktop.
//
//   walk-bench [--runs N] [--json FILE] [--scene FILE] [--standin PROGRAM]

namespace trovemark::bench {

int walkBenchMain(int argc, char** argv);

}  // namespace trovemark::bench
