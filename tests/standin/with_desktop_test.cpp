// scripts/with-desktop: the command's status and output pass through,
// desktops side by side stay apart, and nothing of a desktop outlives it,
// whatever the command did. The accessibility switch is tested end to end.

#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "testing/desktop/processes.h"

namespace trovemark::standin::testing {
namespace {

const std::string kWithDesktop = TROVEMARK_SOURCE_DIR "/scripts/with-desktop";

// The live processes whose environment names this desktop.
std::set<pid_t> processesOf(const std::string& desktop) {
  return trovemark::testing::processesWithEnvironment("TROVEMARK_DESKTOP=" + desktop);
}

TEST(WithDesktop, DesktopsSideBySideStayApart) {
  const std::vector<std::string> show = {kWithDesktop, "sh", "-c",
                                         "echo \"$DISPLAY $DBUS_SESSION_BUS_ADDRESS\"; sleep 1"};
  const auto first = trovemark::testing::Process::start(show);
  const auto second = trovemark::testing::Process::start(show);
  const std::optional<std::string> a = first->readLine();
  const std::optional<std::string> b = second->readLine();
  ASSERT_TRUE(a && b);
  EXPECT_NE(*a, *b);
  EXPECT_EQ(first->wait(), 0);
  EXPECT_EQ(second->wait(), 0);
}

TEST(WithDesktop, PassesTheStatusThroughAndLeavesNothingBehind) {
  // A command that leaves a detached child, and one whose desktop is ended
  // from outside while it runs.
  struct Case {
    const char* name;
    std::string command;
    bool terminate;
    int status;
  };
  const std::vector<Case> cases = {
      {"detached child",
       "setsid sleep 300 </dev/null >/dev/null 2>&1 & echo \"$TROVEMARK_DESKTOP\"; exit 3", false,
       3},
      {"terminated", "echo \"$TROVEMARK_DESKTOP\"; exec sleep 300", true, 143},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const auto run = trovemark::testing::Process::start({kWithDesktop, "sh", "-c", c.command});
    const std::optional<std::string> desktop = run->readLine();
    ASSERT_TRUE(desktop.has_value());
    EXPECT_FALSE(processesOf(*desktop).empty()) << "the desktop's own processes carry the marker";
    EXPECT_EQ(c.terminate ? run->stop() : run->wait(), c.status);
    EXPECT_EQ(processesOf(*desktop), std::set<pid_t>{});
    EXPECT_FALSE(std::filesystem::exists(*desktop));
  }
}

}  // namespace
}  // namespace trovemark::standin::testing
