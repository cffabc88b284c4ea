// Wires the Linux adapters to the running process.

#include "companion/platform/adapters_linux.h"
#include "companion/system_bridge.h"

namespace trovemark::companion {

namespace {

// The running companion's keyboard control, for the way out.
std::shared_ptr<linux_adapters::KeyboardControl>& systemKeyboardControl() {
  static std::shared_ptr<linux_adapters::KeyboardControl> control;
  return control;
}

}  // namespace

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
  auto keyboard = makeAccessibilityTrust(env);
  // Keyboard control enabled in an earlier session: a login start puts the
  // root window right before Resolve starts.
  keyboard->resumeAtStart();
  systemKeyboardControl() = keyboard;
  platform.trust = std::move(keyboard);
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

void releaseSystemDesktop() {
  if (const auto& keyboard = systemKeyboardControl()) keyboard->withdraw();
}

}  // namespace trovemark::companion
