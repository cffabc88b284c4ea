#pragma once

// The live model of a substitute Resolve read from a scene file: the nodes of
// every application's windows, their attributes, what pressing or setting them
// does, the delayed effects still to come and the log of every operation.
//
// Two front ends present it: the in-process port (`Scene`) for tests, the demo
// and benchmarks, and the Qt stand-in, which shows one application as a real
// window on the desktop's accessibility bus. Both go through this model so the
// behaviours exist once. It is not thread-safe: one thread drives it.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

#include <nlohmann/json.hpp>

#include "color_helper/accessibility/accessibility.h"

namespace trovemark::scene {

// A scene file that cannot be used. The message names the file (when loaded
// from one) and the place in it, e.g. `applications[0].windows[0].children[2]`.
struct SceneError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// One entry of the operation log.
struct Operation {
  std::string op;                 // "press" or "set"
  std::optional<std::string> id;  // the node's "id", or nullopt
  std::optional<double> value;    // set only: the number sent
  bool refused = false;
  // {"op":..,"id":..|null,"value":..(set only),"refused":..}; a value that
  // JSON cannot hold (NaN, infinity) is written as null.
  nlohmann::json toJson() const;
  // The same object as one line of text, keys in the order above.
  std::string toJsonLine() const;
};

// A node's identity: its index in the model, fixed for the model's life.
using NodeId = std::size_t;

// A node's "AXValue": missing, text, a number, or a value of another type
// (`OtherValue::kind` is "boolean", "array" or "object").
using Value = ax::Value;

// What a listener hears about. Every notice comes after the change is made.
struct Change {
  enum class Kind {
    kValueChanged,     // `node`'s value (as read, bind included) changed
    kShown,            // `node`'s own "hidden" flag went off
    kHidden,           // `node`'s own "hidden" flag went on
    kChildrenChanged,  // `node`'s shown children changed (one was shown or hidden)
    kWindowsChanged,   // `application`'s shown windows changed
  };
  Kind kind;
  NodeId node = 0;              // all kinds but kWindowsChanged
  std::size_t application = 0;  // the application the node belongs to
};

using Listener = std::function<void(const Change&)>;

// A scene as its file describes it: what the loader reads, what the model
// runs on, and what writeScene() turns back into scene-file text. Nodes and
// effects name nodes by their index in `nodes`.
struct Effect {
  enum class Kind { kSet, kToggle, kShow, kHide };
  Kind kind = Kind::kSet;
  NodeId target = 0;
  Value value;  // kSet only
  double afterMs = 0;
  bool operator==(const Effect&) const = default;
};

// A text that shows another node's number, scaled, through a printf format.
struct Bind {
  NodeId source = 0;
  double scale = 1;
  std::string format = "%.2f";
  bool operator==(const Bind&) const = default;
};

struct Node {
  std::optional<std::string> id;
  std::optional<std::string> role;
  std::optional<std::string> description;
  Value value;
  // nullopt: unreadable, as when the file gives no list.
  std::optional<std::vector<NodeId>> children;
  std::optional<NodeId> parent;  // nullopt for a window
  std::size_t application = 0;
  bool hidden = false;
  bool refusePress = false;
  bool refuseSet = false;
  std::optional<std::pair<double, double>> range;
  // nullopt: a press does what the role does by default (a check box toggles).
  std::optional<std::vector<Effect>> onPress;
  std::vector<Effect> onSet;
  std::optional<Bind> bind;
  bool operator==(const Node&) const = default;
};

struct Application {
  std::optional<std::int64_t> focusedWindow;
  // nullopt: unreadable, as when the file gives no list.
  std::optional<std::vector<NodeId>> windows;
  bool operator==(const Application&) const = default;
};

struct SceneDescription {
  bool trusted = true;
  std::vector<Application> applications;
  std::vector<Node> nodes;
  bool operator==(const SceneDescription&) const = default;
};

// Scene-file text that loads back to the same scene. Only nodes in some
// window's tree are written, and effects and binds that name any other node
// are left out. Ids are kept where they are unique; a node that an effect or
// bind names gets one if it has none. Values that are neither text nor a
// number are written as one of their kind (true, [], {}).
std::string writeScene(const SceneDescription& scene);

class SceneModel {
 public:
  using Clock = ax::Clock;
  using TimePoint = ax::Clock::TimePoint;

