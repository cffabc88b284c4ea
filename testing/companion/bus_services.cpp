#include "testing/companion/bus_services.h"

#include <dbus/dbus.h>

#include <chrono>
#include <memory>

namespace trovemark::testing {

namespace {

struct MessageDeleter {
  void operator()(DBusMessage* message) const { dbus_message_unref(message); }
};
using Message = std::unique_ptr<DBusMessage, MessageDeleter>;

Message replyTo(DBusMessage* call, const std::string& hostName, std::atomic<bool>& enabled,
                std::atomic<int>& sets) {
  if (dbus_message_is_method_call(call, "org.freedesktop.Avahi.Server", "GetHostNameFqdn")) {
    Message reply(dbus_message_new_method_return(call));
    const char* name = hostName.c_str();
    dbus_message_append_args(reply.get(), DBUS_TYPE_STRING, &name, DBUS_TYPE_INVALID);
    return reply;
  }
  if (dbus_message_is_method_call(call, DBUS_INTERFACE_PROPERTIES, "Get")) {
    Message reply(dbus_message_new_method_return(call));
    DBusMessageIter iter, variant;
    dbus_message_iter_init_append(reply.get(), &iter);
    dbus_message_iter_open_container(&iter, DBUS_TYPE_VARIANT, "b", &variant);
    const dbus_bool_t value = enabled ? TRUE : FALSE;
    dbus_message_iter_append_basic(&variant, DBUS_TYPE_BOOLEAN, &value);
    dbus_message_iter_close_container(&iter, &variant);
    return reply;
  }
  if (dbus_message_is_method_call(call, DBUS_INTERFACE_PROPERTIES, "Set")) {
    ++sets;
    DBusMessageIter iter, variant;
    dbus_bool_t value = FALSE;
    if (dbus_message_iter_init(call, &iter) && dbus_message_iter_next(&iter) &&
        dbus_message_iter_next(&iter) &&
        dbus_message_iter_get_arg_type(&iter) == DBUS_TYPE_VARIANT) {
      dbus_message_iter_recurse(&iter, &variant);
      if (dbus_message_iter_get_arg_type(&variant) == DBUS_TYPE_BOOLEAN) {
        dbus_message_iter_get_basic(&variant, &value);
      }
    }
    enabled = value != FALSE;
    return Message(dbus_message_new_method_return(call));
  }
  return Message(dbus_message_new_error(call, DBUS_ERROR_UNKNOWN_METHOD, "unknown"));
}

}  // namespace

BusServices::BusServices(std::string address, std::string hostName, bool accessibilitySwitch)
    : address_(std::move(address)),
      hostName_(std::move(hostName)),
      accessibilitySwitch_(accessibilitySwitch),
      server_([this] { serve(); }) {}

BusServices::~BusServices() {
  stop_ = true;
  server_.join();
}

bool BusServices::ready() {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (state_ == 0 && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return state_ == 1;
}

void BusServices::serve() {
  DBusError error;
  dbus_error_init(&error);
  DBusConnection* connection = dbus_connection_open_private(address_.c_str(), &error);
  const auto owns = [&](const char* name) {
    return dbus_bus_request_name(connection, name, DBUS_NAME_FLAG_DO_NOT_QUEUE, &error) ==
           DBUS_REQUEST_NAME_REPLY_PRIMARY_OWNER;
  };
  if (connection && dbus_bus_register(connection, &error) && owns("org.freedesktop.Avahi") &&
      (!accessibilitySwitch_ || owns("org.a11y.Bus"))) {
    state_ = 1;
    while (!stop_ && dbus_connection_read_write(connection, 20)) {
      while (Message call{dbus_connection_pop_message(connection)}) {
        if (dbus_message_get_type(call.get()) != DBUS_MESSAGE_TYPE_METHOD_CALL) continue;
        const Message reply = replyTo(call.get(), hostName_, accessibilityEnabled, switchSets);
        dbus_connection_send(connection, reply.get(), nullptr);
        dbus_connection_flush(connection);
      }
    }
  } else {
    state_ = -1;
  }
  dbus_error_free(&error);
  if (connection) {
    dbus_connection_close(connection);
    dbus_connection_unref(connection);
  }
}

}  // namespace trovemark::testing
