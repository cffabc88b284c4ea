#pragma once

namespace trovemark::standin {

// resolve-standin SCENE.json [--application N] [--log FILE]
//
// Shows application N (default 0) of a scene as a real window on the desktop's
// accessibility bus, prints "ready" once a client can read its tree, and runs
// until SIGTERM or SIGINT, then exits 0. Bad arguments or a bad scene file
// give a message on standard error and status 2 or 1.
int runStandin(int argc, char** argv);

}  // namespace trovemark::standin
