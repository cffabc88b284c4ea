#pragma once

// The companion's sentences that name the computer it runs on, which differ
// by platform. makeSystemPlatform() hands the build's own to the controller
// (in Platform); tests choose, so that the macOS ones are checked on every
// build.

#include <string>

namespace trovemark::companion {

struct PlatformTexts {
  // The first line of the menu.
  std::string menuHeading;
  // The status line while the bridge runs.
  std::string bridgeRunning;
  // The error line when no Resolve is installed.
  std::string installResolve;
  // The error line when the bridge script is missing.
  std::string reinstall;
  // The status line when keyboard control is not granted.
  std::string grantKeyboardControl;
};

inline PlatformTexts macTexts() {
  return {"Trovemark Mac Companion", "Bridge running on this Mac",
          "Install Resolve Studio to run the Mac bridge.",
          "The bridge script is missing. Download and reinstall Trovemark Mac.",
          "Enable Trovemark Mac in Accessibility settings"};
}

inline PlatformTexts linuxTexts() {
  return {"Trovemark Companion", "Bridge running on this computer",
          "Install Resolve Studio to run the bridge.",
          "The bridge script is missing. Reinstall Trovemark.",
          "Turn on accessibility in your desktop's settings"};
}

}  // namespace trovemark::companion
