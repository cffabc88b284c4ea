#pragma once

// The macOS adapters one by one, each taking what it would otherwise read
// from the process (the environment), so that tests can aim them at a
// temporary home. makeSystemPlatform() wires them to the real ones.
//
// The C++ ones use the C interfaces (Core Foundation, ApplicationServices,
// SystemConfiguration, POSIX); the two in Objective-C++ use AppKit and
// ServiceManagement, which offer no C interface for these calls.

#include <memory>
#include <string>

#include "companion/platform/files_posix.h"
#include "companion/platform/platform.h"

namespace trovemark::companion::mac_adapters {

// posix_spawn with POSIX_SPAWN_CLOEXEC_DEFAULT: the child gets the three
// standard streams set explicitly and no other descriptor.
std::shared_ptr<ProcessLauncher> makeProcessLauncher();
// Application Support is ~/Library/Application Support, home from `env`.
std::shared_ptr<FileSystem> makeFileSystem(Environment env);
// Resources of the main bundle (CFBundle).
std::shared_ptr<Resources> makeResources();
// The local host name that SystemConfiguration keeps, with ".local".
std::shared_ptr<HostName> makeHostName();
// AXIsProcessTrustedWithOptions, with kAXTrustedCheckOptionPrompt when asked.
std::shared_ptr<AccessibilityTrust> makeAccessibilityTrust();

// Objective-C++: NSRunningApplication and NSWorkspace for the application
// with this bundle identifier (applications_mac.mm), SMAppService
// mainAppService (login_item_mac.mm).
std::shared_ptr<ApplicationLocator> makeApplicationLocator(std::string bundleIdentifier);
std::shared_ptr<LoginItem> makeLoginItem();

}  // namespace trovemark::companion::mac_adapters
