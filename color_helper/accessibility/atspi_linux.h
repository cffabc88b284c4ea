#pragma once

// The Linux desktop's accessibility interface (AT-SPI 2 over D-Bus) behind the
// accessibility port.
//
// Every read goes to the application afresh; nothing is cached between calls,
// so a walk after a press sees what the press changed. A window is walked
// with many calls in flight at once, in pre-order priority, as far as its
// reader asks, and gives exactly the snapshots the node-by-node walk would.

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "color_helper/accessibility/accessibility.h"
#include "color_helper/accessibility/dbus_linux.h"

namespace trovemark::ax::atspi {

// The one live element behind a handle: the application's bus name and the
// object's path. Two handles are the same element when both are equal.
class Object final : public ElementHandle {
 public:
  Object(std::string peer, std::string path) : peer_(std::move(peer)), path_(std::move(path)) {}
  const std::string& peer() const { return peer_; }
  const std::string& path() const { return path_; }

 private:
  std::string peer_;
  std::string path_;
};

// The port's role for an AT-SPI role number: its kind, and the protocol's own
// name for it ("push button"); kNone for the invalid role.
Role roleOf(std::uint32_t role);

// The protocol's numbers of the roles and states the adapter tests for.
inline constexpr std::uint32_t kRoleCheckBox = 7;
inline constexpr std::uint32_t kRoleApplication = 75;
inline constexpr std::uint32_t kStateActive = 1;
inline constexpr std::uint32_t kStateChecked = 4;
inline constexpr std::uint32_t kStateEnabled = 8;

// Whether a state set (the protocol's two 32-bit words) holds a state.
bool hasState(const std::vector<std::uint32_t>& words, std::uint32_t state);

// Where the port's value of a node comes from, by the interfaces it
// lists: a check box's checked state as 1 or 0, else the Value interface's
// current value, else the Text interface's text; kNone when none applies.
// (A static text's text and a slider's value are read before the interfaces
// are asked, and decide when the node answers them.)
enum class ValueSource { kNone, kCheckedState, kCurrentValue, kText };
ValueSource valueSource(std::optional<std::uint32_t> role,
                        const std::optional<std::vector<std::string>>& interfaces);

struct Options {
  // The session bus (DBUS_SESSION_BUS_ADDRESS), and the accessibility bus
  // when the environment names it (AT_SPI_BUS_ADDRESS); without the latter
  // the session bus's accessibility launcher is asked for it.
  std::optional<std::string> sessionBus;
  std::optional<std::string> accessibilityBus;
  dbus::BusOptions bus;
  // The request's time for waiting on D-Bus in all (the accessibility bus and
  // the session bus's few calls together).
  std::chrono::milliseconds waitBudget = kRequestWaitBudget;
  // Opens a connection to a bus address. The reply fuzzer puts its own
  // wire here; everything else uses the real bus.
  std::function<std::unique_ptr<dbus::Bus>(const std::string& address, Clock&, dbus::BusOptions)>
      connect = [](const std::string& address, Clock& clock, dbus::BusOptions options) {
        return dbus::Bus::connect(address, clock, options);
      };
};

// The buses an environment names (DBUS_SESSION_BUS_ADDRESS,
// AT_SPI_BUS_ADDRESS), with the other options at their defaults.
Options busesNamedIn(const std::map<std::string, std::string>& environment);

// The adapter. Reads nothing of the process's environment itself: what it
// needs comes in Options.
class Accessibility final : public ax::Accessibility {
 public:
  explicit Accessibility(Clock& clock, Options options = {});
  ~Accessibility() override;

  bool isProcessTrusted() override;
  std::vector<ProcessId> runningApplications(const Application& application) override;
  std::string registeredName(ProcessId pid) override;
  ElementRef applicationElement(ProcessId pid) override;
  Reading read(const ElementRef& element, Attributes attributes) override;
  std::unique_ptr<WalkSource> walk(const ElementRef& root, std::size_t limit,
                                   const ReadingPlan& plan) override;
  bool setValue(const ElementRef& element, double value) override;
  bool press(const ElementRef& element) override;
  bool sameElement(const ElementRef& a, const ElementRef& b) override;

  // Calls sent to the accessibility bus so far, for measurements.
  std::uint64_t calls() const;

 private:
  dbus::Bus* bus();
  std::unique_ptr<dbus::Bus> session();
  void readWindows(dbus::Bus& bus, const ElementRef& element, Attributes attributes,
                   Reading& reading);

  Clock& clock_;
  Options options_;
  WaitBudget budget_;
  bool triedBus_ = false;
  std::unique_ptr<dbus::Bus> bus_;
  struct Listed {
    ProcessId pid;
    std::string peer;
    std::string name;
  };
  std::vector<Listed> applications_;
};

}  // namespace trovemark::ax::atspi
