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

// Attribute names the helper asks for.
inline constexpr const char* kRole = "AXRole";
inline constexpr const char* kDescription = "AXDescription";
inline constexpr const char* kValue = "AXValue";
inline constexpr const char* kChildren = "AXChildren";
inline constexpr const char* kFocusedWindow = "AXFocusedWindow";
inline constexpr const char* kWindows = "AXWindows";

// The reads of one node that a walk needs. Each member is absent exactly when
// a single attribute read of that name would be absent.
struct NodeReading {
  std::optional<AttributeValue> role;
  std::optional<AttributeValue> description;
  std::optional<AttributeValue> value;
  std::optional<AttributeValue> children;
};

// A snapshot of one element: read once, never refreshed; `ref` stays live.
struct Element {
  ElementRef ref;
  std::string role;                     // empty when missing or not text
  std::string description;              // empty when missing or not text
  std::optional<AttributeValue> value;  // exactly as read; absent when missing

  // `value` when it is text, else the empty string.
  std::string text() const;
  // `value` as a double: a number as is, text by the strict C-locale rule,
  // anything else (absent included) 0.
  double number() const;
};

// Reads text as one C-locale floating-point number: non-empty, no leading
// white space, and the number must end exactly at the end of the text.
std::optional<double> parseNumber(const std::string& text);

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

  // Role, description, value and children of one node. A backend may answer
  // them in one round trip; the default asks for each attribute in turn.
  virtual NodeReading readNode(const ElementRef& element);

  // The first `limit` snapshots of the pre-order walk from `root`, root
  // first. A backend may read the window in bulk, provided the list is
  // identical to the node-by-node walk this default performs.
  virtual std::vector<Element> flatten(const ElementRef& root, std::size_t limit);
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
