// Wires the Linux adapters to the running process.

#include "companion/platform/adapters_linux.h"
#include "companion/system_bridge.h"

namespace trovemark::companion {

Platform makeSystemPlatform(std::shared_ptr<MainThreadExecutor> executor,
                            std::shared_ptr<Pasteboard> pasteboard) {
  using namespace linux_adapters;
  const Environment env = currentEnvironment();
  const std::string program = currentExecutablePath();
  Platform platform;
  platform.environment = env;
  platform.processes = makeProcessLauncher();
  platform.applications = makeApplicationLocator(resolve::linuxLayout(), env);
  platform.files = makeFileSystem(env);
  platform.resources = makeResources(resourceFolderFor(program));
  platform.hostName = makeHostName(env);
  platform.trust = makeAccessibilityTrust(env);
  platform.loginItem = makeLoginItem(env, program);
  platform.executor = std::move(executor);
  platform.pasteboard = std::move(pasteboard);
  platform.resolve = resolve::linuxInstall();
  platform.texts = linuxTexts();
  return platform;
}

std::shared_ptr<BridgeController> makeSystemBridgeController(
    std::shared_ptr<MainThreadExecutor> executor, std::shared_ptr<Pasteboard> pasteboard) {
  return BridgeController::create(makeSystemPlatform(std::move(executor), std::move(pasteboard)));
}

}  // namespace trovemark::companion
