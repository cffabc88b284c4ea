#include "testing/rogue/scene_peer.h"

#include <cstring>
#include <map>
#include <variant>

#include "color_helper/accessibility/atspi_linux.h"
#include "color_helper/resolve.h"
#include "testing/rogue/replies.h"

namespace trovemark::testing {

namespace {

constexpr const char* kPrefix = "/org/a11y/atspi/accessible/";
constexpr std::uint32_t kRolePanel = 39;
constexpr std::uint32_t kStateFocusable = 11;  // anything but the states the helper tests

bool is(DBusMessage* call, const char* interface, const char* member) {
  return dbus_message_is_method_call(call, interface, member);
}

// The protocol's role number for a role: the first number of its kind; a
// role of no kind of its own is a panel.
std::uint32_t roleNumber(const ax::Role& role) {
  if (role.is(ax::RoleKind::kNone)) return 0;
  if (role.is(ax::RoleKind::kOther)) return kRolePanel;
  for (std::uint32_t r = 1; r < 200; ++r) {
    if (ax::atspi::roleOf(r).kind == role.kind) return r;
  }
  return kRolePanel;
}

}  // namespace

ScenePeer::ScenePeer(ax::Accessibility& scene, std::string name)
    : scene_(scene), name_(std::move(name)) {
  const auto pids = scene.runningApplications(color::resolveApplication());
  if (!pids.empty()) application_ = scene.applicationElement(pids.front());
}

std::string ScenePeer::pathOf(const ax::ElementRef& element) {
  auto [it, added] = indices_.emplace(element.get(), elements_.size());
  if (added) elements_.push_back(element);
  return kPrefix + std::to_string(it->second);
}

ax::ElementRef ScenePeer::elementAt(const std::string& path) const {
  if (path.rfind(kPrefix, 0) != 0) return nullptr;
  const std::string rest = path.substr(std::strlen(kPrefix));
  if (rest.empty() || rest.find_first_not_of("0123456789") != std::string::npos ||
      rest.size() > 9) {
    return nullptr;
  }
  const std::size_t index = std::stoul(rest);
  return index < elements_.size() ? elements_[index] : nullptr;
}

std::vector<std::string> ScenePeer::children(const std::string& path) {
  std::vector<std::string> out;
  const ax::ElementRef element = path == kRootPath ? application_ : elementAt(path);
  if (element) {
    const bool windows = path == kRootPath;
    const ax::Reading reading =
        scene_.read(element, windows ? ax::Attribute::kWindows : ax::Attribute::kChildren);
    if (const auto& list = windows ? reading.windows : reading.children) {
      for (const auto& child : *list) out.push_back(pathOf(child));
    }
  }
  if (editChildren) editChildren(path, out);
  return out;
}

std::uint32_t ScenePeer::role(const ax::ElementRef& element) {
  if (!element) return kRolePanel;
  return roleNumber(scene_.read(element, ax::Attribute::kRole).role);
}

ax::Value ScenePeer::value(const ax::ElementRef& element) {
  return element ? scene_.read(element, ax::Attribute::kValue).value : ax::Value{};
}

std::uint32_t ScenePeer::state(const ax::ElementRef& element) {
  std::uint32_t word = 1u << ax::atspi::kStateEnabled | 1u << kStateFocusable;
  if (!element) return word;
  if (role(element) == ax::atspi::kRoleCheckBox) {
    const ax::Value v = value(element);
    if (std::holds_alternative<double>(v) && std::get<double>(v) != 0) {
      word |= 1u << ax::atspi::kStateChecked;
    }
  }
  const auto focused = application_
                           ? scene_.read(application_, ax::Attribute::kFocusedWindow).focusedWindow
                           : nullptr;
  if (focused && scene_.sameElement(focused, element)) word |= 1u << ax::atspi::kStateActive;
  return word;
}

ax::dbus::Message ScenePeer::answer(DBusMessage* call) {
  using namespace replies;
  const std::string path = dbus_message_get_path(call) ? dbus_message_get_path(call) : "";
  const bool root = path == kRootPath;
  const ax::ElementRef element = root ? nullptr : elementAt(path);
  const char* a = nullptr;
  const char* b = nullptr;
  dbus_message_get_args(call, nullptr, DBUS_TYPE_STRING, &a, DBUS_TYPE_STRING, &b,
                        DBUS_TYPE_INVALID);
  const std::string property = b ? b : "";

  if (is(call, "org.a11y.atspi.Accessible", "GetChildren")) {
    const auto list = children(path);
    return array(call, "(so)", list.size(),
                 [&](DBusMessageIter& it, std::size_t i) { ref(it, name_, list[i]); });
  }
  if (is(call, "org.a11y.atspi.Accessible", "GetRole")) {
    return basic(call, DBUS_TYPE_UINT32, root ? ax::atspi::kRoleApplication : role(element));
  }
  if (is(call, "org.a11y.atspi.Accessible", "GetState")) {
    const dbus_uint32_t words[] = {state(element), 0};
    return array(call, "u", 2,
                 [&](DBusMessageIter& it, std::size_t i) { put(it, DBUS_TYPE_UINT32, words[i]); });
  }
  // A number is offered through the Value interface and a text through the
  // Text interface, as a toolkit would; a check box's value is its state.
  const auto offered = [&]() -> ax::Value {
    return element && role(element) != ax::atspi::kRoleCheckBox ? value(element) : ax::Value{};
  };
  if (is(call, "org.a11y.atspi.Accessible", "GetInterfaces")) {
    std::vector<std::string> names{"org.a11y.atspi.Accessible", "org.a11y.atspi.Action"};
    const auto v = offered();
    if (std::holds_alternative<double>(v)) names.push_back("org.a11y.atspi.Value");
    if (std::holds_alternative<std::string>(v)) names.push_back("org.a11y.atspi.Text");
    return array(call, "s", names.size(),
                 [&](DBusMessageIter& it, std::size_t i) { put(it, names[i]); });
  }
  if (is(call, "org.a11y.atspi.Text", "GetText")) {
    const auto v = offered();
    if (std::holds_alternative<std::string>(v)) {
      return basic(call, DBUS_TYPE_STRING, std::get<std::string>(v).c_str());
    }
  }
  if (is(call, "org.a11y.atspi.Action", "GetActions")) {
    return array(call, "(sss)", 1, [](DBusMessageIter& it, std::size_t) {
      open(it, DBUS_TYPE_STRUCT, nullptr, [](DBusMessageIter& s) {
        for (const char* field : {"Press", "", ""}) put(s, DBUS_TYPE_STRING, field);
      });
    });
  }
  if (is(call, "org.a11y.atspi.Action", "DoAction")) {
    return basic(call, DBUS_TYPE_BOOLEAN, dbus_bool_t{element && scene_.press(element)});
  }
  if (is(call, DBUS_INTERFACE_PROPERTIES, "Get") && property == "Name") {
    const std::string name =
        root ? color::resolveApplication().registeredNames.front()
             : (element ? scene_.read(element, ax::Attribute::kDescription).description
                        : std::nullopt)
                   .value_or(std::string());
    return variant(call, DBUS_TYPE_STRING, "s", name.c_str());
  }
  if (is(call, DBUS_INTERFACE_PROPERTIES, "Get") && property == "CurrentValue") {
    const auto v = offered();
    if (std::holds_alternative<double>(v)) {
      return variant(call, DBUS_TYPE_DOUBLE, "d", std::get<double>(v));
    }
  }
  if (is(call, DBUS_INTERFACE_PROPERTIES, "Set") && property == "CurrentValue") {
    DBusMessageIter args, inner;
    double number = 0;
    dbus_message_iter_init(call, &args);
    dbus_message_iter_next(&args);
    dbus_message_iter_next(&args);
    dbus_message_iter_recurse(&args, &inner);
    if (dbus_message_iter_get_arg_type(&inner) == DBUS_TYPE_DOUBLE) {
      dbus_message_iter_get_basic(&inner, &number);
    }
    if (!element || !scene_.setValue(element, number)) {
      return Message(dbus_message_new_error(call, DBUS_ERROR_FAILED, "refused"));
    }
    return to(call);
  }
  if (is(call, DBUS_INTERFACE_PROPERTIES, "Set")) return to(call);  // the registry's Id
  return Message(dbus_message_new_error(call, DBUS_ERROR_UNKNOWN_METHOD, "no"));
}

ax::dbus::Message ScenePeer::answerAsDesktop(DBusMessage* call) {
  using namespace replies;
  if (is(call, DBUS_INTERFACE_DBUS, "Hello")) return basic(call, DBUS_TYPE_STRING, ":1.1");
  if (is(call, DBUS_INTERFACE_DBUS, "GetConnectionUnixProcessID")) {
    return basic(call, DBUS_TYPE_UINT32, dbus_uint32_t{4242});
  }
  // An address nobody connects to: the caller's wire is the connection.
  if (is(call, "org.a11y.Bus", "GetAddress")) {
    return basic(call, DBUS_TYPE_STRING, "unix:path=/fuzz");
  }
  const std::string destination = dbus_message_get_destination(call);
  if (destination == "org.a11y.Bus") {  // the accessibility switch
    return variant(call, DBUS_TYPE_BOOLEAN, "b", dbus_bool_t{TRUE});
  }
  if (destination == "org.a11y.atspi.Registry") {
    return array(call, "(so)", 1,
                 [this](DBusMessageIter& it, std::size_t) { ref(it, name_, kRootPath); });
  }
  return answer(call);
}

}  // namespace trovemark::testing
