// Child processes on macOS. There is no file action that closes a range of
// descriptors here, so the spawn closes every descriptor on exec by default
// and names the three standard streams explicitly: standard input inherited,
// output and error to the null device.

#include <fcntl.h>
#include <spawn.h>
#include <unistd.h>

#include "companion/platform/adapters_mac.h"
#include "companion/platform/processes_posix.h"

namespace trovemark::companion::mac_adapters {
namespace {

class MacProcessLauncher final : public ProcessLauncher {
 public:
  LaunchResult launch(const LaunchRequest& request, TerminationHandler onExit) override {
    posix::SpawnSetup setup;
    posix_spawn_file_actions_addinherit_np(&setup.actions, STDIN_FILENO);
    posix_spawn_file_actions_addopen(&setup.actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_adddup2(&setup.actions, STDOUT_FILENO, STDERR_FILENO);
    posix::resetSignals(setup.attributes, POSIX_SPAWN_CLOEXEC_DEFAULT);
    return posix::spawnWatched(request, std::move(onExit), setup);
  }
};

}  // namespace

std::shared_ptr<ProcessLauncher> makeProcessLauncher() {
  return std::make_shared<MacProcessLauncher>();
}

}  // namespace trovemark::companion::mac_adapters
