// The menu as a function of the controller's published state: every line in
// order, line 8's title following the switch, line 9 only with an error.

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "companion/menu.h"

namespace trovemark::companion {
namespace {

using Kind = MenuEntry::Kind;
using Style = MenuEntry::Style;

struct Case {
  std::string summary;
  std::optional<std::string> error;
  bool launchesAtLogin;
  std::string loginTitle;
};

TEST(MenuModel, ShowsEveryLineInOrderForEachState) {
  const Case cases[] = {
      {"Starting bridge\u2026", std::nullopt, false, "Launch at Login"},
      {"Bridge running on this Mac", std::nullopt, true, "Turn Off Launch at Login"},
      {"DaVinci Resolve Studio is required", "Install Resolve Studio to run the Mac bridge.", true,
       "Turn Off Launch at Login"},
      // An empty error is still set, so its line shows; texts stay verbatim.
      {"50% & <b>done</b>", "", false, "Launch at Login"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.summary);
    std::vector<MenuEntry> expected = {
        {Kind::text, "Trovemark Mac Companion", Style::plain, MenuAction::none},
        {Kind::text, c.summary, Style::secondary, MenuAction::none},
        {Kind::divider, "", Style::plain, MenuAction::none},
        {Kind::button, "Copy iPad Pairing Link", Style::plain, MenuAction::copyPairingLink},
        {Kind::button, "Restart Bridge", Style::plain, MenuAction::restart},
        {Kind::button, "Enable Keyboard Control", Style::plain, MenuAction::enableKeyboardControl},
        {Kind::divider, "", Style::plain, MenuAction::none},
        {Kind::button, c.loginTitle, Style::plain, MenuAction::toggleLaunchAtLogin},
    };
    if (c.error) expected.push_back({Kind::text, *c.error, Style::red, MenuAction::none});
    expected.push_back({Kind::divider, "", Style::plain, MenuAction::none});
    expected.push_back({Kind::button, "Quit Trovemark", Style::plain, MenuAction::quit});
    EXPECT_EQ(menuEntries(c.summary, c.error, c.launchesAtLogin), expected);
  }
}

}  // namespace
}  // namespace trovemark::companion
