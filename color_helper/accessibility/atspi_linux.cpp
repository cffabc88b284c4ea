#include "color_helper/accessibility/atspi_linux.h"

#include <algorithm>
#include <cstdlib>
#include <deque>
#include <functional>
#include <queue>
#include <utility>

namespace trovemark::ax::atspi {

namespace {

constexpr const char* kRegistry = "org.a11y.atspi.Registry";
constexpr const char* kRootPath = "/org/a11y/atspi/accessible/root";
constexpr const char* kNullPath = "/org/a11y/atspi/null";
constexpr const char* kAccessible = "org.a11y.atspi.Accessible";
constexpr const char* kValueInterface = "org.a11y.atspi.Value";
constexpr const char* kTextInterface = "org.a11y.atspi.Text";
constexpr const char* kActionInterface = "org.a11y.atspi.Action";
constexpr std::uint32_t kRoleApplication = 75;

using dbus::Bus;
using dbus::Message;
using dbus::ObjectRef;

// What has been read of one node so far.
struct Reading {
  std::optional<std::vector<ObjectRef>> children;
  std::optional<std::uint32_t> role;
  std::optional<std::string> name;
  std::optional<std::vector<std::string>> interfaces;
  std::optional<AttributeValue> value;
  int outstanding = 0;
  bool roleAnswered = false;
  bool interfacesAnswered = false;
};

// The children of `parent` as the walk follows them: the null object is no
// child, and a reference without a bus name lives where its parent does.
std::vector<ObjectRef> childRefs(std::vector<ObjectRef> refs, const std::string& parentPeer) {
  std::vector<ObjectRef> out;
  out.reserve(refs.size());
  for (auto& ref : refs) {
    if (ref.path == kNullPath) continue;
    if (ref.peer.empty()) ref.peer = parentPeer;
    out.push_back(std::move(ref));
  }
  return out;
}

std::optional<AttributeValue> fromVariant(const dbus::Variant& v) {
  switch (v.kind) {
    case dbus::Variant::Kind::kString:
      return v.text;
    case dbus::Variant::Kind::kNumber:
      return v.number;
    case dbus::Variant::Kind::kBool:
      return OtherValue{"boolean"};
    case dbus::Variant::Kind::kOther:
      return OtherValue{v.signature};
  }
  return std::nullopt;
}

Message textCall(const std::string& peer, const std::string& path) {
  Message m = dbus::methodCall(peer, path, kTextInterface, "GetText");
  if (!m) return nullptr;
  dbus_int32_t start = 0, end = -1;
  if (!dbus_message_append_args(m.get(), DBUS_TYPE_INT32, &start, DBUS_TYPE_INT32, &end,
                                DBUS_TYPE_INVALID)) {
    return nullptr;
  }
  return m;
}

// Sends the value call that the node's role and interfaces call for, if any.
void requestValue(Bus& bus, const ObjectRef& object, Reading& r,
                  const std::function<void()>& done) {
  const ValueSource source = valueSource(r.role, r.interfaces);
  if (source == ValueSource::kNone) return;
  ++r.outstanding;
  auto finish = [&r, done] {
    if (--r.outstanding == 0) done();
  };
  switch (source) {
    case ValueSource::kCheckedState:
      bus.call(dbus::methodCall(object.peer, object.path, kAccessible, "GetState"),
               [&r, finish](DBusMessage* reply) {
                 std::vector<std::uint32_t> words;
                 if (dbus::readUint32s(reply, words)) {
                   r.value = hasState(words, kStateChecked) ? 1.0 : 0.0;
                 }
                 finish();
               });
      break;
    case ValueSource::kCurrentValue:
      bus.call(dbus::propertyGet(object.peer, object.path, kValueInterface, "CurrentValue"),
               [&r, finish](DBusMessage* reply) {
                 dbus::Variant v;
                 if (dbus::readVariant(reply, v)) r.value = fromVariant(v);
                 finish();
               });
      break;
    case ValueSource::kText:
      bus.call(textCall(object.peer, object.path), [&r, finish](DBusMessage* reply) {
        std::string text;
        if (dbus::readString(reply, text)) r.value = std::move(text);
        finish();
      });
      break;
    case ValueSource::kNone:
      break;
  }
}

// Sends the calls that read one node: children, role, name and interfaces
// at once, then the value call as soon as role and interfaces are known.
// `done` runs once every answer is in. `r` must outlive the calls.
void requestNode(Bus& bus, const ObjectRef& object, Reading& r, std::function<void()> done) {
  r.outstanding = 4;
  auto finish = [&r, done] {
    if (--r.outstanding == 0) done();
  };
  auto maybeValue = [&bus, object, &r, done, finish] {
    if (r.roleAnswered && r.interfacesAnswered) requestValue(bus, object, r, done);
  };
  // Children first: their calls can go out as soon as this answer is in.
  bus.call(dbus::methodCall(object.peer, object.path, kAccessible, "GetChildren"),
           [&r, finish, peer = object.peer](DBusMessage* reply) {
             std::vector<ObjectRef> refs;
             if (dbus::readObjectRefs(reply, refs)) r.children = childRefs(std::move(refs), peer);
             finish();
           });
  bus.call(dbus::methodCall(object.peer, object.path, kAccessible, "GetRole"),
           [&r, finish, maybeValue](DBusMessage* reply) {
             std::uint32_t role = 0;
             if (dbus::readUint32(reply, role)) r.role = role;
             r.roleAnswered = true;
             maybeValue();
             finish();
           });
  bus.call(dbus::propertyGet(object.peer, object.path, kAccessible, "Name"),
           [&r, finish](DBusMessage* reply) {
             dbus::Variant v;
             if (dbus::readVariant(reply, v) && v.kind == dbus::Variant::Kind::kString) {
               r.name = v.text;
             }
             finish();
           });
  bus.call(dbus::methodCall(object.peer, object.path, kAccessible, "GetInterfaces"),
           [&r, finish, maybeValue](DBusMessage* reply) {
             std::vector<std::string> interfaces;
             if (dbus::readStrings(reply, interfaces)) r.interfaces = std::move(interfaces);
             r.interfacesAnswered = true;
             maybeValue();
             finish();
           });
}

ObjectRef refOf(const ElementRef& element) {
  if (const auto* object = dynamic_cast<const Object*>(element.get())) {
    return {object->peer(), object->path()};
  }
  return {};
}

ElementRef handleOf(const ObjectRef& ref) { return std::make_shared<Object>(ref.peer, ref.path); }

std::vector<ElementRef> handlesOf(const std::vector<ObjectRef>& refs) {
  std::vector<ElementRef> out;
  out.reserve(refs.size());
  for (const auto& ref : refs) out.push_back(handleOf(ref));
  return out;
}

std::string text(const std::optional<std::string>& s) { return s.value_or(std::string()); }

std::string roleText(const std::optional<std::uint32_t>& role) {
  if (!role) return {};
  return roleName(*role).value_or(std::string());
}

// Reads the action names of a GetActions answer, a list of (name,
// description, key binding).
bool readActionNames(DBusMessage* reply, std::vector<std::string>& out) {
  DBusMessageIter it;
  if (reply == nullptr || !dbus_message_iter_init(reply, &it) ||
      dbus_message_iter_get_arg_type(&it) != DBUS_TYPE_ARRAY ||
      dbus_message_iter_get_element_type(&it) != DBUS_TYPE_STRUCT) {
    return false;
  }
  DBusMessageIter items;
  dbus_message_iter_recurse(&it, &items);
  out.clear();
  while (dbus_message_iter_get_arg_type(&items) == DBUS_TYPE_STRUCT) {
    DBusMessageIter field;
    dbus_message_iter_recurse(&items, &field);
    if (dbus_message_iter_get_arg_type(&field) != DBUS_TYPE_STRING) return false;
    const char* name = nullptr;
    dbus_message_iter_get_basic(&field, &name);
    out.push_back(name ? name : "");
    dbus_message_iter_next(&items);
  }
  return true;
}

}  // namespace

std::optional<std::string> roleName(std::uint32_t role) {
  switch (role) {
    case 0:   // invalid
    case 67:  // unknown: a toolkit's way of saying the node has no role
      return std::nullopt;
    case 29:   // label
    case 116:  // static
      return "AXStaticText";
    case 51:
      return "AXSlider";
    case kRoleCheckBox:
      return "AXCheckBox";
    case 43:
      return "AXButton";
    case 39:  // panel
    case 20:  // filler
    case 99:  // grouping
      return "AXGroup";
    case 23:  // frame
    case 69:  // window
    case 16:  // dialog
      return "AXWindow";
    case kRoleApplication:
      return "AXApplication";
    case 44:
      return "AXRadioButton";
    case 61:  // text
    case 79:  // entry
      return "AXTextField";
    case 11:
      return "AXPopUpButton";
    case 129:
      return "AXMenuButton";  // push button menu
    case 27:
      return "AXImage";
    case 63:
      return "AXToolbar";
    case 38:
      return "AXTabGroup";
    case 42:
      return "AXProgressIndicator";
    case 53:
      return "AXSplitter";  // split pane
    case 34:
      return "AXMenuBar";
    case 35:
      return "AXMenuItem";
    case 88:
      return "AXLink";
    case 83:
      return "AXHeading";
    case 62:
      return "AXToggleButton";
    case 33:
      return "AXMenu";
    case 31:
      return "AXList";
    case 48:
      return "AXScrollBar";
    case 49:
      return "AXScrollArea";
    case 52:
      return "AXIncrementor";  // spin button
    case 55:
      return "AXTable";
    default:
      return "AXUnknown";
  }
}

bool hasState(const std::vector<std::uint32_t>& words, std::uint32_t state) {
  const std::size_t word = state / 32;
  return word < words.size() && (words[word] >> (state % 32) & 1u) != 0;
}

ValueSource valueSource(std::optional<std::uint32_t> role,
                        const std::optional<std::vector<std::string>>& interfaces) {
  if (role == kRoleCheckBox) return ValueSource::kCheckedState;
  if (!interfaces) return ValueSource::kNone;
  auto has = [&](const char* name) {
    return std::find(interfaces->begin(), interfaces->end(), name) != interfaces->end();
  };
  if (has(kValueInterface)) return ValueSource::kCurrentValue;
  if (has(kTextInterface)) return ValueSource::kText;
  return ValueSource::kNone;
}

Accessibility::Accessibility(Clock& clock, Options options) : clock_(clock), options_(options) {}

Accessibility::~Accessibility() = default;

std::uint64_t Accessibility::calls() const { return bus_ ? bus_->callsSent() : 0; }

dbus::Bus* Accessibility::bus() {
  if (triedBus_) return bus_.get();
  triedBus_ = true;
  std::string address;
  if (const char* fromEnvironment = std::getenv("AT_SPI_BUS_ADDRESS")) {
    address = fromEnvironment;
  } else if (auto session = Bus::session(clock_, options_.bus)) {
    session->call(dbus::methodCall("org.a11y.Bus", "/org/a11y/bus", "org.a11y.Bus", "GetAddress"),
                  [&address](DBusMessage* reply) { dbus::readString(reply, address); });
    session->run();
  }
  if (!address.empty()) bus_ = Bus::connect(address, clock_, options_.bus);
  return bus_.get();
}

bool Accessibility::isProcessTrusted() {
  auto session = Bus::session(clock_, options_.bus);
  if (!session) return false;
  bool enabled = false;
  session->call(dbus::propertyGet("org.a11y.Bus", "/org/a11y/bus", "org.a11y.Status", "IsEnabled"),
                [&enabled](DBusMessage* reply) {
                  dbus::Variant v;
                  enabled =
                      dbus::readVariant(reply, v) && v.kind == dbus::Variant::Kind::kBool && v.flag;
                });
  session->run();
  return enabled;
}

std::vector<ProcessId> Accessibility::runningApplications(const std::string& bundleIdentifier) {
  if (bundleIdentifier != kResolveBundleIdentifier) return {};
  Bus* b = bus();
  if (b == nullptr) return {};
  std::vector<ObjectRef> apps;
  b->call(dbus::methodCall(kRegistry, kRootPath, kAccessible, "GetChildren"),
          [&apps](DBusMessage* reply) { dbus::readObjectRefs(reply, apps); });
  b->run();
  struct App {
    std::optional<std::string> name;
    std::optional<std::uint32_t> pid;
  };
  std::vector<App> found(apps.size());
  for (std::size_t i = 0; i < apps.size(); ++i) {
    App& app = found[i];
    b->call(dbus::propertyGet(apps[i].peer, apps[i].path, kAccessible, "Name"),
            [&app](DBusMessage* reply) {
              dbus::Variant v;
              if (dbus::readVariant(reply, v) && v.kind == dbus::Variant::Kind::kString) {
                app.name = v.text;
              }
            });
    Message pidCall = dbus::validPeer(apps[i].peer)
                          ? dbus::methodCall(DBUS_SERVICE_DBUS, DBUS_PATH_DBUS, DBUS_INTERFACE_DBUS,
                                             "GetConnectionUnixProcessID")
                          : nullptr;
    if (pidCall) {
      const char* peer = apps[i].peer.c_str();
      if (!dbus_message_append_args(pidCall.get(), DBUS_TYPE_STRING, &peer, DBUS_TYPE_INVALID)) {
        pidCall.reset();
      }
    }
    b->call(std::move(pidCall), [&app](DBusMessage* reply) {
      std::uint32_t pid = 0;
      if (dbus::readUint32(reply, pid)) app.pid = pid;
    });
  }
  b->run();
  applications_.clear();
  std::vector<ProcessId> pids;
  const auto& names = resolveApplicationNames();
  for (std::size_t i = 0; i < apps.size(); ++i) {
    const App& app = found[i];
    if (!app.name || !app.pid) continue;
    if (std::find(names.begin(), names.end(), *app.name) == names.end()) continue;
    pids.push_back(*app.pid);
    applications_.emplace_back(*app.pid, apps[i].peer);
  }
  return pids;
}

ElementRef Accessibility::applicationElement(ProcessId pid) {
  auto find = [&]() -> const std::string* {
    for (const auto& [known, peer] : applications_) {
      if (known == pid) return &peer;
    }
    return nullptr;
  };
  const std::string* peer = find();
  if (peer == nullptr) {
    runningApplications(kResolveBundleIdentifier);
    peer = find();
  }
  return std::make_shared<Object>(peer ? *peer : std::string(), kRootPath);
}

std::optional<AttributeValue> Accessibility::attribute(const ElementRef& element,
                                                       const std::string& name) {
  Bus* b = bus();
  if (b == nullptr) return std::nullopt;
  const ObjectRef object = refOf(element);
  // One attribute costs only the calls it needs.
  if (name == kRole) {
    std::optional<std::string> role;
    b->call(dbus::methodCall(object.peer, object.path, kAccessible, "GetRole"),
            [&role](DBusMessage* reply) {
              std::uint32_t r = 0;
              if (dbus::readUint32(reply, r)) role = roleName(r);
            });
    b->run();
    if (!role) return std::nullopt;
    return *role;
  }
  if (name == kDescription) {
    std::optional<AttributeValue> description;
    b->call(dbus::propertyGet(object.peer, object.path, kAccessible, "Name"),
            [&description](DBusMessage* reply) {
              dbus::Variant v;
              if (dbus::readVariant(reply, v) && v.kind == dbus::Variant::Kind::kString) {
                description = v.text;
              }
            });
    b->run();
    return description;
  }
  if (name == kChildren) {
    std::optional<AttributeValue> children;
    b->call(dbus::methodCall(object.peer, object.path, kAccessible, "GetChildren"),
            [&children, &object](DBusMessage* reply) {
              std::vector<ObjectRef> refs;
              if (dbus::readObjectRefs(reply, refs)) {
                children = handlesOf(childRefs(std::move(refs), object.peer));
              }
            });
    b->run();
    return children;
  }
  if (name == kValue) {
    Reading r;
    r.outstanding = 2;
    auto maybeValue = [b, &object, &r] {
      if (--r.outstanding == 0) requestValue(*b, object, r, [] {});
    };
    b->call(dbus::methodCall(object.peer, object.path, kAccessible, "GetRole"),
            [&r, maybeValue](DBusMessage* reply) {
              std::uint32_t role = 0;
              if (dbus::readUint32(reply, role)) r.role = role;
              maybeValue();
            });
    b->call(dbus::methodCall(object.peer, object.path, kAccessible, "GetInterfaces"),
            [&r, maybeValue](DBusMessage* reply) {
              std::vector<std::string> interfaces;
              if (dbus::readStrings(reply, interfaces)) r.interfaces = std::move(interfaces);
              maybeValue();
            });
    b->run();
    return std::move(r.value);
  }
  if (name != kWindows && name != kFocusedWindow) return std::nullopt;

  // Windows are the children of an application element.
  std::optional<std::uint32_t> role;
  std::optional<std::vector<ObjectRef>> windows;
  b->call(dbus::methodCall(object.peer, object.path, kAccessible, "GetRole"),
          [&role](DBusMessage* reply) {
            std::uint32_t r = 0;
            if (dbus::readUint32(reply, r)) role = r;
          });
  b->call(dbus::methodCall(object.peer, object.path, kAccessible, "GetChildren"),
          [&windows, &object](DBusMessage* reply) {
            std::vector<ObjectRef> refs;
            if (dbus::readObjectRefs(reply, refs))
              windows = childRefs(std::move(refs), object.peer);
          });
  b->run();
  if (role != kRoleApplication || !windows) return std::nullopt;
  if (name == kWindows) return handlesOf(*windows);

  // The focused window is the one the application reports active.
  std::vector<std::optional<bool>> active(windows->size());
  for (std::size_t i = 0; i < windows->size(); ++i) {
    const ObjectRef& w = (*windows)[i];
    b->call(dbus::methodCall(w.peer, w.path, kAccessible, "GetState"),
            [&active, i](DBusMessage* reply) {
              std::vector<std::uint32_t> words;
              if (dbus::readUint32s(reply, words)) active[i] = hasState(words, kStateActive);
            });
  }
  b->run();
  for (std::size_t i = 0; i < windows->size(); ++i) {
    if (active[i].value_or(false)) return handleOf((*windows)[i]);
  }
  return std::nullopt;
}

NodeReading Accessibility::readNode(const ElementRef& element) {
  NodeReading out;
  Bus* b = bus();
  if (b == nullptr) return out;
  const ObjectRef object = refOf(element);
  Reading r;
  requestNode(*b, object, r, [] {});
  b->run();
  if (r.role) {
    if (auto role = roleName(*r.role)) out.role = *role;
  }
  if (r.name) out.description = *r.name;
  out.value = std::move(r.value);
  if (r.children) out.children = handlesOf(*r.children);
  return out;
}

std::vector<Element> Accessibility::flatten(const ElementRef& root, std::size_t limit) {
  std::vector<Element> list;
  Bus* b = bus();
  if (limit == 0 || !root) return list;
  if (b == nullptr) {
    // Nothing can be read: the root alone, with every attribute missing.
    list.push_back(Element{root, {}, {}, std::nullopt});
    return list;
  }

  // Every node met so far. A node's key is its path of child indices from the
  // root; pre-order is the keys' lexicographic order, so issuing the smallest
  // key first reads the window in the order the list needs it.
  struct Node {
    ObjectRef object;
    ElementRef handle;
    std::vector<std::uint32_t> key;
    std::vector<std::size_t> children;
    Reading reading;
    bool done = false;
  };
  std::deque<Node> nodes;
  auto later = [&nodes](std::size_t a, std::size_t b) { return nodes[a].key > nodes[b].key; };
  std::priority_queue<std::size_t, std::vector<std::size_t>, decltype(later)> ready(later);

  // The list grows along a pre-order cursor that stops at the first node not
  // yet fully read.
  struct Frame {
    std::size_t node;
    std::size_t next;
  };
  std::vector<Frame> cursor;
  bool rootListed = false;
  bool finished = false;
  auto emit = [&](std::size_t i) {
    Node& n = nodes[i];
    list.push_back(Element{n.handle, roleText(n.reading.role), text(n.reading.name),
                           std::move(n.reading.value)});
  };
  auto advance = [&] {
    if (finished) return;
    if (!rootListed) {
      if (!nodes[0].done) return;
      emit(0);
      rootListed = true;
      cursor.push_back({0, 0});
    }
    while (!cursor.empty() && list.size() < limit) {
      Frame& top = cursor.back();
      const Node& n = nodes[top.node];
      if (top.next >= n.children.size()) {
        cursor.pop_back();
        continue;
      }
      const std::size_t child = n.children[top.next];
      if (!nodes[child].done) return;
      ++top.next;
      emit(child);
      cursor.push_back({child, 0});
    }
    finished = true;
    // Whatever is still in flight lies beyond the list: drop it.
    b->abandon();
  };

  std::function<void(std::size_t)> issue = [&](std::size_t i) {
    Node& n = nodes[i];
    requestNode(*b, n.object, n.reading, [&, i] {
      Node& node = nodes[i];
      if (node.reading.children) {
        const auto& refs = *node.reading.children;
        for (std::uint32_t c = 0; c < refs.size(); ++c) {
          Node child;
          child.object = refs[c];
          child.handle = handleOf(refs[c]);
          child.key = node.key;
          child.key.push_back(c);
          node.children.push_back(nodes.size());
          nodes.push_back(std::move(child));
          ready.push(nodes.size() - 1);
        }
      }
      std::vector<std::uint32_t>().swap(node.key);
      node.done = true;
      advance();
    });
  };

  nodes.push_back(Node{refOf(root), root, {}, {}, {}, false});
  ready.push(0);
  b->run([&] {
    while (!finished && b->hasRoom() && !ready.empty()) {
      const std::size_t next = ready.top();
      ready.pop();
      issue(next);
    }
  });
  return list;
}

bool Accessibility::press(const ElementRef& element) {
  Bus* b = bus();
  if (b == nullptr) return false;
  const ObjectRef object = refOf(element);
  std::optional<std::vector<std::uint32_t>> state;
  std::optional<std::uint32_t> role;
  std::optional<std::vector<std::string>> actions;
  b->call(dbus::methodCall(object.peer, object.path, kAccessible, "GetState"),
          [&state](DBusMessage* reply) {
            std::vector<std::uint32_t> words;
            if (dbus::readUint32s(reply, words)) state = std::move(words);
          });
  b->call(dbus::methodCall(object.peer, object.path, kAccessible, "GetRole"),
          [&role](DBusMessage* reply) {
            std::uint32_t r = 0;
            if (dbus::readUint32(reply, r)) role = r;
          });
  b->call(dbus::methodCall(object.peer, object.path, kActionInterface, "GetActions"),
          [&actions](DBusMessage* reply) {
            std::vector<std::string> names;
            if (readActionNames(reply, names)) actions = std::move(names);
          });
  b->run();
  // A control that is not enabled refuses, as does one without the action.
  if (!state || !hasState(*state, kStateEnabled) || !actions) return false;
  auto index = std::find(actions->begin(), actions->end(), "Press");
  if (index == actions->end() && role == kRoleCheckBox) {
    index = std::find(actions->begin(), actions->end(), "Toggle");
  }
  if (index == actions->end()) return false;
  Message doAction = dbus::methodCall(object.peer, object.path, kActionInterface, "DoAction");
  const dbus_int32_t position = static_cast<dbus_int32_t>(index - actions->begin());
  if (doAction &&
      !dbus_message_append_args(doAction.get(), DBUS_TYPE_INT32, &position, DBUS_TYPE_INVALID)) {
    doAction.reset();
  }
  bool accepted = false;
  b->call(std::move(doAction), [&accepted](DBusMessage* reply) {
    bool done = false;
    accepted = dbus::readBool(reply, done) && done;
  });
  b->run();
  return accepted;
}

bool Accessibility::setValue(const ElementRef& element, double value) {
  Bus* b = bus();
  if (b == nullptr) return false;
  const ObjectRef object = refOf(element);
  std::optional<std::vector<std::uint32_t>> state;
  std::optional<std::vector<std::string>> interfaces;
  b->call(dbus::methodCall(object.peer, object.path, kAccessible, "GetState"),
          [&state](DBusMessage* reply) {
            std::vector<std::uint32_t> words;
            if (dbus::readUint32s(reply, words)) state = std::move(words);
          });
  b->call(dbus::methodCall(object.peer, object.path, kAccessible, "GetInterfaces"),
          [&interfaces](DBusMessage* reply) {
            std::vector<std::string> names;
            if (dbus::readStrings(reply, names)) interfaces = std::move(names);
          });
  b->run();
  if (!state || !hasState(*state, kStateEnabled) || !interfaces ||
      std::find(interfaces->begin(), interfaces->end(), kValueInterface) == interfaces->end()) {
    return false;
  }
  // The property, not the SetCurrentValue method: some toolkits deliver the
  // method's argument as 0.
  Message set = dbus::methodCall(object.peer, object.path, DBUS_INTERFACE_PROPERTIES, "Set");
  if (set) {
    DBusMessageIter it, variant;
    const char* interface = kValueInterface;
    const char* property = "CurrentValue";
    dbus_message_iter_init_append(set.get(), &it);
    bool built = dbus_message_iter_append_basic(&it, DBUS_TYPE_STRING, &interface) &&
                 dbus_message_iter_append_basic(&it, DBUS_TYPE_STRING, &property) &&
                 dbus_message_iter_open_container(&it, DBUS_TYPE_VARIANT, "d", &variant);
    if (built) {
      built = dbus_message_iter_append_basic(&variant, DBUS_TYPE_DOUBLE, &value);
      built = dbus_message_iter_close_container(&it, &variant) && built;
    }
    if (!built) set.reset();
  }
  bool accepted = false;
  b->call(std::move(set), [&accepted](DBusMessage* reply) { accepted = reply != nullptr; });
  b->run();
  return accepted;
}

bool Accessibility::sameElement(const ElementRef& a, const ElementRef& b) {
  const auto* x = dynamic_cast<const Object*>(a.get());
  const auto* y = dynamic_cast<const Object*>(b.get());
  if (x == nullptr || y == nullptr) return a == b;
  return x->peer() == y->peer() && x->path() == y->path();
}

}  // namespace trovemark::ax::atspi
