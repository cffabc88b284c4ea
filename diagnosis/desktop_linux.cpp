// What the diagnosis needs of a Linux desktop: the session's accessibility
// switch, whether the accessibility bus answers, whether the X display
// carries AT_SPI_BUS (what a Qt 5 program such as Resolve looks for as it
// starts), and Resolve's processes as the companion finds them.

#include "companion/platform/adapters_linux.h"
#include "companion/platform/dbus_linux.h"
#include "companion/platform/x_root_property_linux.h"
#include "companion/resolve.h"
#include "diagnosis/desktop.h"

namespace trovemark::diagnosis {
namespace {

namespace linux_adapters = companion::linux_adapters;
using linux_adapters::BusConnection;
using linux_adapters::Message;

constexpr const char* kLauncher = "org.a11y.Bus";
constexpr const char* kLauncherPath = "/org/a11y/bus";

// The launcher's IsEnabled switch: true or false, or none when it cannot be read.
std::optional<bool> readSwitch(BusConnection& session) {
  Message call(dbus_message_new_method_call(kLauncher, kLauncherPath,
                                            "org.freedesktop.DBus.Properties", "Get"));
  if (!call) return std::nullopt;
  const char* interface = "org.a11y.Status";
  const char* property = "IsEnabled";
  dbus_message_append_args(call.get(), DBUS_TYPE_STRING, &interface, DBUS_TYPE_STRING, &property,
                           DBUS_TYPE_INVALID);
  const Message reply = session.call(std::move(call));
  DBusMessageIter iter, variant;
  if (!reply || !dbus_message_iter_init(reply.get(), &iter) ||
      dbus_message_iter_get_arg_type(&iter) != DBUS_TYPE_VARIANT) {
    return std::nullopt;
  }
  dbus_message_iter_recurse(&iter, &variant);
  if (dbus_message_iter_get_arg_type(&variant) != DBUS_TYPE_BOOLEAN) return std::nullopt;
  dbus_bool_t on = FALSE;
  dbus_message_iter_get_basic(&variant, &on);
  return on != FALSE;
}

std::optional<std::string> busAddress(BusConnection& session) {
  const Message reply = session.call(
      Message(dbus_message_new_method_call(kLauncher, kLauncherPath, kLauncher, "GetAddress")));
  const char* address = nullptr;
  if (!reply ||
      !dbus_message_get_args(reply.get(), nullptr, DBUS_TYPE_STRING, &address, DBUS_TYPE_INVALID) ||
      address == nullptr) {
    return std::nullopt;
  }
  return std::string(address);
}

class LinuxDesktop final : public Desktop {
 public:
  explicit LinuxDesktop(companion::Environment env) : env_(std::move(env)) {}

  std::vector<std::string> accessibilityFacts() override {
    std::vector<std::string> facts = busFacts();
    facts.push_back(xDisplayFact());
    return facts;
  }

  std::vector<std::string> busFacts() {
    std::vector<std::string> facts;
    const auto address = linux_adapters::sessionBusAddress(env_);
    auto session = address ? BusConnection::open(*address) : nullptr;
    if (!session) {
      facts.push_back("Session bus: none answers (DBUS_SESSION_BUS_ADDRESS)");
      return facts;
    }
    const auto on = readSwitch(*session);
    facts.push_back(std::string("Accessibility switch (org.a11y.Status IsEnabled): ") +
                    (on ? (*on ? "on" : "off") : "cannot be read"));
    const auto bus = busAddress(*session);
    facts.push_back("Accessibility bus: " +
                    (bus ? *bus + (BusConnection::open(*bus) ? ", answers" : ", does not answer")
                         : std::string("the session's launcher names none")));
    return facts;
  }

  // What a Qt 5 program such as Resolve looks for as it starts.
  std::string xDisplayFact() {
    const auto display = env_.find("DISPLAY");
    if (display == env_.end() || display->second.empty()) return "X display: none (DISPLAY)";
    const std::string head = "X display " + display->second + ": ";
    if (x11::readRootProperty(display->second, "AT_SPI_BUS")) {
      return head +
             "AT_SPI_BUS is set, so Qt 5 programs such as Resolve join the "
             "accessibility bus when they start";
    }
    return head +
           "AT_SPI_BUS is not set, so a Qt 5 program such as Resolve started now stays "
           "off the accessibility bus (Enable Keyboard Control in the Trovemark menu sets "
           "it)";
  }

  std::string trustRemedy() override {
    return "Enable Keyboard Control in the Trovemark menu (it turns on the desktop's "
           "accessibility), then start Resolve again.";
  }

  std::vector<ResolveProcess> resolveProcesses() override {
    return linux_adapters::makeApplicationLocator(companion::resolve::linuxLayout(), env_)
        ->runningInstances();
  }

  std::string reachedThrough() override { return "the accessibility bus"; }

  std::string absentFromBusRemedy() override {
    return "It was likely started before keyboard control was enabled, or without AT_SPI_BUS "
           "on its X display: Enable Keyboard Control in the Trovemark menu, then start Resolve "
           "again. Otherwise its bundled Qt has no accessibility bridge.";
  }

 private:
  companion::Environment env_;
};

}  // namespace

std::unique_ptr<Desktop> makeDesktop(const std::map<std::string, std::string>& environment) {
  return std::make_unique<LinuxDesktop>(environment);
}

}  // namespace trovemark::diagnosis
