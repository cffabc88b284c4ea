#include "companion/platform/dbus_linux.h"

#include <chrono>

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

void BusConnection::ConnectionDeleter::operator()(DBusConnection* connection) const {
  dbus_connection_close(connection);
  dbus_connection_unref(connection);
}

std::unique_ptr<BusConnection> BusConnection::open(const std::string& address) {
  DBusError error;
  dbus_error_init(&error);
  Connection connection(dbus_connection_open_private(address.c_str(), &error));
  dbus_error_free(&error);
  if (!connection) return nullptr;
  // A lost bus must never end the companion.
  dbus_connection_set_exit_on_disconnect(connection.get(), FALSE);
  std::unique_ptr<BusConnection> bus(new BusConnection(std::move(connection)));
  // The greeting that dbus_bus_register() sends, with our own bound on the
  // wait rather than libdbus's 25-second default.
  if (!bus->call(Message(dbus_message_new_method_call(DBUS_SERVICE_DBUS, DBUS_PATH_DBUS,
                                                      DBUS_INTERFACE_DBUS, "Hello")))) {
    return nullptr;
  }
  return bus;
}

Message BusConnection::call(Message message) {
  // Sent and waited for by hand: libdbus's blocking call waits without limit
  // while the daemon has not yet completed the authentication.
  dbus_uint32_t serial = 0;
  if (!message || !dbus_connection_send(connection_.get(), message.get(), &serial)) return nullptr;
  const auto deadline =
      std::chrono::steady_clock::now() + std::chrono::milliseconds(kCallTimeoutMs);
  for (;;) {
    while (Message received{dbus_connection_pop_message(connection_.get())}) {
      if (dbus_message_get_reply_serial(received.get()) != serial) continue;
      if (dbus_message_get_type(received.get()) != DBUS_MESSAGE_TYPE_METHOD_RETURN) return nullptr;
      return received;
    }
    const auto left =
        std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0 ||
        !dbus_connection_read_write(connection_.get(), static_cast<int>(left.count()))) {
      return nullptr;
    }
  }
}

}  // namespace trovemark::companion::linux_adapters
