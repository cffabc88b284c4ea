// This machine's name on the local network on Linux: the one the Avahi
// daemon announces, asked over the system bus.

#include <unistd.h>

#include "companion/platform/dbus_linux.h"

namespace trovemark::companion::linux_adapters {
namespace {

// The fully qualified name Avahi announces ("name.local"), or none when the
// daemon does not answer.
std::optional<std::string> avahiHostName(const Environment& env) {
  auto bus = BusConnection::open(systemBusAddress(env));
  if (!bus) return std::nullopt;
  const Message reply = bus->call(Message(dbus_message_new_method_call(
      "org.freedesktop.Avahi", "/", "org.freedesktop.Avahi.Server", "GetHostNameFqdn")));
  if (!reply) return std::nullopt;
  std::optional<std::string> name;
  const char* text = nullptr;
  DBusError error;
  dbus_error_init(&error);
  if (dbus_message_get_args(reply.get(), &error, DBUS_TYPE_STRING, &text, DBUS_TYPE_INVALID) &&
      text) {
    name = text;
  }
  dbus_error_free(&error);
  return name;
}

class LinuxHostName final : public HostName {
 public:
  explicit LinuxHostName(Environment env) : env_(std::move(env)) {}

  std::string hostName() override {
    if (auto name = avahiHostName(env_)) return *name;
    // Without Avahi nothing answers for a ".local" name on this machine's
    // behalf; the plain system name normally lacks that ending, and then no
    // pairing link is offered.
    char buffer[256] = {};
    if (::gethostname(buffer, sizeof buffer - 1) != 0) return {};
    return buffer;
  }

 private:
  Environment env_;
};

}  // namespace

std::shared_ptr<HostName> makeHostName(Environment env) {
  return std::make_shared<LinuxHostName>(std::move(env));
}

}  // namespace trovemark::companion::linux_adapters
