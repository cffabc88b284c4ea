#pragma once

// A private D-Bus daemon with one in-process service that answers like the
// Avahi daemon (GetHostNameFqdn) and the accessibility bus launcher (the
// org.a11y.Status IsEnabled property). Point DBUS_SYSTEM_BUS_ADDRESS or
// DBUS_SESSION_BUS_ADDRESS of the program under test at address(): the
// companion then gets `hostName` as its ".local" name and can switch
// keyboard control on. For tests only.

#include <dbus/dbus.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

#include "companion/platform/adapters_linux.h"
#include "testing/companion/temp_dir.h"

namespace trovemark::companion::testing {

// A private dbus-daemon, and one thread serving the Avahi host name and the
// accessibility status on it.
class FakeBusServices {
 public:
  explicit FakeBusServices(std::string announcedHostName = "studio-test.local")
      : hostName(std::move(announcedHostName)) {
    address_ = "unix:path=" + dir_ / "bus";
    const std::string config = dir_.write(
        "bus.conf",
        "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\" "
        "\"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
        "<busconfig><type>session</type><listen>" +
            address_ +
            "</listen><policy context=\"default\"><allow send_destination=\"*\" "
            "eavesdrop=\"true\"/>"
            "<allow eavesdrop=\"true\"/><allow own=\"*\"/></policy></busconfig>\n");
    auto launched = linux_adapters::makeProcessLauncher()->launch(
        {"/usr/bin/dbus-daemon", {"--nofork", "--config-file=" + config}, {}}, [](auto&) {});
    if (auto* child = std::get_if<std::shared_ptr<ChildProcess>>(&launched)) daemon_ = *child;
    for (int i = 0; i < 500 && !std::filesystem::exists(dir_ / "bus"); ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    server_ = std::thread([this] { serve(); });
  }

  ~FakeBusServices() {
    stop_ = true;
    if (server_.joinable()) server_.join();
    if (!daemon_) return;
    daemon_->terminate();
    // Reaped before the test process ends, so nothing is left to others.
    for (int i = 0; i < 1000 && daemon_->isRunning(); ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }

  const std::string& address() const { return address_; }
  bool ready() {
    for (int i = 0; i < 500 && !ready_; ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return ready_;
  }

  std::atomic<bool> a11yEnabled = false;
  std::atomic<int> sets = 0;
  const std::string hostName;

 private:
  void serve() {
    DBusError error;
    dbus_error_init(&error);
    DBusConnection* connection = dbus_connection_open_private(address_.c_str(), &error);
    if (!connection) return;
    if (dbus_bus_register(connection, &error) &&
        dbus_bus_request_name(connection, "org.freedesktop.Avahi", 0, &error) == 1 &&
        dbus_bus_request_name(connection, "org.a11y.Bus", 0, &error) == 1) {
      ready_ = true;
      while (!stop_ && dbus_connection_read_write(connection, 20)) {
        while (DBusMessage* message = dbus_connection_pop_message(connection)) {
          answer(connection, message);
          dbus_message_unref(message);
        }
      }
    }
    dbus_error_free(&error);
    dbus_connection_close(connection);
    dbus_connection_unref(connection);
  }

  void answer(DBusConnection* connection, DBusMessage* message) {
    if (dbus_message_get_type(message) != DBUS_MESSAGE_TYPE_METHOD_CALL) return;
    DBusMessage* reply = nullptr;
    if (dbus_message_is_method_call(message, "org.freedesktop.Avahi.Server", "GetHostNameFqdn")) {
      reply = dbus_message_new_method_return(message);
      const char* name = hostName.c_str();
      dbus_message_append_args(reply, DBUS_TYPE_STRING, &name, DBUS_TYPE_INVALID);
    } else if (dbus_message_is_method_call(message, "org.freedesktop.DBus.Properties", "Get")) {
      reply = dbus_message_new_method_return(message);
      DBusMessageIter iter, variant;
      dbus_message_iter_init_append(reply, &iter);
      dbus_message_iter_open_container(&iter, DBUS_TYPE_VARIANT, "b", &variant);
      const dbus_bool_t value = a11yEnabled ? TRUE : FALSE;
      dbus_message_iter_append_basic(&variant, DBUS_TYPE_BOOLEAN, &value);
      dbus_message_iter_close_container(&iter, &variant);
    } else if (dbus_message_is_method_call(message, "org.freedesktop.DBus.Properties", "Set")) {
      ++sets;
      DBusMessageIter iter, variant;
      if (dbus_message_iter_init(message, &iter) && dbus_message_iter_next(&iter) &&
          dbus_message_iter_next(&iter) &&
          dbus_message_iter_get_arg_type(&iter) == DBUS_TYPE_VARIANT) {
        dbus_message_iter_recurse(&iter, &variant);
        dbus_bool_t value = FALSE;
        if (dbus_message_iter_get_arg_type(&variant) == DBUS_TYPE_BOOLEAN) {
          dbus_message_iter_get_basic(&variant, &value);
        }
        a11yEnabled = value != FALSE;
      }
      reply = dbus_message_new_method_return(message);
    } else {
      reply = dbus_message_new_error(message, DBUS_ERROR_UNKNOWN_METHOD, "unknown");
    }
    dbus_connection_send(connection, reply, nullptr);
    dbus_connection_flush(connection);
    dbus_message_unref(reply);
  }

  TempDir dir_;
  std::string address_;
  std::shared_ptr<ChildProcess> daemon_;
  std::thread server_;
  std::atomic<bool> stop_ = false;
  std::atomic<bool> ready_ = false;
};

}  // namespace trovemark::companion::testing
