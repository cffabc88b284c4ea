// Keyboard control on Linux is the session's accessibility switch: the
// org.a11y.Status IsEnabled property of the accessibility bus launcher. The
// "prompt" turns it on and reads it back at once; nothing waits for a user.

#include "companion/platform/dbus_linux.h"

namespace trovemark::companion::linux_adapters {
namespace {

constexpr const char* kService = "org.a11y.Bus";
constexpr const char* kPath = "/org/a11y/bus";
constexpr const char* kProperties = "org.freedesktop.DBus.Properties";
constexpr const char* kStatus = "org.a11y.Status";
constexpr const char* kEnabled = "IsEnabled";

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

class LinuxAccessibilityTrust final : public AccessibilityTrust {
 public:
  explicit LinuxAccessibilityTrust(Environment env) : env_(std::move(env)) {}

  bool isTrusted(bool prompt) override {
    const auto address = sessionBusAddress(env_);
    if (!address) return false;
    auto bus = BusConnection::open(*address);
    if (!bus) return false;
    const bool enabled = readEnabled(*bus).value_or(false);
    if (enabled || !prompt) return enabled;
    switchOn(*bus);
    return readEnabled(*bus).value_or(false);
  }

 private:
  Environment env_;
};

}  // namespace

std::shared_ptr<AccessibilityTrust> makeAccessibilityTrust(Environment env) {
  return std::make_shared<LinuxAccessibilityTrust>(std::move(env));
}

}  // namespace trovemark::companion::linux_adapters
