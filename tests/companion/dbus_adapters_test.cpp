// The adapters that ask D-Bus services, against a private bus: the host name
// from Avahi and the session's accessibility switch, each answered by a small
// in-test service that records what it was asked.

#include <gtest/gtest.h>

#include "companion/platform/adapters_linux.h"
#include "testing/companion/fake_bus_services.h"

namespace trovemark::companion::linux_adapters {
namespace {

TEST(DBusAdapters, TheHostNameIsTheOneAvahiAnnounces) {
  testing::FakeBusServices services;
  ASSERT_TRUE(services.ready());
  auto bundle = makeBundle("/nonexistent", {{"DBUS_SYSTEM_BUS_ADDRESS", services.address()}});
  EXPECT_EQ(bundle->hostName(), "studio-test.local");
}

TEST(DBusAdapters, KeyboardControlIsTheSessionAccessibilitySwitch) {
  testing::FakeBusServices services;
  ASSERT_TRUE(services.ready());
  auto trust = makeAccessibilityTrust({{"DBUS_SESSION_BUS_ADDRESS", services.address()}});
  EXPECT_FALSE(trust->isTrusted(false));
  EXPECT_EQ(services.sets, 0);
  // The prompt turns it on and the answer reflects that at once.
  EXPECT_TRUE(trust->isTrusted(true));
  EXPECT_EQ(services.sets, 1);
  EXPECT_TRUE(trust->isTrusted(true));
  EXPECT_EQ(services.sets, 1);
  // Without a session bus there is no keyboard control.
  EXPECT_FALSE(makeAccessibilityTrust({})->isTrusted(true));
  EXPECT_FALSE(makeAccessibilityTrust({{"DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent"}})
                   ->isTrusted(true));
}

}  // namespace
}  // namespace trovemark::companion::linux_adapters
