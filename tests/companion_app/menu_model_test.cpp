// The menu as a function of the controller's published state.

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "companion/menu.h"

namespace trovemark::companion {
namespace {

using Kind = MenuEntry::Kind;
using Style = MenuEntry::Style;

// The lines that never change, in order, with the status line's text filled in.
std::vector<MenuEntry> expectedMenu(const std::string& summary,
                                    const std::optional<std::string>& error,
                                    const std::string& loginTitle) {
  std::vector<MenuEntry> menu = {
      {Kind::text, "Trovemark Mac Companion", Style::plain, MenuAction::none},
      {Kind::text, summary, Style::secondary, MenuAction::none},
      {Kind::divider, "", Style::plain, MenuAction::none},
      {Kind::button, "Copy iPad Pairing Link", Style::plain, MenuAction::copyPairingLink},
      {Kind::button, "Restart Bridge", Style::plain, MenuAction::restart},
      {Kind::button, "Enable Keyboard Control", Style::plain, MenuAction::enableKeyboardControl},
      {Kind::divider, "", Style::plain, MenuAction::none},
      {Kind::button, loginTitle, Style::plain, MenuAction::toggleLaunchAtLogin},
  };
  if (error) menu.push_back({Kind::text, *error, Style::red, MenuAction::none});
  menu.push_back({Kind::divider, "", Style::plain, MenuAction::none});
  menu.push_back({Kind::button, "Quit Trovemark", Style::plain, MenuAction::quit});
  return menu;
}

struct Case {
  const char* name;
  std::string summary;
  std::optional<std::string> error;
  bool launchesAtLogin;
  const char* loginTitle;
};

class MenuModelTest : public ::testing::TestWithParam<Case> {};

TEST_P(MenuModelTest, ShowsEveryLineInOrder) {
  const Case& c = GetParam();
  EXPECT_EQ(menuEntries(c.summary, c.error, c.launchesAtLogin),
            expectedMenu(c.summary, c.error, c.loginTitle));
}

INSTANTIATE_TEST_SUITE_P(
    States, MenuModelTest,
    ::testing::Values(
        Case{"StartingNoErrorLoginOff", "Starting bridge\u2026", std::nullopt, false,
             "Launch at Login"},
        Case{"RunningNoErrorLoginOn", "Bridge running on this Mac", std::nullopt, true,
             "Turn Off Launch at Login"},
        Case{"FailedStartShowsRedLine", "DaVinci Resolve Studio is required",
             "Install Resolve Studio to run the Mac bridge.", true, "Turn Off Launch at Login"},
        Case{"RestartPendingKeepsError", "Bridge stopped. Restarting\u2026",
             "Enable Launch at Login from this menu: Permission denied", false, "Launch at Login"},
        // An empty error is still an error that is set: the line shows, empty.
        Case{"EmptyErrorStillShows", "Pairing link copied", "", false, "Launch at Login"},
        // Titles with characters a toolkit might interpret stay verbatim.
        Case{"VerbatimTexts", "50% & <b>done</b>", "path /a b/&c", false, "Launch at Login"}),
    [](const ::testing::TestParamInfo<Case>& info) { return std::string(info.param.name); });

TEST(MenuModel, LaunchAtLoginFlipsOnlyLineEightsTitle) {
  const auto off = menuEntries("Bridge running on this Mac", std::nullopt, false);
  const auto on = menuEntries("Bridge running on this Mac", std::nullopt, true);
  ASSERT_EQ(off.size(), on.size());
  for (std::size_t i = 0; i < off.size(); ++i) {
    if (i == 7) {
      EXPECT_EQ(off[i].title, "Launch at Login");
      EXPECT_EQ(on[i].title, "Turn Off Launch at Login");
      EXPECT_EQ(off[i].action, on[i].action);
    } else {
      EXPECT_EQ(off[i], on[i]) << "line " << i + 1;
    }
  }
}

TEST(MenuModel, ClearingTheErrorRemovesOnlyTheErrorLine) {
  auto withError = menuEntries("Bridge could not start", "No such file or directory", false);
  const auto without = menuEntries("Bridge could not start", std::nullopt, false);
  ASSERT_EQ(withError.size(), 11u);
  ASSERT_EQ(without.size(), 10u);
  EXPECT_EQ(withError[8].style, Style::red);
  withError.erase(withError.begin() + 8);
  EXPECT_EQ(withError, without);

  int dividers = 0, buttons = 0;
  for (const MenuEntry& entry : without) {
    dividers += entry.kind == Kind::divider;
    buttons += entry.kind == Kind::button;
  }
  EXPECT_EQ(dividers, 3);
  EXPECT_EQ(buttons, 5);
}

// Records which controller operation a click reached.
struct RecordingController {
  std::vector<std::string> calls;
  void copyPairingLink() { calls.push_back("copyPairingLink"); }
  void restart() { calls.push_back("restart"); }
  void enableKeyboardControl() { calls.push_back("enableKeyboardControl"); }
  void toggleLaunchAtLogin() { calls.push_back("toggleLaunchAtLogin"); }
};

TEST(MenuModel, EachButtonRunsExactlyItsOperation) {
  const std::vector<std::pair<MenuAction, std::string>> cases = {
      {MenuAction::copyPairingLink, "copyPairingLink"},
      {MenuAction::restart, "restart"},
      {MenuAction::enableKeyboardControl, "enableKeyboardControl"},
      {MenuAction::toggleLaunchAtLogin, "toggleLaunchAtLogin"},
      {MenuAction::quit, "quit"},
      {MenuAction::none, ""},
  };
  for (const auto& [action, expected] : cases) {
    RecordingController controller;
    performMenuAction(action, controller, [&] { controller.calls.push_back("quit"); });
    if (expected.empty()) {
      EXPECT_TRUE(controller.calls.empty());
    } else {
      EXPECT_EQ(controller.calls, std::vector<std::string>{expected});
    }
  }
}

}  // namespace
}  // namespace trovemark::companion
