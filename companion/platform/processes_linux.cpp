// Child processes on Linux: posix_spawn without a shell, watched by one thread
// per child (processes_posix.cpp). Nothing of the companion's beyond the three
// standard streams reaches the child.

#include <fcntl.h>
#include <spawn.h>
#include <unistd.h>

#include "companion/platform/adapters_linux.h"
#include "companion/platform/processes_posix.h"

namespace trovemark::companion::linux_adapters {
namespace {

class LinuxProcessLauncher final : public ProcessLauncher {
 public:
  LaunchResult launch(const LaunchRequest& request, TerminationHandler onExit) override {
    posix::SpawnSetup setup;
    posix_spawn_file_actions_addopen(&setup.actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_adddup2(&setup.actions, STDOUT_FILENO, STDERR_FILENO);
    posix_spawn_file_actions_addclosefrom_np(&setup.actions, STDERR_FILENO + 1);
    posix::resetSignals(setup.attributes, 0);
    return posix::spawnWatched(request, std::move(onExit), setup);
  }
};

}  // namespace

std::shared_ptr<ProcessLauncher> makeProcessLauncher() {
  return std::make_shared<LinuxProcessLauncher>();
}

}  // namespace trovemark::companion::linux_adapters
