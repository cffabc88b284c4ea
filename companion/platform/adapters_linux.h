#pragma once

// The Linux adapters one by one, each taking what it would otherwise read
// from the process (environment, executable path), so that tests can aim
// them at a temporary home. makeSystemPlatform() wires them to the real ones.

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "companion/platform/files_posix.h"
#include "companion/platform/platform.h"

namespace trovemark::companion::linux_adapters {

using posix::currentEnvironment;
using posix::FolderFailure;
using posix::homeFolder;
using posix::makePrivateFolders;

// The absolute path of the running program (from /proc/self/exe).
std::string currentExecutablePath();

// $XDG_DATA_HOME when absolute, else ~/.local/share.
std::string dataHome(const Environment& env);
// $XDG_CONFIG_HOME when absolute, else ~/.config.
std::string configHome(const Environment& env);
// dataHome, then each absolute entry of $XDG_DATA_DIRS (default
// /usr/local/share:/usr/share).
std::vector<std::string> dataFolders(const Environment& env);

std::shared_ptr<ProcessLauncher> makeProcessLauncher();
std::shared_ptr<FileSystem> makeFileSystem(Environment env);
// Finds the application its installer lays out as `layout` says; running
// instances are read from `procRoot` (normally "/proc").
std::shared_ptr<ApplicationLocator> makeApplicationLocator(LinuxInstallLayout layout,
                                                           Environment env,
                                                           std::string procRoot = "/proc");
// Resources lie in `resourceFolder`.
std::shared_ptr<Resources> makeResources(std::string resourceFolder);
// The name the Avahi daemon announces, on the system bus named by the environment.
std::shared_ptr<HostName> makeHostName(Environment env);
// Keyboard control: the session's accessibility switch, and the accessibility
// bus's address on the X root window (AT_SPI_BUS) where Qt 5 programs look
// for it as they start.
class KeyboardControl : public AccessibilityTrust {
 public:
  // At start-up, when the switch is already on, publishes the address as the
  // prompt would, so that a Resolve started later joins. Reports nothing.
  virtual void resumeAtStart() = 0;
  // Removes the address this object published, only while the root window
  // still holds that value.
  virtual void withdraw() = 0;
};
// On the session bus and the X display ($DISPLAY) named by the environment.
std::shared_ptr<KeyboardControl> makeAccessibilityTrust(Environment env);
// An autostart entry that runs `executablePath`.
std::shared_ptr<LoginItem> makeLoginItem(Environment env, std::string executablePath);

// The folder that holds the companion's resources for a program installed at
// `executablePath`: beside it, under the data folder of the same prefix.
std::string resourceFolderFor(const std::string& executablePath);

}  // namespace trovemark::companion::linux_adapters
