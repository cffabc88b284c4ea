// The companion's own installation on Linux: resources beside the program
// under the data folder of its prefix, the process environment, and the host
// name that Avahi publishes on the local network.

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "companion/platform/dbus_linux.h"

#ifndef TROVEMARK_RESOURCE_RELATIVE
#error "TROVEMARK_RESOURCE_RELATIVE must name the resource folder relative to the program's"
#endif

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

class LinuxBundle final : public Bundle {
 public:
  LinuxBundle(std::string resourceFolder, Environment env)
      : resourceFolder_(std::move(resourceFolder)), env_(std::move(env)) {}

  std::optional<std::string> resourcePath(const std::string& name,
                                          const std::string& extension) override {
    const std::string path = resourceFolder_ + "/" + name + "." + extension;
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
    return path;
  }

  std::map<std::string, std::string> environment() override { return env_; }

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
  std::string resourceFolder_;
  Environment env_;
};

}  // namespace

std::string resourceFolderFor(const std::string& executablePath) {
  const std::filesystem::path program(executablePath);
  return (program.parent_path() / TROVEMARK_RESOURCE_RELATIVE).lexically_normal().string();
}

std::shared_ptr<Bundle> makeBundle(std::string resourceFolder, Environment env) {
  while (resourceFolder.size() > 1 && resourceFolder.back() == '/') resourceFolder.pop_back();
  return std::make_shared<LinuxBundle>(std::move(resourceFolder), std::move(env));
}

}  // namespace trovemark::companion::linux_adapters
