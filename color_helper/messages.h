#pragma once

// Every sentence the Color helper says to its user, each in one place. Callers
// parse nothing out of them; they are shown verbatim.

#include <cstddef>
#include <string>
#include <string_view>

#include "color_helper/accessibility/element.h"

namespace trovemark::color::messages {

// The command line.
inline constexpr std::string_view kRequiresOneRequest = "Color helper requires one request";
inline constexpr std::string_view kResponseNotWritten = "Could not write the response";

// Operating Resolve's controls.
inline constexpr std::string_view kControlNotActivated = ax::kPressRefused;
inline constexpr std::string_view kAdjustmentNotAccepted = ax::kSetRefused;

// Finding Resolve's window.
inline constexpr std::string_view kOpenResolve = "Open DaVinci Resolve to use Color controls";
inline constexpr std::string_view kOpenProject = "Open a Resolve project to use Color controls";

// Finding and switching the palettes.
inline constexpr std::string_view kUnknownSection = "Unknown Color section";
inline constexpr std::string_view kColorBarsUnavailable = "Resolve Color Bars are unavailable";
inline constexpr std::string_view kBlurUnavailable = "Resolve Blur/Sharpen is unavailable";
inline constexpr std::string_view kOpenColorPage =
    "Open Resolve's Color page to use native Color controls";

// Reading the palette's own numbers.
inline constexpr std::string_view kReadoutChanged = "Resolve Color readout changed";

// The dispatcher.
inline constexpr std::string_view kUnknownAction = "Unknown Color action";
inline constexpr std::string_view kInvalidAdjustment = "Invalid Color adjustment";
inline constexpr std::string_view kResetUnavailable = "Resolve reset control is unavailable";
inline constexpr std::string_view kChannelLinkUnavailable =
    "Resolve channel link control is unavailable";

// The sentences that say where the user grants what is missing, which
// differ by platform. main hands the build's own to the dispatcher; tests
// choose, so that the macOS ones are checked on every build.
struct PlatformMessages {
  // The process may not use the accessibility interface.
  std::string_view notTrusted;
};
inline constexpr PlatformMessages kMacMessages{
    "Enable Trovemark's Color helper in macOS Accessibility settings"};
inline constexpr PlatformMessages kLinuxMessages{
    "Enable Keyboard Control in the Trovemark menu to use Color controls"};

// The platform this program was built for (messages_<platform>.cpp).
const PlatformMessages& platformMessages();

// A palette whose slider count is not the one every position refers to.
inline std::string controlsChanged(std::string_view section, std::size_t expected,
                                   std::size_t found) {
  return "Resolve's " + std::string(section) + " controls changed (expected " +
         std::to_string(expected) + " sliders, found " + std::to_string(found) + ")";
}

// A Blur palette mode check box that cannot be found.
inline std::string modeUnavailable(std::string_view mode) {
  return "Resolve " + std::string(mode) + " mode is unavailable";
}

// A readout group showing fewer numbers than it has sliders.
inline std::string readoutShort(std::size_t found, std::size_t size) {
  return std::string(kReadoutChanged) + ": found " + std::to_string(found) + " of " +
         std::to_string(size);
}

}  // namespace trovemark::color::messages
