// The adapters that ask D-Bus services, against a private bus: the host name
// from Avahi and the session's accessibility switch, each answered by a
// stand-in that records what it was asked; and a bus that never answers.

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>

#include "bench/bus_services.h"
#include "bench/standin_process.h"
#include "companion/platform/adapters_linux.h"
#include "testing/temp_dir.h"

namespace trovemark::companion::linux_adapters {
namespace {

class DBusAdapters : public ::testing::Test {
 protected:
  void SetUp() override {
    daemon_ = bench::Process::start({"dbus-daemon", "--session", "--nofork", "--print-address=1"});
    address_ = daemon_->readLine().value_or("");
    ASSERT_FALSE(address_.empty()) << daemon_->errors();
    services_ = std::make_unique<bench::BusServices>(address_, "studio-test.local", true);
    ASSERT_TRUE(services_->ready());
  }

  std::unique_ptr<bench::Process> daemon_;
  std::string address_;
  std::unique_ptr<bench::BusServices> services_;
};

TEST_F(DBusAdapters, TheHostNameIsTheOneAvahiAnnounces) {
  EXPECT_EQ(makeBundle("/nonexistent", {{"DBUS_SYSTEM_BUS_ADDRESS", address_}})->hostName(),
            "studio-test.local");
}

TEST_F(DBusAdapters, KeyboardControlIsTheSessionAccessibilitySwitch) {
  auto trust = makeAccessibilityTrust({{"DBUS_SESSION_BUS_ADDRESS", address_}});
  EXPECT_FALSE(trust->isTrusted(false));
  EXPECT_EQ(services_->switchSets, 0);
  // The prompt turns it on and the answer reflects that at once.
  EXPECT_TRUE(trust->isTrusted(true));
  EXPECT_EQ(services_->switchSets, 1);
  EXPECT_TRUE(trust->isTrusted(true));
  EXPECT_EQ(services_->switchSets, 1);
  // Without a session bus there is no keyboard control.
  EXPECT_FALSE(makeAccessibilityTrust({})->isTrusted(true));
}

// A bus that takes the connection and never says a word, as a hung daemon
// does: each adapter gives up after its one-second bound (libdbus's own wait
// would hold the main thread for good), and the host name falls back to the
// system's.
TEST(DBusAdaptersOnASilentBus, NoCallHoldsTheCallerLongerThanItsBound) {
  testing::TempDir dir;
  const std::string socketPath = dir / "silent";
  const int listener = ::socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  socketPath.copy(address.sun_path, sizeof address.sun_path - 1);
  ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ASSERT_EQ(::listen(listener, 8), 0);
  const std::string silent = "unix:path=" + socketPath;

  const auto started = std::chrono::steady_clock::now();
  char name[256] = {};
  ASSERT_EQ(::gethostname(name, sizeof name - 1), 0);
  EXPECT_EQ(makeBundle(dir.path(), {{"DBUS_SYSTEM_BUS_ADDRESS", silent}})->hostName(), name);
  EXPECT_FALSE(makeAccessibilityTrust({{"DBUS_SESSION_BUS_ADDRESS", silent}})->isTrusted(true));
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(10));
  ::close(listener);
}

}  // namespace
}  // namespace trovemark::companion::linux_adapters
