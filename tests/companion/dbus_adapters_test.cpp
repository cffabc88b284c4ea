// The adapters that ask D-Bus services, against a bus that never answers, and
// the X root window's reader against a server that never greets. (Their
// answers from a live bus and server are the desktop tests': the host name in
// the pairing link, the switch and the address behind "Enable Keyboard
// Control".)

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstddef>
#include <string>

#include "companion/platform/adapters_linux.h"
#include "companion/platform/x_root_property_linux.h"
#include "testing/temp_dir.h"

namespace trovemark::companion::linux_adapters {
namespace {

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
  EXPECT_EQ(makeHostName({{"DBUS_SYSTEM_BUS_ADDRESS", silent}})->hostName(), name);
  EXPECT_FALSE(makeAccessibilityTrust({{"DBUS_SESSION_BUS_ADDRESS", silent}})->isTrusted(true));

  // An X display of our own, in the abstract namespace where libxcb looks
  // first, that takes connections and never greets.
  const int xListener = ::socket(AF_UNIX, SOCK_STREAM, 0);
  int display = 4200;
  for (;; ++display) {
    sockaddr_un x{};
    x.sun_family = AF_UNIX;
    const std::string name = "/tmp/.X11-unix/X" + std::to_string(display);
    name.copy(x.sun_path + 1, sizeof x.sun_path - 2);
    const auto length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + name.size());
    if (::bind(xListener, reinterpret_cast<sockaddr*>(&x), length) == 0) break;
    ASSERT_LT(display, 4300);
  }
  ASSERT_EQ(::listen(xListener, 8), 0);
  EXPECT_EQ(x11::readRootProperty(":" + std::to_string(display), "AT_SPI_BUS"), std::nullopt);
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(10));
  ::close(listener);
  ::close(xListener);
}

}  // namespace
}  // namespace trovemark::companion::linux_adapters
