#pragma once

// The companion's drop-down menu as plain data.
//
// The menu keeps no state of its own: it is rebuilt from the controller's
// published `summary`, `error` and `launchesAtLogin` every time one of them is
// assigned. Keeping it toolkit-free lets the tray adapter stay a thin
// translation and lets the layout be checked without a display.

#include <optional>
#include <string>
#include <vector>

namespace trovemark::companion {

// What a click on a button line does. Text and divider lines carry `none`.
enum class MenuAction {
  none,
  copyPairingLink,
  restart,
  enableKeyboardControl,
  toggleLaunchAtLogin,
  quit,
};

// One line of the menu.
struct MenuEntry {
  enum class Kind { text, divider, button };
  // Only text lines have a style; dividers and buttons are always `plain`.
  enum class Style { plain, secondary, red };

  Kind kind = Kind::text;
  std::string title;  // empty for dividers
  Style style = Style::plain;
  MenuAction action = MenuAction::none;

  bool operator==(const MenuEntry&) const = default;
};

// Fixed titles. They are also the keys under which a translation would be
// looked up; the status and error lines are shown verbatim instead, and so is
// the heading, which names the platform (PlatformTexts).
inline constexpr const char* kCopyPairingLinkTitle = "Copy iPad Pairing Link";
inline constexpr const char* kRestartBridgeTitle = "Restart Bridge";
inline constexpr const char* kEnableKeyboardControlTitle = "Enable Keyboard Control";
inline constexpr const char* kLaunchAtLoginTitle = "Launch at Login";
inline constexpr const char* kTurnOffLaunchAtLoginTitle = "Turn Off Launch at Login";
inline constexpr const char* kQuitTitle = "Quit Trovemark";

// The tray item's name.
inline constexpr const char* kTrayTitle = "Trovemark";

// The menu, top to bottom, under `heading`, for the given controller state.
// The error line is the only entry that comes and goes; the launch-at-login
// button is the only fixed title that changes.
std::vector<MenuEntry> menuEntries(const std::string& heading, const std::string& summary,
                                   const std::optional<std::string>& error, bool launchesAtLogin);

// Runs what a click on a button means. Every action except `quit` is one
// synchronous controller operation; `quit` is the caller's, because leaving
// the application belongs to the toolkit's event loop.
template <typename Controller, typename Quit>
void performMenuAction(MenuAction action, Controller& controller, Quit&& quit) {
  switch (action) {
    case MenuAction::none:
      return;
    case MenuAction::copyPairingLink:
      controller.copyPairingLink();
      return;
    case MenuAction::restart:
      controller.restart();
      return;
    case MenuAction::enableKeyboardControl:
      controller.enableKeyboardControl();
      return;
    case MenuAction::toggleLaunchAtLogin:
      controller.toggleLaunchAtLogin();
      return;
    case MenuAction::quit:
      quit();
      return;
  }
}

}  // namespace trovemark::companion
