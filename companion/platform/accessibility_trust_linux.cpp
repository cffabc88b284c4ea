// Keyboard control on Linux is the session's accessibility switch (the
// org.a11y.Status IsEnabled property of the accessibility bus launcher),
// which Qt 6 and GTK programs follow, and the accessibility bus's address on
// the X root window (AT_SPI_BUS), which Qt 5 programs such as Resolve follow.
// The launcher publishes that address only when it starts on an X11 session,
// so the "prompt" turns the switch on and publishes the address where it is
// missing, reading both back at once; nothing waits for a user. Without the
// prompt the answer is the switch alone, and nothing changes.

#include "companion/platform/dbus_linux.h"
#include "companion/platform/x_root_property_linux.h"

namespace trovemark::companion::linux_adapters {
namespace {

constexpr const char* kService = "org.a11y.Bus";
constexpr const char* kPath = "/org/a11y/bus";
constexpr const char* kProperties = "org.freedesktop.DBus.Properties";
constexpr const char* kStatus = "org.a11y.Status";
constexpr const char* kEnabled = "IsEnabled";
constexpr const char* kRootProperty = "AT_SPI_BUS";

std::optional<bool> readEnabled(BusConnection& bus) {
  Message message(dbus_message_new_method_call(kService, kPath, kProperties, "Get"));
  if (!message) return std::nullopt;
  dbus_message_append_args(message.get(), DBUS_TYPE_STRING, &kStatus, DBUS_TYPE_STRING, &kEnabled,
                           DBUS_TYPE_INVALID);
  const Message reply = bus.call(std::move(message));
  if (!reply) return std::nullopt;
  std::optional<bool> enabled;
  DBusMessageIter iter;
  if (dbus_message_iter_init(reply.get(), &iter) &&
      dbus_message_iter_get_arg_type(&iter) == DBUS_TYPE_VARIANT) {
    DBusMessageIter variant;
    dbus_message_iter_recurse(&iter, &variant);
    if (dbus_message_iter_get_arg_type(&variant) == DBUS_TYPE_BOOLEAN) {
      dbus_bool_t value = FALSE;
      dbus_message_iter_get_basic(&variant, &value);
      enabled = value != FALSE;
    }
  }
  return enabled;
}

void switchOn(BusConnection& bus) {
  Message message(dbus_message_new_method_call(kService, kPath, kProperties, "Set"));
  if (!message) return;
  DBusMessageIter iter;
  DBusMessageIter variant;
  const dbus_bool_t on = TRUE;
  dbus_message_iter_init_append(message.get(), &iter);
  dbus_message_iter_append_basic(&iter, DBUS_TYPE_STRING, &kStatus);
  dbus_message_iter_append_basic(&iter, DBUS_TYPE_STRING, &kEnabled);
  dbus_message_iter_open_container(&iter, DBUS_TYPE_VARIANT, DBUS_TYPE_BOOLEAN_AS_STRING, &variant);
  dbus_message_iter_append_basic(&variant, DBUS_TYPE_BOOLEAN, &on);
  dbus_message_iter_close_container(&iter, &variant);
  bus.call(std::move(message));
}

std::optional<std::string> accessibilityBusAddress(BusConnection& bus) {
  Message message(
      dbus_message_new_method_call(kService, kPath, /*interface=*/kService, "GetAddress"));
  if (!message) return std::nullopt;
  const Message reply = bus.call(std::move(message));
  const char* address = nullptr;
  if (!reply ||
      !dbus_message_get_args(reply.get(), nullptr, DBUS_TYPE_STRING, &address, DBUS_TYPE_INVALID) ||
      *address == '\0') {
    return std::nullopt;
  }
  return address;
}

class LinuxKeyboardControl final : public KeyboardControl {
 public:
  explicit LinuxKeyboardControl(Environment env) : env_(std::move(env)) {
    if (const auto it = env_.find("DISPLAY"); it != env_.end() && !it->second.empty()) {
      display_ = it->second;
    }
  }

  bool isTrusted(bool prompt) override {
    const auto bus = sessionBus();
    if (!bus) return false;
    bool enabled = readEnabled(*bus).value_or(false);
    if (!prompt) return enabled;
    if (!enabled) {
      switchOn(*bus);
      enabled = readEnabled(*bus).value_or(false);
    }
    return enabled && publishAddress(*bus);
  }

  void resumeAtStart() override {
    if (const auto bus = sessionBus(); bus && readEnabled(*bus).value_or(false)) {
      publishAddress(*bus);
    }
  }

  void withdraw() override {
    if (published_) x11::withdrawRootProperty(*display_, kRootProperty, *published_);
    published_.reset();
  }

 private:
  std::unique_ptr<BusConnection> sessionBus() const {
    const auto address = sessionBusAddress(env_);
    return address ? BusConnection::open(*address) : nullptr;
  }

  // Puts the bus's address where the launcher would have, unless something
  // is there already; false when that cannot be done. Without an X display
  // there is nothing to do.
  bool publishAddress(BusConnection& bus) {
    if (!display_) return true;
    const auto address = accessibilityBusAddress(bus);
    if (!address) return false;
    switch (x11::publishRootProperty(*display_, kRootProperty, *address)) {
      case x11::Publication::kWritten:
        published_ = address;
        return true;
      case x11::Publication::kAlreadyThere:
        return true;
      case x11::Publication::kFailed:
        break;
    }
    return false;
  }

  Environment env_;
  std::optional<std::string> display_;
  // The value this object wrote, the only one it may take back.
  std::optional<std::string> published_;
};

}  // namespace

std::shared_ptr<KeyboardControl> makeAccessibilityTrust(Environment env) {
  return std::make_shared<LinuxKeyboardControl>(std::move(env));
}

}  // namespace trovemark::companion::linux_adapters
