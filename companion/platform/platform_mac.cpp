// Wires the macOS adapters to the running process.

#include "companion/platform/adapters_mac.h"
#include "companion/system_bridge.h"

namespace trovemark::companion {

Platform makeSystemPlatform(std::shared_ptr<MainThreadExecutor> executor,
                            std::shared_ptr<Pasteboard> pasteboard) {
  using namespace mac_adapters;
  const Environment env = posix::currentEnvironment();
  Platform platform;
  platform.environment = env;
  platform.processes = makeProcessLauncher();
  platform.applications = makeApplicationLocator(resolve::kBundleIdentifier);
  platform.files = makeFileSystem(env);
  platform.resources = makeResources();
  platform.hostName = makeHostName();
  platform.trust = makeAccessibilityTrust();
  platform.loginItem = makeLoginItem();
  platform.executor = std::move(executor);
  platform.pasteboard = std::move(pasteboard);
  platform.resolve = resolve::macInstall();
  platform.texts = macTexts();
  return platform;
}

std::shared_ptr<BridgeController> makeSystemBridgeController(
    std::shared_ptr<MainThreadExecutor> executor, std::shared_ptr<Pasteboard> pasteboard) {
  return BridgeController::create(makeSystemPlatform(std::move(executor), std::move(pasteboard)));
}

// The trust is the system's own setting; nothing was lent for the run.
void releaseSystemDesktop() {}

}  // namespace trovemark::companion