  // Throw SceneError, naming the place, for anything the format does not
  // allow; never crash on bad input.
  static std::unique_ptr<SceneModel> parse(std::string_view json, Clock& clock);
  static std::unique_ptr<SceneModel> load(const std::filesystem::path& file, Clock& clock);

  ~SceneModel();
  SceneModel(const SceneModel&) = delete;
  SceneModel& operator=(const SceneModel&) = delete;

  // --- The scene as a whole -------------------------------------------------
  bool trusted() const;
  std::size_t applicationCount() const;
  // The application's windows in order, shown or not; nullopt when its
  // "windows" is unreadable.
  std::optional<std::vector<NodeId>> windows(std::size_t application) const;
  // The windows that are shown, in order; nullopt when unreadable.
  std::optional<std::vector<NodeId>> shownWindows(std::size_t application) const;
  // The focused window: missing when "focusedWindow" is null or out of range,
  // or when that window is not shown.
  std::optional<NodeId> focusedWindow(std::size_t application) const;
  std::size_t nodeCount() const;
  // The node whose "id" this is.
  std::optional<NodeId> find(const std::string& id) const;

  // --- One node (ids must be below nodeCount()) -----------------------------
  const std::optional<std::string>& id(NodeId node) const;
  const std::optional<std::string>& role(NodeId node) const;
  const std::optional<std::string>& description(NodeId node) const;
  // The value as read: the bound text for a node with "bind", else the stored
  // value.
  Value value(NodeId node) const;
  // The children that are shown, in order; nullopt when unreadable.
  std::optional<std::vector<NodeId>> shownChildren(NodeId node) const;
  // The node's parent; nullopt for a window.
  std::optional<NodeId> parent(NodeId node) const;
  std::size_t application(NodeId node) const;
  // False while the node or one of its ancestors is hidden.
  bool isShown(NodeId node) const;
  bool refusesPress(NodeId node) const;
  bool refusesSet(NodeId node) const;
  // The "range" of the node, when it has one.
  std::optional<std::pair<double, double>> range(NodeId node) const;

  // --- Operating ------------------------------------------------------------
  // Both first apply the delayed effects already due, then log the operation.
  // They fail (return false, change nothing, run no effect) for a refusing
  // node and for a node that is not shown, as the platform fails for an
  // element that has gone.
  bool press(NodeId node);
  bool set(NodeId node, double value);
  // Logs an operation that never reached a node's behaviour: one aimed at
  // something that is no node (the application element, a handle from
  // elsewhere), or, naming the node, one refused before it got there.
  void logRefused(const std::string& op, std::optional<double> value,
                  std::optional<std::string> id = std::nullopt);
  const std::vector<Operation>& operations() const;

  // --- Time -----------------------------------------------------------------
  // Applies every delayed effect whose moment has come, by the clock, earliest
  // first and, at the same moment, in the order they were scheduled.
  void advanceToNow();
  // When the next delayed effect is due; nullopt when none is pending.
  std::optional<TimePoint> nextDue() const;

  // The scene as it stands now, delayed effects still pending left out.
  const SceneDescription& snapshot() const;

  // --- Changes --------------------------------------------------------------
  // Listeners are called synchronously, in the order added, after each change.
  void addListener(Listener listener);

  struct Impl;

 private:
  explicit SceneModel(std::unique_ptr<Impl> impl);
  std::unique_ptr<Impl> impl_;
};

}  // namespace trovemark::scene
