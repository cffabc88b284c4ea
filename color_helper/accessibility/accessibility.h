#pragma once

// The Color helper's one boundary to the desktop's accessibility interface.
//
// Everything the helper knows about Resolve's window it reads through this
// port, and everything it changes there it changes through it. It is abstract
// so that the same logic runs against the real desktop (one adapter per
// platform, chosen by the build) and against an in-process scene of a
// substitute Resolve in tests, benchmarks and the demo.

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace trovemark::ax {

// Backends subclass this to carry whatever names one live element on their
// side (an object path, a scene node). The helper never looks inside.
class ElementHandle {
 public:
  virtual ~ElementHandle() = default;
};

// A counted reference to one live element. Copies share the element, which
// lives as long as any copy does.
using ElementRef = std::shared_ptr<const ElementHandle>;

// A value of a type that the helper does not interpret (a boolean, a point, a
// structure). `kind` names it for diagnostics only.
struct OtherValue {
  std::string kind;
  bool operator==(const OtherValue&) const = default;
};

// One attribute value as the platform handed it back: text, a number object,
// a list of element handles, a single element handle, or anything else.
using AttributeValue =
    std::variant<std::string, double, std::vector<ElementRef>, ElementRef, OtherValue>;

// The application the helper works in, as the platform knows it.
inline constexpr const char* kResolveBundleIdentifier = "com.blackmagic-design.DaVinciResolve";

// Attribute names the helper asks for.
inline constexpr const char* kRole = "AXRole";
inline constexpr const char* kDescription = "AXDescription";
inline constexpr const char* kValue = "AXValue";
inline constexpr const char* kChildren = "AXChildren";
inline constexpr const char* kFocusedWindow = "AXFocusedWindow";
inline constexpr const char* kWindows = "AXWindows";

// The attributes of one node that a walk may read, as a bit set.
using Fields = unsigned;
inline constexpr Fields kRoleField = 1u << 0;
inline constexpr Fields kDescriptionField = 1u << 1;
inline constexpr Fields kValueField = 1u << 2;
inline constexpr Fields kChildrenField = 1u << 3;
inline constexpr Fields kAllFields = kRoleField | kDescriptionField | kValueField | kChildrenField;

// What one round trip learned of a node. `fields` names the attributes it
// covers (a backend may cover more than it was asked for); each covered
// member is absent exactly when a single attribute read of that name would be.
struct NodeReading {
  Fields fields = 0;
  std::optional<AttributeValue> role;
  std::optional<AttributeValue> description;
  std::optional<AttributeValue> value;
  std::optional<AttributeValue> children;
};

class Accessibility;

// A snapshot of one element: read once, never refreshed; `ref` stays live.
// A walk reads the description and value only of the roles whose logic
// consults them (see ReadingPlan); any other is read from the element on
// first ask, so a snapshot always answers as a complete one would.
class Element {
 public:
  Element() = default;
  // A complete snapshot.
  Element(ElementRef ref, std::string role, std::string description,
          std::optional<AttributeValue> value);
  // A snapshot whose unread description or value `source` reads on first ask.
  // Each optional is set when that attribute was read with the role.
  static Element partial(ElementRef ref, std::string role, std::optional<std::string> description,
                         std::optional<std::optional<AttributeValue>> value, Accessibility& source);

  ElementRef ref;
  std::string role;  // empty when missing or not text

  // Empty when missing or not text.
  const std::string& description() const;
  // Exactly as read; absent when missing.
  const std::optional<AttributeValue>& value() const;
  // `value` when it is text, else the empty string.
  std::string text() const;
  // `value` as a double: a number as is, text by the strict C-locale rule,
  // anything else (absent included) 0.
  double number() const;

 private:
  mutable std::optional<std::string> description_;
  mutable std::optional<std::optional<AttributeValue>> value_;
  Accessibility* source_ = nullptr;
};

// Reads text as one C-locale floating-point number: non-empty, no leading
// white space, and the number must end exactly at the end of the text.
std::optional<double> parseNumber(const std::string& text);

// The text of an attribute value; empty when absent or not text.
std::string asText(const std::optional<AttributeValue>& value);

// Which attributes a walk reads of a node beyond its role and children, by
// role. Reading fewer is what makes a walk cheap; reading more never changes
// an answer, since a snapshot reads what it lacks on first ask.
class ReadingPlan {
 public:
  // Every attribute of every node: the walk a snapshot list used to be.
  static ReadingPlan everything();
  // Role and children only, plus the fields named for each listed role.
  static ReadingPlan only(std::vector<std::pair<std::string, Fields>> roles);

  Fields fieldsFor(const std::string& role) const;

 private:
  bool everything_ = false;
  std::vector<std::pair<std::string, Fields>> roles_;
};

// A window's snapshots in pre-order, produced one at a time as they are asked
// for. A source may read ahead of what it has produced; it stops reading when
// it is destroyed.
class WalkSource {
 public:
  virtual ~WalkSource() = default;
  // The next snapshot, or nullopt once the walk has ended: after its last node,
  // or after `limit` snapshots.
  virtual std::optional<Element> next() = 0;
};

// A walk already read, produced from its list.
std::unique_ptr<WalkSource> listedWalk(std::vector<Element> elements);

using ProcessId = std::int64_t;

class Accessibility {
 public:
  virtual ~Accessibility() = default;

  // Whether this process may use the accessibility interface. Never prompts.
  virtual bool isProcessTrusted() = 0;

  // The process identifiers of the running instances of the application with
  // this bundle identifier, in the platform's order. Empty when none runs.
  virtual std::vector<ProcessId> runningApplications(const std::string& bundleIdentifier) = 0;

  // The application element of a running process. Never null.
  virtual ElementRef applicationElement(ProcessId pid) = 0;

  // One attribute of one element; absent on any error or when the platform
  // hands back nothing.
  virtual std::optional<AttributeValue> attribute(const ElementRef& element,
                                                  const std::string& name) = 0;

  // Sets "AXValue" to a number object holding `value`, unchanged. False when
  // the platform refuses.
  virtual bool setValue(const ElementRef& element, double value) = 0;

  // Performs "AXPress". False when the platform refuses.
  virtual bool press(const ElementRef& element) = 0;

  // Whether two handles denote the same UI element.
  virtual bool sameElement(const ElementRef& a, const ElementRef& b) = 0;

  // At least the `fields` of one node. A backend may answer them, or more, in
  // one round trip; the default asks for each attribute in turn.
  virtual NodeReading readNode(const ElementRef& element, Fields fields = kAllFields);

  // The pre-order walk from `root`, root first, ending after `limit`
  // snapshots, reading of each node its role and children and what `plan`
  // names for its role. A backend may read ahead and in bulk, provided the
  // snapshots are exactly those of the node-by-node walk this default
  // performs.
  virtual std::unique_ptr<WalkSource> walk(const ElementRef& root, std::size_t limit,
                                           const ReadingPlan& plan);

  // The whole walk at once, as a list: for tools and comparisons that want
  // every snapshot complete.
  std::vector<Element> flatten(const ElementRef& root, std::size_t limit,
                               const ReadingPlan& plan = ReadingPlan::everything());
};

// Time as the settle wait of "reset" sees it: a monotonic clock and a sleep.
// Injected so that tests can run the 1.5-second wait without waiting.
class Clock {
 public:
  using Duration = std::chrono::nanoseconds;
  using TimePoint = std::chrono::time_point<std::chrono::steady_clock, Duration>;
  virtual ~Clock() = default;
  virtual TimePoint now() = 0;
  virtual void sleep(Duration d) = 0;
};

// The steady clock of the process and a real sleep.
class SystemClock final : public Clock {
 public:
  TimePoint now() override;
  void sleep(Duration d) override;
};

// The platform's accessibility adapter, chosen by the build.
std::unique_ptr<Accessibility> makePlatformAccessibility();

}  // namespace trovemark::ax
