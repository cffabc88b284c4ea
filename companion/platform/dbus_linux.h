#pragma once

// Short blocking D-Bus calls for the Linux adapters (Avahi on the system bus,
// the accessibility switch on the session bus), over libdbus-1 private
// connections that are closed again after use.

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

class BusConnection {
 public:
  // None when the bus cannot be reached.
  static std::unique_ptr<BusConnection> open(const std::string& address);
  ~BusConnection();
  BusConnection(const BusConnection&) = delete;
  BusConnection& operator=(const BusConnection&) = delete;

  // Sends `message` (taking ownership) and waits at most `timeoutMs` for the
  // reply; none on any error. The caller unrefs the reply.
  DBusMessage* call(DBusMessage* message, int timeoutMs);

 private:
  explicit BusConnection(DBusConnection* connection) : connection_(connection) {}
  DBusConnection* connection_;
};

}  // namespace trovemark::companion::linux_adapters
