#include "testing/rogue/scene_peer.h"

#include <cstring>
#include <map>
#include <variant>

#include "color_helper/accessibility/atspi_linux.h"

namespace trovemark::testing {

namespace {

constexpr const char* kPrefix = "/org/a11y/atspi/accessible/";
constexpr std::uint32_t kRolePanel = 39;
constexpr std::uint32_t kStateFocusable = 11;  // anything but the states the helper tests

bool is(DBusMessage* call, const char* interface, const char* member) {
  return dbus_message_is_method_call(call, interface, member);
}

// The protocol's role number for a role name: the first number that reads back as it.
std::uint32_t roleNumber(const std::string& name) {
  static const auto numbers = [] {
    std::map<std::string, std::uint32_t> out;
    for (std::uint32_t r = 1; r < 200; ++r) {
      if (auto n = ax::atspi::roleName(r); n && *n != "AXUnknown") out.emplace(*n, r);
    }
    return out;
  }();
  if (name.empty()) return 0;
  auto it = numbers.find(name);
  return it == numbers.end() ? 1000 : it->second;
}

void appendString(DBusMessageIter& it, const std::string& s) {
  const char* text = s.c_str();
  dbus_message_iter_append_basic(&it, DBUS_TYPE_STRING, &text);
}

template <typename T>
void appendVariant(DBusMessage* m, int type, const char* signature, T value) {
  DBusMessageIter it, inner;
  dbus_message_iter_init_append(m, &it);
  dbus_message_iter_open_container(&it, DBUS_TYPE_VARIANT, signature, &inner);
  dbus_message_iter_append_basic(&inner, type, &value);
  dbus_message_iter_close_container(&it, &inner);
}

}  // namespace

ScenePeer::ScenePeer(ax::Accessibility& scene, std::string name)
    : scene_(scene), name_(std::move(name)) {
  const auto pids = scene.runningApplications(ax::kResolveBundleIdentifier);
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
    const auto list = scene_.attribute(element, path == kRootPath ? ax::kWindows : ax::kChildren);
    if (list && std::holds_alternative<std::vector<ax::ElementRef>>(*list)) {
      for (const auto& child : std::get<std::vector<ax::ElementRef>>(*list)) {
        out.push_back(pathOf(child));
      }
    }
  }
  if (editChildren) editChildren(path, out);
  return out;
}

std::uint32_t ScenePeer::role(const ax::ElementRef& element) {
  if (!element) return kRolePanel;
  return roleNumber(ax::asText(scene_.attribute(element, ax::kRole)));
}

std::optional<ax::AttributeValue> ScenePeer::value(const ax::ElementRef& element) {
  return element ? scene_.attribute(element, ax::kValue) : std::nullopt;
}

std::vector<std::uint32_t> ScenePeer::state(const std::string& path,
                                            const ax::ElementRef& element) {
  std::uint32_t word = 1u << ax::atspi::kStateEnabled | 1u << kStateFocusable;
  if (element && role(element) == ax::atspi::kRoleCheckBox) {
    const auto v = value(element);
    if (v && std::holds_alternative<double>(*v) && std::get<double>(*v) != 0) {
      word |= 1u << ax::atspi::kStateChecked;
    }
  }
  if (application_ && path != kRootPath) {
    const auto focused = scene_.attribute(application_, ax::kFocusedWindow);
    if (element && focused && std::holds_alternative<ax::ElementRef>(*focused) &&
        scene_.sameElement(std::get<ax::ElementRef>(*focused), element)) {
      word |= 1u << ax::atspi::kStateActive;
    }
  }
  return {word, 0};
}

