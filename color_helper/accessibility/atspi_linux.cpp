#include "color_helper/accessibility/atspi_linux.h"

#include <algorithm>
#include <cstdlib>
#include <deque>
#include <functional>
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

using dbus::Bus;
using dbus::Message;
using dbus::ObjectRef;

// The protocol's names of its roles, by role number (as at-spi2-core's role
// table has them). A role beyond the table is named by its number.
constexpr const char* kRoleNames[] = {
    "invalid",
    "accelerator label",
    "alert",
    "animation",
    "arrow",
    "calendar",
    "canvas",
    "check box",
    "check menu item",
    "color chooser",
    "column header",
    "combo box",
    "date editor",
    "desktop icon",
    "desktop frame",
    "dial",
    "dialog",
    "directory pane",
    "drawing area",
    "file chooser",
    "filler",
    "focus traversable",
    "font chooser",
    "frame",
    "glass pane",
    "html container",
    "icon",
    "image",
    "internal frame",
    "label",
    "layered pane",
    "list",
    "list item",
    "menu",
    "menu bar",
    "menu item",
    "option pane",
    "page tab",
    "page tab list",
    "panel",
    "password text",
    "popup menu",
    "progress bar",
    "push button",
    "radio button",
    "radio menu item",
    "root pane",
    "row header",
    "scroll bar",
    "scroll pane",
    "separator",
    "slider",
    "spin button",
    "split pane",
    "status bar",
    "table",
    "table cell",
    "table column header",
    "table row header",
    "tearoff menu item",
    "terminal",
    "text",
    "toggle button",
    "tool bar",
    "tool tip",
    "tree",
    "tree table",
    "unknown",
    "viewport",
    "window",
    "extended",
    "header",
    "footer",
    "paragraph",
    "ruler",
    "application",
    "autocomplete",
    "editbar",
    "embedded",
    "entry",
    "chart",
    "caption",
    "document frame",
    "heading",
    "page",
    "section",
    "redundant object",
    "form",
    "link",
    "input method window",
    "table row",
    "tree item",
    "document spreadsheet",
    "document presentation",
    "document text",
    "document web",
    "document email",
    "comment",
    "list box",
    "grouping",
    "image map",
    "notification",
    "info bar",
    "level bar",
    "title bar",
    "block quote",
    "audio",
    "video",
    "definition",
    "article",
    "landmark",
    "log",
    "marquee",
    "math",
    "rating",
    "timer",
    "static",
    "math fraction",
    "math root",
    "subscript",
    "superscript",
    "description list",
    "description term",
    "description value",
    "footnote",
    "content deletion",
    "content insertion",
    "mark",
    "suggestion",
    "push button menu",
};

// The role numbers the port gives a kind of their own.
constexpr std::uint32_t kRoleInvalid = 0;
constexpr std::uint32_t kRoleLabel = 29;
constexpr std::uint32_t kRolePushButton = 43;
constexpr std::uint32_t kRoleSlider = 51;
constexpr std::uint32_t kRoleStatic = 116;

