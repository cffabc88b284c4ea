// The Linux keyboard-control adapter on a private desktop, against the real
// accessibility bus launcher and X server: the switch, and the bus's address
// on the X root window where Qt 5 programs look for it. Each case first
// removes the address the launcher published, as a launcher started before
// the X server (a Wayland session's) never publishes one.

#include <gtest/gtest.h>

#include <cstdlib>

#include "companion/platform/adapters_linux.h"
#include "companion/platform/x_root_property_linux.h"
#include "testing/desktop/processes.h"

namespace trovemark::companion::linux_adapters {
namespace {

using trovemark::testing::runProgram;
using trovemark::testing::setAccessibilitySwitch;

std::string variable(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

std::optional<std::string> published() {
  return x11::readRootProperty(variable("DISPLAY"), "AT_SPI_BUS");
}

// xprop's own view of the root window, or what it changed there.
std::string xprop(std::vector<std::string> args) {
  args.insert(args.begin(), {"xprop", "-root"});
  const auto result = runProgram(args);
  EXPECT_EQ(result.status, 0) << result.err;
  return result.out;
}

class KeyboardControlOnX : public ::testing::Test {
 protected:
  void SetUp() override {
    launchers = xprop({"AT_SPI_BUS"});
    address = published().value_or("");
    ASSERT_NE(address, "") << "the launcher published nothing: " << launchers;
    xprop({"-remove", "AT_SPI_BUS"});
  }

  std::shared_ptr<KeyboardControl> control(const std::string& display) {
    Environment env{{"DBUS_SESSION_BUS_ADDRESS", variable("DBUS_SESSION_BUS_ADDRESS")}};
    if (!display.empty()) env["DISPLAY"] = display;
    return makeAccessibilityTrust(env);
  }

  std::string launchers;  // xprop's line for the launcher's own publication
  std::string address;
};

TEST_F(KeyboardControlOnX, PublishesTheAddressWhereNoneIsAndTakesBackOnlyItsOwn) {
  const auto keyboard = control(variable("DISPLAY"));
  EXPECT_TRUE(keyboard->isTrusted(false));
  EXPECT_EQ(published(), std::nullopt) << "published without the prompt";
  ASSERT_TRUE(setAccessibilitySwitch(false));
  EXPECT_TRUE(keyboard->isTrusted(true));
  EXPECT_TRUE(keyboard->isTrusted(false)) << "the switch stayed off";
  EXPECT_EQ(xprop({"AT_SPI_BUS"}), launchers) << "not as the launcher publishes it";
  keyboard->withdraw();
  EXPECT_EQ(published(), std::nullopt);

  // Changed since: no longer its own.
  EXPECT_TRUE(keyboard->isTrusted(true));
  xprop({"-f", "AT_SPI_BUS", "8s", "-set", "AT_SPI_BUS", "unix:path=/changed"});
  keyboard->withdraw();
  EXPECT_EQ(published(), "unix:path=/changed");

  // Someone else's: neither overwritten nor, holding the same address,
  // taken away.
  EXPECT_TRUE(keyboard->isTrusted(true));
  EXPECT_EQ(published(), "unix:path=/changed");
  xprop({"-f", "AT_SPI_BUS", "8s", "-set", "AT_SPI_BUS", address});
  EXPECT_TRUE(keyboard->isTrusted(true));
  keyboard->withdraw();
  EXPECT_EQ(published(), address);
}

TEST_F(KeyboardControlOnX, AtStartPublishesOnlyWhenTheSwitchIsAlreadyOn) {
  ASSERT_TRUE(setAccessibilitySwitch(false));
  control(variable("DISPLAY"))->resumeAtStart();
  EXPECT_EQ(published(), std::nullopt);
  EXPECT_FALSE(control(variable("DISPLAY"))->isTrusted(false)) << "start-up turned the switch on";
  ASSERT_TRUE(setAccessibilitySwitch(true));
  control(variable("DISPLAY"))->resumeAtStart();
  EXPECT_EQ(published(), address);
}

TEST_F(KeyboardControlOnX, WithoutADisplayTheSwitchIsAllAndAnUnreachableOneIsNotTrusted) {
  EXPECT_TRUE(control("")->isTrusted(true));
  EXPECT_EQ(published(), std::nullopt);
  EXPECT_FALSE(control("nowhere")->isTrusted(true));
}

}  // namespace
}  // namespace trovemark::companion::linux_adapters
