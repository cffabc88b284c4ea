#pragma once

// Short blocking D-Bus calls for the Linux adapters (Avahi on the system bus,
// the accessibility switch on the session bus), over libdbus-1 private
// connections that are closed again after use. The adapters run on the
// companion's main thread, so no call here blocks longer than kCallTimeoutMs,
// the greeting of the bus daemon included.

#include <dbus/dbus.h>

#include <memory>
#include <optional>
#include <string>

#include "companion/platform/adapters_linux.h"

namespace trovemark::companion::linux_adapters {

// $DBUS_SYSTEM_BUS_ADDRESS, else the well-known system socket.
std::string systemBusAddress(const Environment& env);
// $DBUS_SESSION_BUS_ADDRESS; none without one (no autolaunch).
std::optional<std::string> sessionBusAddress(const Environment& env);

// Owns one message reference.
struct MessageDeleter {
  void operator()(DBusMessage* message) const { dbus_message_unref(message); }
};
using Message = std::unique_ptr<DBusMessage, MessageDeleter>;

class BusConnection {
 public:
  static constexpr int kCallTimeoutMs = 1000;

  // Connected and greeted by the daemon; none when the bus cannot be reached
  // or does not answer in time.
  static std::unique_ptr<BusConnection> open(const std::string& address);

  // Sends `message` and waits at most kCallTimeoutMs for the reply; none on
  // any error, an error reply included.
  Message call(Message message);

 private:
  struct ConnectionDeleter {
    void operator()(DBusConnection* connection) const;
  };
  using Connection = std::unique_ptr<DBusConnection, ConnectionDeleter>;

  explicit BusConnection(Connection connection) : connection_(std::move(connection)) {}
  Connection connection_;
};

}  // namespace trovemark::companion::linux_adapters