// What one node's calls have brought back so far.
struct Answers {
  Attributes fields;  // what is being read
  // A walk that can list only so many more nodes reads a child list no
  // further; without it the list is read whole, up to dbus::kMaxListItems.
  std::optional<std::size_t> keepChildren;
  std::optional<std::vector<ObjectRef>> children;
  std::optional<std::uint32_t> role;
  std::optional<std::string> name;
  std::optional<Value> value;  // none until a read of it answers
  int outstanding = 0;
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

Value fromVariant(const dbus::Variant& v) {
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
  return {};
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

// Reads one node: its role always, the rest as `fields` asks, and, once the
// role is known, whatever `plan` (when given) names for it. `done` runs once
// every answer is in. `r` must outlive the calls; they go out in `group`.
class NodeReader {
 public:
  NodeReader(Bus& bus, Bus::Group group) : bus_(bus), group_(group) {}

  void read(const ObjectRef& object, Answers& r, Attributes fields, const ReadingPlan* plan,
            std::function<void()> done) {
    r.fields = fields;
    r.outstanding = 1;
    auto finish = [&r, done] {
      if (--r.outstanding == 0) done();
    };
    // Children first: their calls can go out as soon as this answer is in.
    if (fields.has(Attribute::kChildren)) {
      ++r.outstanding;
      bus_.call(
          dbus::methodCall(object.peer, object.path, kAccessible, "GetChildren"),
          [&r, finish, peer = object.peer](DBusMessage* reply) {
            std::vector<ObjectRef> refs;
            if (r.keepChildren) {
              if (dbus::forEachObjectRef(reply, [&](ObjectRef&& ref) {
                    if (ref.path == kNullPath) return true;
                    if (refs.size() == *r.keepChildren) return false;
                    refs.push_back(std::move(ref));
                    return true;
                  })) {
                r.children = childRefs(std::move(refs), peer);
              }
            } else if (dbus::readObjectRefs(reply, refs)) {
              r.children = childRefs(std::move(refs), peer);
            }
            finish();
          },
          group_);
    }
    // The value's source depends on the role, and so may the plan.
    if (plan == nullptr && !fields.has(Attribute::kRole) && !fields.has(Attribute::kValue)) {
      afterRole(object, r, finish);
      return;
    }
    bus_.call(
        dbus::methodCall(object.peer, object.path, kAccessible, "GetRole"),
        [this, object, &r, plan, finish](DBusMessage* reply) {
          std::uint32_t role = 0;
          if (dbus::readUint32(reply, role)) r.role = role;
          if (plan != nullptr) r.fields |= plan->attributesFor(roleOf(r.role.value_or(0)));
          afterRole(object, r, finish);
        },
        group_);
  }

 private:
  void afterRole(const ObjectRef& object, Answers& r, const std::function<void()>& finish) {
    if (r.fields.has(Attribute::kDescription)) readName(object, r, finish);
    if (r.fields.has(Attribute::kValue)) readValue(object, r, finish);
    finish();
  }

  void readName(const ObjectRef& object, Answers& r, const std::function<void()>& finish) {
    ++r.outstanding;
    bus_.call(
        dbus::propertyGet(object.peer, object.path, kAccessible, "Name"),
        [&r, finish](DBusMessage* reply) {
          dbus::Variant v;
          if (dbus::readVariant(reply, v) && v.kind == dbus::Variant::Kind::kString) {
            r.name = v.text;
          }
          finish();
        },
        group_);
  }

  // A check box's value is its checked state; any other node's comes from
  // the Value or Text interface, whichever it offers first. A static text
  // offers Text and a slider Value, so theirs is read at once, and only a
  // node that does not answer that read has its interfaces asked: one call
  // less for each. A static text that offers both reads as its text.
  void readValue(const ObjectRef& object, Answers& r, const std::function<void()>& finish) {
    ++r.outstanding;
    const ValueSource likely = likelySource(r.role);
    if (likely == ValueSource::kNone) {
      readInterfaces(object, r, likely, finish);
      return;
    }
    if (likely == ValueSource::kCheckedState) {
      sendValueCall(object, r, likely, finish);
      return;
    }
    sendValueCall(object, r, likely, [this, object, &r, likely, finish] {
      if (r.value) {
        finish();
      } else {
        readInterfaces(object, r, likely, finish);
      }
    });
  }

  static ValueSource likelySource(const std::optional<std::uint32_t>& role) {
    if (role == kRoleCheckBox) return ValueSource::kCheckedState;
    if (role == kRoleLabel || role == kRoleStatic) return ValueSource::kText;
    if (role == kRoleSlider) return ValueSource::kCurrentValue;
    return ValueSource::kNone;
  }

  // The value from the interface the node lists first, unless that is the
  // one already `tried` without an answer.
  void readInterfaces(const ObjectRef& object, Answers& r, ValueSource tried,
                      const std::function<void()>& finish) {
    bus_.call(
        dbus::methodCall(object.peer, object.path, kAccessible, "GetInterfaces"),
        [this, object, &r, tried, finish](DBusMessage* reply) {
          std::optional<std::vector<std::string>> interfaces(std::in_place);
          if (!dbus::readStrings(reply, *interfaces)) interfaces.reset();
          const ValueSource source = valueSource(r.role, interfaces);
          if (source == ValueSource::kNone || source == tried) {
            finish();
          } else {
            sendValueCall(object, r, source, finish);
          }
        },
        group_);
  }

  void sendValueCall(const ObjectRef& object, Answers& r, ValueSource source,
                     const std::function<void()>& finish) {
    switch (source) {
      case ValueSource::kCheckedState:
        bus_.call(
            dbus::methodCall(object.peer, object.path, kAccessible, "GetState"),
            [&r, finish](DBusMessage* reply) {
              std::vector<std::uint32_t> words;
              if (dbus::readUint32s(reply, words)) {
                r.value = hasState(words, kStateChecked) ? 1.0 : 0.0;
              }
              finish();
            },
            group_);
        return;
      case ValueSource::kCurrentValue:
        bus_.call(
            dbus::propertyGet(object.peer, object.path, kValueInterface, "CurrentValue"),
            [&r, finish](DBusMessage* reply) {
              dbus::Variant v;
              if (dbus::readVariant(reply, v)) r.value = fromVariant(v);
              finish();
            },
            group_);
        return;
      case ValueSource::kText:
        bus_.call(
            textCall(object.peer, object.path),
            [&r, finish](DBusMessage* reply) {
              std::string text;
              if (dbus::readString(reply, text)) r.value = std::move(text);
              finish();
            },
            group_);
        return;
      case ValueSource::kNone:
        finish();
        return;
    }
  }

  Bus& bus_;
  Bus::Group group_;
};

// Calls that one operation waits for, leaving other calls (a walk's reading
// ahead) in flight.
class Batch {
 public:
  explicit Batch(Bus& bus) : bus_(bus) {}
  void call(Message message, dbus::ReplyHandler handler) {
    ++left_;
    bus_.call(std::move(message), [this, handler = std::move(handler)](DBusMessage* reply) {
      handler(reply);
      --left_;
    });
  }
  void wait() {
    bus_.runUntil([this] { return left_ == 0; });
  }

 private:
  Bus& bus_;
  int left_ = 0;
};

// Makes calls 0 to count - 1 through `send`, as many at once as there is room
// for, until `done` holds or every one is answered; what is still in flight
// then is dropped.
void callEach(Bus& bus, std::size_t count, const std::function<void(std::size_t, Bus::Group)>& send,
              const std::function<bool()>& done = {}) {
  const Bus::Group group = bus.newGroup();
  std::size_t sent = 0;
  bus.runUntil(done, [&] {
    while (sent < count && bus.hasRoom() && !(done && done())) send(sent++, group);
  });
  bus.abandon(group);
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

// The port's reading of what the protocol brought back.
Reading portReading(Answers& r) {
  Reading out;
  out.covered = r.fields;
  if (r.fields.has(Attribute::kRole) && r.role) out.role = roleOf(*r.role);
  if (r.fields.has(Attribute::kDescription)) out.description = std::move(r.name);
  if (r.fields.has(Attribute::kValue) && r.value) out.value = std::move(*r.value);
  if (r.fields.has(Attribute::kChildren) && r.children) out.children = handlesOf(*r.children);
  return out;
}

// The walk of a window, read ahead in pre-order with many calls in flight and
// produced in order as its reader asks. Reading stops when the reader has
// what it wants (the walk is destroyed) or the walk has ended; what is then
// still in flight is dropped.
//
// What it keeps is bounded by the limit whatever the tree: a node's children
// beyond what could still be listed are dropped as they come, and of all the
// nodes known but not yet listed only as many as could still be listed are
// kept, the first in pre-order. A tree whose child lists name an ancestor is
// walked as the node-by-node walk walks it, down the repeats until the limit.
class PipelinedWalk final : public WalkSource {
 public:
  // How far ahead of the list the walk may read: deep enough to keep the
  // peer busy (each node is two to four calls), shallow enough that little
  // is read in vain when the reader stops.
  static constexpr std::size_t kReadAheadNodes = 64;

  PipelinedWalk(Bus& bus, const ElementRef& root, std::size_t limit, const ReadingPlan& plan)
      : bus_(bus), group_(bus.newGroup()), reader_(bus, group_), limit_(limit), plan_(plan) {
    if (limit_ == 0 || !root) {
      finished_ = true;
      return;
    }
    root_ = std::make_shared<Node>();
    root_->object = refOf(root);
    root_->handle = root;
  }

  ~PipelinedWalk() override { bus_.abandon(group_); }

  std::optional<Element> next() override {
    if (out_.empty() && !finished_) {
      bus_.runUntil([this] { return !out_.empty() || finished_; }, [this] { feed(); });
    }
    if (out_.empty()) {
      // Nothing more can come (the bus has nothing left to answer).
      finish();
      return std::nullopt;
    }
    Element element = std::move(out_.front());
    out_.pop_front();
    return element;
  }

 private:
  // A node met by the walk. Nodes known but not yet listed hang below the
  // cursor; a listed node is kept only while its subtree is being listed.
  struct Node {
    ObjectRef object;
    ElementRef handle;  // the root's; the others get theirs when listed
    Answers reading;
    std::vector<std::shared_ptr<Node>> children;  // once done
    bool issued = false;
    bool done = false;
  };
  using NodePtr = std::shared_ptr<Node>;
  // The list grows along a pre-order cursor that stops at the first node not
  // yet fully read: the listed nodes whose children are being listed.
  struct Frame {
    NodePtr node;
    std::size_t next;
  };

  // Calls `visit` on the nodes known but not listed, in pre-order, until it
  // returns false. A node's children are known once it is done.
  template <typename Visit>
  void ahead(Visit&& visit) {
    if (!rootListed_) {
      if (root_) visitTree(root_, visit);
      return;
    }
    for (auto f = cursor_.rbegin(); f != cursor_.rend(); ++f) {
      const auto& children = f->node->children;
      for (std::size_t i = f->next; i < children.size(); ++i) {
        if (!visitTree(children[i], visit)) return;
      }
    }
  }
  template <typename Visit>
  static bool visitTree(const NodePtr& n, Visit& visit) {
    if (!visit(n)) return false;
    if (n->done) {
      for (const auto& child : n->children) {
        if (!visitTree(child, visit)) return false;
      }
    }
    return true;
  }

  // Reads the first unread nodes in pre-order among the first
  // kReadAheadNodes known, while fewer than that have been read beyond the
  // list. The very first is read whatever else is, so that the walk never
  // waits on a node it has not asked for. Nodes read in vain (cut, or beyond
  // the limit) stay counted, so the walk never reads more than
  // kReadAheadNodes beyond what it lists.
  void feed() {
    if (finished_ || !bus_.hasRoom()) return;
    std::size_t rank = 0;
    ahead([&](const NodePtr& n) {
      if (!n->issued && (rank == 0 || issued_ - produced_ < kReadAheadNodes)) issue(n);
      return ++rank < kReadAheadNodes && bus_.hasRoom() && issued_ - produced_ < kReadAheadNodes;
    });
  }

  void issue(const NodePtr& n) {
    n->issued = true;
    ++issued_;
    n->reading.keepChildren = limit_ - produced_;
    reader_.read(n->object, n->reading, Attribute::kRole | Attribute::kChildren, &plan_, [this, n] {
      n->done = true;
      if (n->reading.children) {
        for (ObjectRef& ref : *n->reading.children) {
          n->children.push_back(std::make_shared<Node>());
          n->children.back()->object = std::move(ref);
        }
        known_ += n->children.size();
        n->reading.children.reset();
      }
      if (known_ > 2 * (limit_ - produced_) + kReadAheadNodes) prune();
      advance();
    });
  }

  // Keeps, of the nodes known but not listed, as many as can still be listed,
  // the first in pre-order. Nodes found later only push the others further
  // back, so a node cut here could never have been listed.
  void prune() {
    if (!rootListed_) return;
    const std::size_t room = limit_ - produced_;
    std::size_t kept = 0;
    auto cut = [&](auto& self, Node& n, std::size_t from) -> void {
      for (std::size_t i = from; i < n.children.size(); ++i) {
        if (kept == room) {
          n.children.resize(i);
          return;
        }
        ++kept;
        if (n.children[i]->done) self(self, *n.children[i], 0);
      }
    };
    for (auto f = cursor_.rbegin(); f != cursor_.rend(); ++f) cut(cut, *f->node, f->next);
    known_ = kept;
  }

  void emit(const NodePtr& n) {
    Answers& r = n->reading;
    ElementRef handle =
        n->handle ? n->handle
                  : std::make_shared<Object>(std::move(n->object.peer), std::move(n->object.path));
    Element element{std::move(handle), r.role ? roleOf(*r.role) : Role{}, std::nullopt,
                    std::nullopt};
    if (r.fields.has(Attribute::kDescription)) element.description = r.name.value_or(std::string());
    if (r.fields.has(Attribute::kValue)) element.value = std::move(r.value).value_or(Value{});
    out_.push_back(std::move(element));
    ++produced_;
  }

  void advance() {
    if (finished_) return;
    if (!rootListed_) {
      if (!root_->done) return;
      emit(root_);
      rootListed_ = true;
      cursor_.push_back({root_, 0});
    }
    while (!cursor_.empty() && produced_ < limit_) {
      Frame& top = cursor_.back();
      auto& children = top.node->children;
      if (top.next >= children.size()) {
        cursor_.pop_back();
        continue;
      }
      if (!children[top.next]->done) return;
      NodePtr child = std::move(children[top.next++]);
      --known_;
      emit(child);
      cursor_.push_back({std::move(child), 0});
    }
    finish();
  }

  void finish() {
    if (finished_) return;
    finished_ = true;
    // Whatever is still in flight lies beyond the walk: drop it.
    bus_.abandon(group_);
    root_.reset();
    cursor_.clear();
  }

  Bus& bus_;
  Bus::Group group_;
  NodeReader reader_;
  std::size_t limit_;
  ReadingPlan plan_;
  NodePtr root_;
  std::vector<Frame> cursor_;
  std::deque<Element> out_;
  std::size_t produced_ = 0;
  std::size_t issued_ = 0;
  std::size_t known_ = 0;  // nodes known, not yet listed
  bool rootListed_ = false;
  bool finished_ = false;
};

}  // namespace

Role roleOf(std::uint32_t role) {
  if (role == kRoleInvalid) return {};
  const std::string name =
      role < std::size(kRoleNames) ? std::string(kRoleNames[role]) : "role " + std::to_string(role);
  switch (role) {
    case kRoleLabel:
    case kRoleStatic:
      return {RoleKind::kStaticText, name};
    case kRoleSlider:
      return {RoleKind::kSlider, name};
    case kRoleCheckBox:
      return {RoleKind::kCheckBox, name};
    case kRolePushButton:
      return {RoleKind::kButton, name};
    default:
      return {RoleKind::kOther, name};
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

Options busesNamedIn(const std::map<std::string, std::string>& environment) {
  auto named = [&environment](const char* name) -> std::optional<std::string> {
    const auto found = environment.find(name);
    if (found == environment.end()) return std::nullopt;
    return found->second;
  };
  Options options;
  options.sessionBus = named("DBUS_SESSION_BUS_ADDRESS");
  options.accessibilityBus = named("AT_SPI_BUS_ADDRESS");
  return options;
}

Accessibility::Accessibility(Clock& clock, Options options)
    : clock_(clock), options_(std::move(options)), budget_{options_.waitBudget} {
  options_.bus.budget = &budget_;
}

Accessibility::~Accessibility() = default;

std::uint64_t Accessibility::calls() const { return bus_ ? bus_->callsSent() : 0; }

std::unique_ptr<Bus> Accessibility::session() {
  if (!options_.sessionBus) return nullptr;
  return options_.connect(*options_.sessionBus, clock_, options_.bus);
}

dbus::Bus* Accessibility::bus() {
  if (triedBus_) return bus_.get();
  triedBus_ = true;
  std::string address;
  if (options_.accessibilityBus) {
    address = *options_.accessibilityBus;
  } else if (auto session = this->session()) {
    session->call(dbus::methodCall("org.a11y.Bus", "/org/a11y/bus", "org.a11y.Bus", "GetAddress"),
                  [&address](DBusMessage* reply) { dbus::readString(reply, address); });
    session->run();
  }
  if (!address.empty()) bus_ = options_.connect(address, clock_, options_.bus);
  return bus_.get();
}

bool Accessibility::isProcessTrusted() {
  auto session = this->session();
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

std::vector<ProcessId> Accessibility::runningApplications(const Application& application) {
  applications_.clear();
  Bus* b = bus();
  if (b == nullptr) return {};
  std::vector<ObjectRef> apps;
  Batch listing(*b);
  listing.call(dbus::methodCall(kRegistry, kRootPath, kAccessible, "GetChildren"),
               [&apps](DBusMessage* reply) { dbus::readObjectRefs(reply, apps); });
  listing.wait();
  struct App {
    std::optional<std::string> name;  // when it is one of the application's
    std::optional<std::uint32_t> pid;
  };
  std::vector<App> found(apps.size());
  const auto& names = application.registeredNames;
  callEach(*b, apps.size(), [&](std::size_t i, Bus::Group group) {
    App& app = found[i];
    b->call(
        dbus::propertyGet(apps[i].peer, apps[i].path, kAccessible, "Name"),
        [&app, &names](DBusMessage* reply) {
          dbus::Variant v;
          if (dbus::readVariant(reply, v) && v.kind == dbus::Variant::Kind::kString &&
              std::find(names.begin(), names.end(), v.text) != names.end()) {
            app.name = v.text;
          }
        },
        group);
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
    b->call(
        std::move(pidCall),
        [&app](DBusMessage* reply) {
          std::uint32_t pid = 0;
          if (dbus::readUint32(reply, pid)) app.pid = pid;
        },
        group);
  });
  std::vector<ProcessId> pids;
  for (std::size_t i = 0; i < apps.size(); ++i) {
    const App& app = found[i];
    if (!app.name || !app.pid) continue;
    pids.push_back(*app.pid);
    applications_.push_back({*app.pid, apps[i].peer, *app.name});
  }
  return pids;
}

std::string Accessibility::registeredName(ProcessId pid) {
  for (const Listed& listed : applications_) {
    if (listed.pid == pid) return listed.name;
  }
  return {};
}

ElementRef Accessibility::applicationElement(ProcessId pid) {
  for (const Listed& listed : applications_) {
    if (listed.pid == pid) return std::make_shared<Object>(listed.peer, kRootPath);
  }
  // No peer: every call to it fails at once.
  return std::make_shared<Object>(std::string(), kRootPath);
}

Reading Accessibility::read(const ElementRef& element, Attributes attributes) {
  const Attributes node =
      Attribute::kRole | Attribute::kDescription | Attribute::kValue | Attribute::kChildren;
  Reading reading;
  Bus* b = bus();
  if (b == nullptr) {
    reading.covered = attributes;
    return reading;
  }
  // One attribute costs only the calls it needs.
  const Attributes ofNode = attributes & node;
  if (!ofNode.empty()) {
    Answers r;
    bool done = false;
    NodeReader reader(*b, 0);
    reader.read(refOf(element), r, ofNode, nullptr, [&done] { done = true; });
    b->runUntil([&done] { return done; });
    reading = portReading(r);
  }
  readWindows(*b, element, attributes, reading);
  reading.covered = attributes;
  return reading;
}

void Accessibility::readWindows(Bus& b, const ElementRef& element, Attributes attributes,
                                Reading& reading) {
  if (!attributes.has(Attribute::kWindows) && !attributes.has(Attribute::kFocusedWindow)) return;
  // Windows are the children of an application element.
  const ObjectRef object = refOf(element);
  std::optional<std::uint32_t> role;
  std::optional<std::vector<ObjectRef>> windows;
  Batch reads(b);
  reads.call(dbus::methodCall(object.peer, object.path, kAccessible, "GetRole"),
             [&role](DBusMessage* reply) {
               std::uint32_t r = 0;
               if (dbus::readUint32(reply, r)) role = r;
             });
  reads.call(dbus::methodCall(object.peer, object.path, kAccessible, "GetChildren"),
             [&windows, &object](DBusMessage* reply) {
               std::vector<ObjectRef> refs;
               if (dbus::readObjectRefs(reply, refs))
                 windows = childRefs(std::move(refs), object.peer);
             });
  reads.wait();
  if (role != kRoleApplication || !windows) return;
  if (attributes.has(Attribute::kWindows)) reading.windows = handlesOf(*windows);
  if (!attributes.has(Attribute::kFocusedWindow)) return;

  // The focused window is the first the application reports active. States
  // are read in order, as many at once as there is room for, until the
  // first active window is known.
  enum class Active { kUnknown, kNo, kYes };
  std::vector<Active> active(windows->size(), Active::kUnknown);
  std::size_t first = 0;
  auto decided = [&] {
    while (first < active.size() && active[first] == Active::kNo) ++first;
    return first == active.size() || active[first] == Active::kYes;
  };
  callEach(
      b, windows->size(),
      [&](std::size_t i, Bus::Group group) {
        const ObjectRef& w = (*windows)[i];
        b.call(
            dbus::methodCall(w.peer, w.path, kAccessible, "GetState"),
            [&active, i](DBusMessage* reply) {
              std::vector<std::uint32_t> words;
              active[i] = dbus::readUint32s(reply, words) && hasState(words, kStateActive)
                              ? Active::kYes
                              : Active::kNo;
            },
            group);
      },
      decided);
  if (decided() && first < active.size()) reading.focusedWindow = handleOf((*windows)[first]);
}

std::unique_ptr<WalkSource> Accessibility::walk(const ElementRef& root, std::size_t limit,
                                                const ReadingPlan& plan) {
  Bus* b = bus();
  if (b == nullptr) {
    // Nothing can be read: the root alone, with every attribute missing.
    std::vector<Element> alone;
    if (limit > 0 && root) alone.push_back(Element{root, {}, std::string(), Value{}});
    return listedWalk(std::move(alone));
  }
  return std::make_unique<PipelinedWalk>(*b, root, limit, plan);
}

bool Accessibility::press(const ElementRef& element) {
  Bus* b = bus();
  if (b == nullptr) return false;
  const ObjectRef object = refOf(element);
  std::optional<std::vector<std::uint32_t>> state;
  std::optional<std::uint32_t> role;
  std::optional<std::vector<std::string>> actions;
  Batch reads(*b);
  reads.call(dbus::methodCall(object.peer, object.path, kAccessible, "GetState"),
             [&state](DBusMessage* reply) {
               std::vector<std::uint32_t> words;
               if (dbus::readUint32s(reply, words)) state = std::move(words);
             });
  reads.call(dbus::methodCall(object.peer, object.path, kAccessible, "GetRole"),
             [&role](DBusMessage* reply) {
               std::uint32_t r = 0;
               if (dbus::readUint32(reply, r)) role = r;
             });
  reads.call(dbus::methodCall(object.peer, object.path, kActionInterface, "GetActions"),
             [&actions](DBusMessage* reply) {
               std::vector<std::string> names;
               if (dbus::readActionNames(reply, names)) actions = std::move(names);
             });
  reads.wait();
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
  Batch action(*b);
  action.call(std::move(doAction), [&accepted](DBusMessage* reply) {
    bool done = false;
    accepted = dbus::readBool(reply, done) && done;
  });
  action.wait();
  return accepted;
}

bool Accessibility::setValue(const ElementRef& element, double value) {
  Bus* b = bus();
  if (b == nullptr) return false;
  const ObjectRef object = refOf(element);
  std::optional<std::vector<std::uint32_t>> state;
  std::optional<std::vector<std::string>> interfaces;
  Batch reads(*b);
  reads.call(dbus::methodCall(object.peer, object.path, kAccessible, "GetState"),
             [&state](DBusMessage* reply) {
               std::vector<std::uint32_t> words;
               if (dbus::readUint32s(reply, words)) state = std::move(words);
             });
  reads.call(dbus::methodCall(object.peer, object.path, kAccessible, "GetInterfaces"),
             [&interfaces](DBusMessage* reply) {
               std::vector<std::string> names;
               if (dbus::readStrings(reply, names)) interfaces = std::move(names);
             });
  reads.wait();
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
  Batch write(*b);
  write.call(std::move(set), [&accepted](DBusMessage* reply) { accepted = reply != nullptr; });
  write.wait();
  return accepted;
}

bool Accessibility::sameElement(const ElementRef& a, const ElementRef& b) {
  const auto* x = dynamic_cast<const Object*>(a.get());
  const auto* y = dynamic_cast<const Object*>(b.get());
  if (x == nullptr || y == nullptr) return a == b;
  return x->peer() == y->peer() && x->path() == y->path();
}

}  // namespace trovemark::ax::atspi
