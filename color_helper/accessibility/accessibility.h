#pragma once

// The boundary to the desktop's accessibility interface: a port that reads
// and operates the elements of whatever application it is given.
//
// It is abstract so that the same logic runs against the real desktop (one
// adapter per platform, chosen by the build) and against an in-process scene
// of a substitute application in tests, benchmarks and the demo. It knows
// nothing of the application it reads: callers name it (Application) and
// decide what its elements mean. Every read and every operation is an
// explicit call that may wait on the application; absent values and refusals
// come back as values, never as exceptions.

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace trovemark::ax {

// Backends subclass this to carry whatever names one live element on their
// side (an object path, a scene node). Callers never look inside, and a
// handle holds nothing of the adapter that made it.
class ElementHandle {
 public:
  virtual ~ElementHandle() = default;
};

// A counted reference to one live element. Copies share the element, which
// lives as long as any copy does.
using ElementRef = std::shared_ptr<const ElementHandle>;

// The attributes the port reads, and sets of them.
enum class Attribute : unsigned {
  kRole = 1u << 0,
  kDescription = 1u << 1,
  kValue = 1u << 2,
  kChildren = 1u << 3,
  kFocusedWindow = 1u << 4,  // of an application
  kWindows = 1u << 5,        // of an application
};

class Attributes {
 public:
  constexpr Attributes() = default;
  constexpr Attributes(Attribute a) : bits_(static_cast<unsigned>(a)) {}  // NOLINT: a set of one
  constexpr bool has(Attribute a) const { return (bits_ & static_cast<unsigned>(a)) != 0; }
  constexpr bool empty() const { return bits_ == 0; }
  constexpr Attributes operator|(Attributes other) const { return Attributes(bits_ | other.bits_); }
  constexpr Attributes operator-(Attributes other) const {
    return Attributes(bits_ & ~other.bits_);
  }
  constexpr Attributes operator&(Attributes other) const { return Attributes(bits_ & other.bits_); }
  constexpr Attributes& operator|=(Attributes other) { return *this = *this | other; }
  constexpr bool operator==(const Attributes&) const = default;

 private:
  constexpr explicit Attributes(unsigned bits) : bits_(bits) {}
  unsigned bits_ = 0;
};
constexpr Attributes operator|(Attribute a, Attribute b) { return Attributes(a) | b; }

// What an element is. The roles callers tell apart have a kind of their own;
// every other role is kOther. `name` is the platform's own name for the role
// ("AXSlider" on macOS, "slider" in AT-SPI), kept whatever the kind, so that
// nothing read is lost; it is empty only for kNone (no role, or one that is
// not text).
enum class RoleKind { kNone, kStaticText, kButton, kCheckBox, kSlider, kOther };

struct Role {
  RoleKind kind = RoleKind::kNone;
  std::string name;
  bool is(RoleKind k) const { return kind == k; }
  bool operator==(const Role&) const = default;
};

// The role macOS names `name` ("AXStaticText", ...). Scene files use the same
// names, so the scene engine reads them with this too.
Role macRole(std::string_view name);
// The macOS name of a role: its own for kOther, the kind's for the others.
std::string macRoleName(const Role& role);

// A value of a type that callers do not interpret (a boolean, a point, a
// structure). `kind` names it for diagnostics only.
struct OtherValue {
  std::string kind;
  bool operator==(const OtherValue&) const = default;
};

// An element's value as the platform handed it back: missing, text, a
// number object, or anything else.
using Value = std::variant<std::monostate, std::string, double, OtherValue>;

// What one read of one element brought back. `covered` names the attributes
// it answers: at least those asked for (a backend may answer more in the same
// round trip). A covered attribute that is missing, unreadable or of another
// type reads as stated for each member.
struct Reading {
  Attributes covered;
  Role role;                                        // kNone
  std::optional<std::string> description;           // none when not text
  Value value;                                      // monostate
  std::optional<std::vector<ElementRef>> children;  // none unless a list of elements
  ElementRef focusedWindow;                         // null unless one element
  std::optional<std::vector<ElementRef>> windows;   // none unless a list of elements
};

// A snapshot of one element: what a walk or a read took of it, never
// refreshed; `ref` stays live. The role is always read; the description and
// the value only where the reading plan asked for them, and a field that was
// not read is absent (nullopt), so that nothing here ever reads.
struct Element {
  ElementRef ref;
  Role role;
  std::optional<std::string> description;  // read: "" when missing or not text
  std::optional<Value> value;              // read: monostate when missing

  // `value` when it is text, else the empty string.
  std::string text() const;
  // `value` as a double: a number as is, text by the strict C-locale rule,
  // anything else (absent included) 0.
  double number() const;
  // The description when it was read, else "".
  const std::string& describedAs() const;
};

// Reads text as one C-locale floating-point number: non-empty, no leading
// white space, and the number must end exactly at the end of the text.
std::optional<double> parseNumber(const std::string& text);

// Which attributes a walk reads of a node beyond its role and children, by
// role kind. Reading fewer is what makes a walk cheap; a plan must name
// everything its caller consults.
class ReadingPlan {
 public:
  // Every attribute of every node.
  static ReadingPlan everything();
  // Role and children only, plus the attributes named for each listed kind.
  static ReadingPlan only(std::vector<std::pair<RoleKind, Attributes>> kinds);

  Attributes attributesFor(const Role& role) const;

 private:
  bool everything_ = false;
  std::vector<std::pair<RoleKind, Attributes>> kinds_;
};

// A window's snapshots in pre-order, produced one at a time by explicit calls.
// A source may read ahead of what it has produced; it stops reading when it
// is destroyed.
class WalkSource {
 public:
  virtual ~WalkSource() = default;
  // Reads on to the next snapshot; nullopt once the walk has ended: after its
  // last node, or after its limit.
  virtual std::optional<Element> next() = 0;
};

// A walk already read, produced from its list.
std::unique_ptr<WalkSource> listedWalk(std::vector<Element> elements);

using ProcessId = std::int64_t;

// An application as each platform names it; each adapter uses its own field.
struct Application {
  // macOS: the bundle identifier of its running instances.
  std::string bundleIdentifier;
  // Linux: the names under which it registers on the accessibility bus.
  std::vector<std::string> registeredNames;
};

class Accessibility {
 public:
  virtual ~Accessibility() = default;

  // Whether this process may use the accessibility interface. Never prompts.
  virtual bool isProcessTrusted() = 0;

  // The process identifiers of the running instances of `application`, in
  // the platform's order. Empty when none runs.
  virtual std::vector<ProcessId> runningApplications(const Application& application) = 0;

  // The name under which the last runningApplications() found a process: the
  // name it registered (Linux) or the bundle identifier (macOS); empty for a
  // process it did not list.
  virtual std::string registeredName(ProcessId pid) = 0;

  // The application element of a running process listed by the last
  // runningApplications(). Never null; one that names no running instance
  // answers no read.
  virtual ElementRef applicationElement(ProcessId pid) = 0;

  // The one single read: the `attributes` of one element, in as few round
  // trips as the platform allows.
  virtual Reading read(const ElementRef& element, Attributes attributes) = 0;

  // The one walk: the pre-order walk from `root`, root first, ending after
  // `limit` snapshots, reading of each node its role and children and what
  // `plan` names for its role. A node whose children cannot be read is a leaf.
  // The default reads node by node with read() (role and children, then what
  // the plan names unless the first read covered it); a backend may read
  // ahead and in bulk, provided the snapshots are exactly those of the
  // default.
  virtual std::unique_ptr<WalkSource> walk(const ElementRef& root, std::size_t limit,
                                           const ReadingPlan& plan);

  // Sets the element's value to a number object holding `value`, unchanged.
  // False when the platform refuses.
  virtual bool setValue(const ElementRef& element, double value) = 0;

  // Performs the element's press action. False when the platform refuses.
  virtual bool press(const ElementRef& element) = 0;

  // Whether two handles denote the same UI element. Reads nothing.
  virtual bool sameElement(const ElementRef& a, const ElementRef& b) = 0;
};

// Time as the waits see it: a monotonic clock and a sleep. Injected so that
// tests can run the waits without waiting.
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

// How long one call may wait for the application to answer.
inline constexpr std::chrono::milliseconds kCallDeadline{2000};

// How long one request may wait on the application in all, on any platform.
inline constexpr std::chrono::milliseconds kRequestWaitBudget{5000};

// The time one request may still spend waiting on the application, shared by
// everything in it that waits. Once it is spent the application counts as not
// answering for the rest of the request: every call fails at once, as if it
// had missed its deadline.
class WaitBudget {
 public:
  explicit WaitBudget(Clock::Duration total = kRequestWaitBudget) : left_(total) {}
  bool spent() const { return left_ <= Clock::Duration::zero(); }
  Clock::Duration left() const { return left_; }
  void charge(Clock::Duration waited) { left_ -= waited; }
  // Counts the application as not answering from now on.
  void exhaust() { left_ = Clock::Duration::zero(); }

 private:
  Clock::Duration left_;
};

}  // namespace trovemark::ax