ax::dbus::Message ScenePeer::answer(DBusMessage* call) {
  const std::string path = dbus_message_get_path(call) ? dbus_message_get_path(call) : "";
  const bool root = path == kRootPath;
  const ax::ElementRef element = root ? nullptr : elementAt(path);
  ax::dbus::Message reply(dbus_message_new_method_return(call));
  DBusMessageIter it, inner;
  dbus_message_iter_init_append(reply.get(), &it);
  const char* a = nullptr;
  const char* b = nullptr;
  dbus_message_get_args(call, nullptr, DBUS_TYPE_STRING, &a, DBUS_TYPE_STRING, &b,
                        DBUS_TYPE_INVALID);
  const std::string interface = a ? a : "", property = b ? b : "";

  if (is(call, "org.a11y.atspi.Accessible", "GetChildren")) {
    dbus_message_iter_open_container(&it, DBUS_TYPE_ARRAY, "(so)", &inner);
    for (const std::string& child : children(path)) {
      DBusMessageIter ref;
      dbus_message_iter_open_container(&inner, DBUS_TYPE_STRUCT, nullptr, &ref);
      appendString(ref, name_);
      const char* p = child.c_str();
      dbus_message_iter_append_basic(&ref, DBUS_TYPE_OBJECT_PATH, &p);
      dbus_message_iter_close_container(&inner, &ref);
    }
    dbus_message_iter_close_container(&it, &inner);
  } else if (is(call, "org.a11y.atspi.Accessible", "GetRole")) {
    const dbus_uint32_t number = root ? ax::atspi::kRoleApplication : role(element);
    dbus_message_iter_append_basic(&it, DBUS_TYPE_UINT32, &number);
  } else if (is(call, "org.a11y.atspi.Accessible", "GetState")) {
    dbus_message_iter_open_container(&it, DBUS_TYPE_ARRAY, "u", &inner);
    for (dbus_uint32_t word : state(path, element)) {
      dbus_message_iter_append_basic(&inner, DBUS_TYPE_UINT32, &word);
    }
    dbus_message_iter_close_container(&it, &inner);
  } else if (is(call, "org.a11y.atspi.Accessible", "GetInterfaces")) {
    std::vector<std::string> names{"org.a11y.atspi.Accessible", "org.a11y.atspi.Action"};
    const auto v = role(element) == ax::atspi::kRoleCheckBox ? std::nullopt : value(element);
    if (v && std::holds_alternative<double>(*v)) names.push_back("org.a11y.atspi.Value");
    if (v && std::holds_alternative<std::string>(*v)) names.push_back("org.a11y.atspi.Text");
    dbus_message_iter_open_container(&it, DBUS_TYPE_ARRAY, "s", &inner);
    for (const auto& n : names) appendString(inner, n);
    dbus_message_iter_close_container(&it, &inner);
  } else if (is(call, "org.a11y.atspi.Text", "GetText")) {
    appendString(it, ax::asText(value(element)));
  } else if (is(call, "org.a11y.atspi.Action", "GetActions")) {
    dbus_message_iter_open_container(&it, DBUS_TYPE_ARRAY, "(sss)", &inner);
    DBusMessageIter action;
    dbus_message_iter_open_container(&inner, DBUS_TYPE_STRUCT, nullptr, &action);
    for (const char* field : {"Press", "", ""}) appendString(action, field);
    dbus_message_iter_close_container(&inner, &action);
    dbus_message_iter_close_container(&it, &inner);
  } else if (is(call, "org.a11y.atspi.Action", "DoAction")) {
    const dbus_bool_t done = element && scene_.press(element);
    dbus_message_iter_append_basic(&it, DBUS_TYPE_BOOLEAN, &done);
  } else if (is(call, DBUS_INTERFACE_PROPERTIES, "Get") && property == "Name") {
    appendVariant(
        reply.get(), DBUS_TYPE_STRING, "s",
        root ? "DaVinci Resolve"
             : ax::asText(element ? scene_.attribute(element, ax::kDescription) : std::nullopt)
                   .c_str());
  } else if (is(call, DBUS_INTERFACE_PROPERTIES, "Get") && property == "CurrentValue") {
    const auto v = value(element);
    appendVariant(reply.get(), DBUS_TYPE_DOUBLE, "d",
                  v && std::holds_alternative<double>(*v) ? std::get<double>(*v) : 0.0);
  } else if (is(call, DBUS_INTERFACE_PROPERTIES, "Set") && property == "CurrentValue") {
    DBusMessageIter args, variant;
    double number = 0;
    dbus_message_iter_init(call, &args);
    dbus_message_iter_next(&args);
    dbus_message_iter_next(&args);
    dbus_message_iter_recurse(&args, &variant);
    if (dbus_message_iter_get_arg_type(&variant) == DBUS_TYPE_DOUBLE) {
      dbus_message_iter_get_basic(&variant, &number);
    }
    if (!element || !scene_.setValue(element, number)) {
      return ax::dbus::Message(dbus_message_new_error(call, DBUS_ERROR_FAILED, "refused"));
    }
  } else if (!is(call, DBUS_INTERFACE_PROPERTIES, "Set")) {  // the registry's Id is welcome
    return ax::dbus::Message(dbus_message_new_error(call, DBUS_ERROR_UNKNOWN_METHOD, "no"));
  }
  return reply;
}

}  // namespace trovemark::testing
