#include "companion/menu.h"

namespace trovemark::companion {

namespace {

MenuEntry text(std::string title, MenuEntry::Style style) {
  return {MenuEntry::Kind::text, std::move(title), style, MenuAction::none};
}

MenuEntry divider() {
  return {MenuEntry::Kind::divider, {}, MenuEntry::Style::plain, MenuAction::none};
}

MenuEntry button(std::string title, MenuAction action) {
  return {MenuEntry::Kind::button, std::move(title), MenuEntry::Style::plain, action};
}

}  // namespace

std::vector<MenuEntry> menuEntries(const std::string& heading, const std::string& summary,
                                   const std::optional<std::string>& error, bool launchesAtLogin) {
  std::vector<MenuEntry> entries;
  entries.reserve(11);
  entries.push_back(text(heading, MenuEntry::Style::plain));
  entries.push_back(text(summary, MenuEntry::Style::secondary));
  entries.push_back(divider());
  entries.push_back(button(kCopyPairingLinkTitle, MenuAction::copyPairingLink));
  entries.push_back(button(kRestartBridgeTitle, MenuAction::restart));
  entries.push_back(button(kEnableKeyboardControlTitle, MenuAction::enableKeyboardControl));
  entries.push_back(divider());
  entries.push_back(button(launchesAtLogin ? kTurnOffLaunchAtLoginTitle : kLaunchAtLoginTitle,
                           MenuAction::toggleLaunchAtLogin));
  if (error) {
    entries.push_back(text(*error, MenuEntry::Style::red));
  }
  entries.push_back(divider());
  entries.push_back(button(kQuitTitle, MenuAction::quit));
  return entries;
}

}  // namespace trovemark::companion
