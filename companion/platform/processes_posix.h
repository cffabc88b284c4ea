#pragma once

// Children started with posix_spawn, each watched by a thread of its own that
// waits for its end, reports it once and reaps it. Shared by the platform
// launchers, which choose the descriptors the child starts with.

#include <spawn.h>

#include "companion/platform/processes.h"

namespace trovemark::companion::posix {

// Owns the C structures posix_spawn needs, freed on every path.
struct SpawnSetup {
  posix_spawn_file_actions_t actions;
  posix_spawnattr_t attributes;
  SpawnSetup();
  ~SpawnSetup();
  SpawnSetup(const SpawnSetup&) = delete;
  SpawnSetup& operator=(const SpawnSetup&) = delete;
};

// The child starts with no blocked signals and default dispositions, whatever
// the caller's own signal handling; `flags` are added to those this sets.
void resetSignals(posix_spawnattr_t& attributes, short flags);

// Spawns exactly the request's executable, arguments and environment with
// `setup`, and watches the child. A failure is described for the user.
LaunchResult spawnWatched(const LaunchRequest& request, TerminationHandler onExit,
                          const SpawnSetup& setup);

}  // namespace trovemark::companion::posix
