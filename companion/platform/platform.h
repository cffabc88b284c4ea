#pragma once

// Everything the controller needs of the platform, gathered in one value so
// that the real adapters and test fakes are handed over the same way.

#include <memory>

#include "companion/platform/accessibility_trust.h"
#include "companion/platform/applications.h"
#include "companion/platform/environment.h"
#include "companion/platform/executor.h"
#include "companion/platform/file_system.h"
#include "companion/platform/host_name.h"
#include "companion/platform/login_item.h"
#include "companion/platform/pasteboard.h"
#include "companion/platform/processes.h"
#include "companion/platform/resources.h"
#include "companion/platform_texts.h"
#include "companion/resolve.h"

namespace trovemark::companion {

struct Platform {
  // What the companion was started with; the bridge gets it too.
  Environment environment;
  std::shared_ptr<ProcessLauncher> processes;
  std::shared_ptr<ApplicationLocator> applications;
  std::shared_ptr<FileSystem> files;
  std::shared_ptr<Resources> resources;
  std::shared_ptr<HostName> hostName;
  std::shared_ptr<AccessibilityTrust> trust;
  std::shared_ptr<LoginItem> loginItem;
  std::shared_ptr<MainThreadExecutor> executor;
  std::shared_ptr<Pasteboard> pasteboard;
  ResolveInstall resolve;
  // What the user reads where the platform's name or ways show.
  PlatformTexts texts;
};

// The real adapters of the platform this program was built for. The main
// thread and the clipboard belong to the application, so the caller supplies
// them.
Platform makeSystemPlatform(std::shared_ptr<MainThreadExecutor> executor,
                            std::shared_ptr<Pasteboard> pasteboard);

}  // namespace trovemark::companion
