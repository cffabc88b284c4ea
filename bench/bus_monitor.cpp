#include "bench/bus_monitor.h"

#include <chrono>
#include <cstring>
#include <stdexcept>
#include <vector>

namespace trovemark::bench {

namespace {

DBusConnection* open(const std::string& address) {
  DBusError error;
  dbus_error_init(&error);
  DBusConnection* c = dbus_connection_open_private(address.c_str(), &error);
  if (c != nullptr && !dbus_bus_register(c, &error)) {
    dbus_connection_close(c);
    dbus_connection_unref(c);
    c = nullptr;
  }
  const std::string why = dbus_error_is_set(&error) ? error.message : "";
  dbus_error_free(&error);
  if (c == nullptr) throw std::runtime_error("cannot reach the bus " + address + ": " + why);
  dbus_connection_set_exit_on_disconnect(c, FALSE);
  return c;
}

void close(DBusConnection* c) {
  if (c == nullptr) return;
  dbus_connection_close(c);
  dbus_connection_unref(c);
}

constexpr const char* kMarker = "GetId";

}  // namespace

BusMonitor::BusMonitor(const std::string& address) {
  monitor_ = open(address);
  try {
    marker_ = open(address);
  } catch (...) {
    close(monitor_);
    throw;
  }
  markerName_ = dbus_bus_get_unique_name(marker_);
  DBusMessage* become = dbus_message_new_method_call(
      DBUS_SERVICE_DBUS, DBUS_PATH_DBUS, "org.freedesktop.DBus.Monitoring", "BecomeMonitor");
  const char* rule = "type='method_call'";
  const char** rules = &rule;
  dbus_uint32_t flags = 0;
  dbus_message_append_args(become, DBUS_TYPE_ARRAY, DBUS_TYPE_STRING, &rules, 1, DBUS_TYPE_UINT32,
                           &flags, DBUS_TYPE_INVALID);
  DBusError error;
  dbus_error_init(&error);
  DBusMessage* reply = dbus_connection_send_with_reply_and_block(monitor_, become, 5000, &error);
  dbus_message_unref(become);
  const std::string why = dbus_error_is_set(&error) ? error.message : "";
  dbus_error_free(&error);
  if (reply == nullptr) {
    close(marker_);
    close(monitor_);
    throw std::runtime_error("the bus refuses to be monitored: " + why);
  }
  dbus_message_unref(reply);
  thread_ = std::thread([this] { watch(); });
}

BusMonitor::~BusMonitor() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  thread_.join();
  close(marker_);
  close(monitor_);
}

void BusMonitor::watch() {
  for (;;) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (stopping_) return;
    }
    if (!dbus_connection_read_write(monitor_, 50)) return;
    while (DBusMessage* m = dbus_connection_pop_message(monitor_)) {
      if (dbus_message_get_type(m) == DBUS_MESSAGE_TYPE_METHOD_CALL) {
        const char* sender = dbus_message_get_sender(m);
        const char* member = dbus_message_get_member(m);
        std::lock_guard<std::mutex> lock(mutex_);
        if (sender != nullptr && markerName_ == sender) {
          if (member != nullptr && std::strcmp(member, kMarker) == 0) ++markersSeen_;
        } else {
          ++counts_[sender ? sender : ""];
        }
      }
      dbus_message_unref(m);
    }
  }
}

std::map<std::string, std::uint64_t> BusMonitor::counts() {
  std::uint32_t target = 0;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    target = markersSeen_ + 1;
  }
  DBusMessage* marker =
      dbus_message_new_method_call(DBUS_SERVICE_DBUS, DBUS_PATH_DBUS, DBUS_INTERFACE_DBUS, kMarker);
  DBusMessage* reply = dbus_connection_send_with_reply_and_block(marker_, marker, 5000, nullptr);
  dbus_message_unref(marker);
  if (reply != nullptr) dbus_message_unref(reply);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  for (;;) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (markersSeen_ >= target) return counts_;
    }
    if (std::chrono::steady_clock::now() > deadline) {
      throw std::runtime_error("the bus monitor saw no marker within 5 s");
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

std::uint64_t BusMonitor::newcomers(const std::map<std::string, std::uint64_t>& before,
                                    const std::map<std::string, std::uint64_t>& after) {
  std::uint64_t calls = 0;
  for (const auto& [sender, n] : after) {
    const auto it = before.find(sender);
    if (sender.empty()) {
      calls += n - (it == before.end() ? 0 : it->second);
    } else if (it == before.end()) {
      calls += n;
    }
  }
  return calls;
}

std::string accessibilityBusAddress() {
  DBusError error;
  dbus_error_init(&error);
  DBusConnection* session = dbus_bus_get_private(DBUS_BUS_SESSION, &error);
  dbus_error_free(&error);
  if (session == nullptr) throw std::runtime_error("no session bus");
  dbus_connection_set_exit_on_disconnect(session, FALSE);
  DBusMessage* call =
      dbus_message_new_method_call("org.a11y.Bus", "/org/a11y/bus", "org.a11y.Bus", "GetAddress");
  DBusMessage* reply = dbus_connection_send_with_reply_and_block(session, call, 5000, nullptr);
  dbus_message_unref(call);
  std::string address;
  const char* text = nullptr;
  if (reply != nullptr &&
      dbus_message_get_args(reply, nullptr, DBUS_TYPE_STRING, &text, DBUS_TYPE_INVALID)) {
    address = text;
  }
  if (reply != nullptr) dbus_message_unref(reply);
  close(session);
  if (address.empty()) throw std::runtime_error("no accessibility bus on this desktop");
  return address;
}

}  // namespace trovemark::bench
