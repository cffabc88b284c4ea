#include "companion/platform/dbus_linux.h"

namespace trovemark::companion::linux_adapters {

std::string systemBusAddress(const Environment& env) {
  if (const auto it = env.find("DBUS_SYSTEM_BUS_ADDRESS"); it != env.end() && !it->second.empty()) {
    return it->second;
  }
  return "unix:path=/var/run/dbus/system_bus_socket";
}

std::optional<std::string> sessionBusAddress(const Environment& env) {
  if (const auto it = env.find("DBUS_SESSION_BUS_ADDRESS");
      it != env.end() && !it->second.empty()) {
    return it->second;
  }
  return std::nullopt;
}

std::unique_ptr<BusConnection> BusConnection::open(const std::string& address) {
  DBusError error;
  dbus_error_init(&error);
  DBusConnection* connection = dbus_connection_open_private(address.c_str(), &error);
  if (!connection) {
    dbus_error_free(&error);
    return nullptr;
  }
  // A lost bus must never end the companion.
  dbus_connection_set_exit_on_disconnect(connection, FALSE);
  if (!dbus_bus_register(connection, &error)) {
    dbus_error_free(&error);
    dbus_connection_close(connection);
    dbus_connection_unref(connection);
    return nullptr;
  }
  return std::unique_ptr<BusConnection>(new BusConnection(connection));
}

BusConnection::~BusConnection() {
  dbus_connection_close(connection_);
  dbus_connection_unref(connection_);
}

DBusMessage* BusConnection::call(DBusMessage* message, int timeoutMs) {
  if (!message) return nullptr;
  DBusError error;
  dbus_error_init(&error);
  DBusMessage* reply =
      dbus_connection_send_with_reply_and_block(connection_, message, timeoutMs, &error);
  dbus_message_unref(message);
  dbus_error_free(&error);
  return reply;
}

}  // namespace trovemark::companion::linux_adapters
