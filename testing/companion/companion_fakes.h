#pragma once

// Recording fakes of the companion's platform ports, for tests only. They do
// the least that makes the controller's behaviour visible and keep a log of
// what was asked of them. Then a fixture for tests of BridgeController over
// them, and a recorder of its will-change notifications.

#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "companion/bridge_controller.h"
#include "companion/platform/platform.h"
#include "companion/platform/run_loop.h"

namespace trovemark::companion::testing {

class FakeClock final : public MonotonicClock {
 public:
  Duration now() override { return now_; }
  void advance(Duration d) { now_ += d; }

 private:
  Duration now_{std::chrono::hours(1)};
};

class FakeChild final : public ChildProcess, public std::enable_shared_from_this<FakeChild> {
 public:
  explicit FakeChild(TerminationHandler handler) : handler_(std::move(handler)) {}

  bool isRunning() const override { return running_; }
  void terminate() override { ++terminateCalls; }
  void clearTerminationHandler() override { handler_ = nullptr; }

  // The child ends by itself; the report comes on another thread, as the
  // platform's does.
  void exit() {
    running_ = false;
    if (auto handler = handler_) report(handler);
  }
  // The child ends but its report is held back (a report already under way).
  TerminationHandler endSilently() {
    running_ = false;
    return handler_;
  }
  void report(const TerminationHandler& handler) {
    std::shared_ptr<ChildProcess> self = shared_from_this();
    std::thread([handler, self] { handler(self); }).join();
  }

  int terminateCalls = 0;

 private:
  bool running_ = true;
  TerminationHandler handler_;
};

// Every port of a platform, recording what was asked of it, with a working
// Resolve install by default: one object plays them all.
struct FakeWorld final : ProcessLauncher,
                         ApplicationLocator,
                         FileSystem,
                         Resources,
                         HostName,
                         AccessibilityTrust,
                         LoginItem,
                         Pasteboard {
  static constexpr const char* kResolve = "/opt/resolve";
  static constexpr const char* kInterpreter = "/opt/resolve/bin/ResolvePython";

  // The ports, without ownership: the world outlives what it is handed to.
  Platform platform() {
    const std::shared_ptr<FakeWorld> self(std::shared_ptr<void>(), this);
    return {environment, self, self, self, self, self, self, self, loop, self, resolve, texts};
  }

  LaunchResult launch(const LaunchRequest& request, TerminationHandler onExit) override {
    requests.push_back(request);
    if (failures > 0) {
      --failures;
      return std::string(failureText);
    }
    children.push_back(std::make_shared<FakeChild>(std::move(onExit)));
    return std::shared_ptr<ChildProcess>(children.back());
  }
  std::shared_ptr<FakeChild> last() const { return children.empty() ? nullptr : children.back(); }

  std::vector<std::optional<std::string>> runningBundleLocations() override { return running; }
  std::optional<std::string> registeredLocation() override { return registered; }
  std::vector<RunningInstance> runningInstances() override { return {}; }

  bool exists(const std::string& path) override { return existing.count(path) > 0; }
  bool isExecutableFile(const std::string& path) override { return executables.count(path) > 0; }
  std::string applicationSupportFolder() override { return "/home/ada/.local/share"; }
  std::optional<std::string> createPrivateFolder(const std::string&) override {
    return createFailure;
  }
  std::optional<std::string> readSmallFile(const std::string& path, std::size_t maxBytes) override {
    const auto it = files.find(path);
    if (it == files.end() || it->second.size() > maxBytes) return std::nullopt;
    return it->second;
  }

  std::optional<std::string> resourcePath(const std::string& name,
                                          const std::string& extension) override {
    if (name == "zelvan_bridge" && extension == "py") return script;
    return std::nullopt;
  }

  std::string hostName() override { return host; }

  // Never trusted: the trusted outcome is the desktop test's.
  bool isTrusted(bool prompt) override {
    prompts.push_back(prompt);
    return false;
  }

  Status status() override { return currentStatus; }
  std::optional<std::string> registerItem() override {
    calls.push_back("register");
    if (registerFailure) return registerFailure;
    currentStatus = statusAfterRegister;
    return std::nullopt;
  }
  std::optional<std::string> unregisterItem() override {
    calls.push_back("unregister");
    if (unregisterFailure) return unregisterFailure;
    currentStatus = Status::kNotRegistered;
    return std::nullopt;
  }

  void clearContents() override { pasted.push_back("clear"); }
  void writeText(const std::string&) override { pasted.push_back("write"); }

  Environment environment{{"HOME", "/home/ada"}, {"LANG", "C.UTF-8"}};
  ResolveInstall resolve{kResolve, {"bin/ResolvePython"}};
  PlatformTexts texts = linuxTexts();
  std::shared_ptr<FakeClock> clock = std::make_shared<FakeClock>();
  std::shared_ptr<RunLoop> loop = std::make_shared<RunLoop>(clock);
  // Processes: what was asked, what started; the next `failures` are refused.
  std::vector<LaunchRequest> requests;
  std::vector<std::shared_ptr<FakeChild>> children;
  int failures = 0;
  std::string failureText = "The executable could not be run.";
  // Applications and files.
  std::vector<std::optional<std::string>> running;
  std::optional<std::string> registered;
  std::set<std::string> existing{kResolve};
  std::set<std::string> executables{kInterpreter};
  std::optional<std::string> createFailure;
  std::map<std::string, std::string> files;
  std::optional<std::string> script = "/opt/trovemark/share/trovemark/zelvan_bridge.py";
  std::string host = "studio-mac.local";
  std::vector<bool> prompts;
  // The login item.
  Status currentStatus = Status::kEnabled;
  Status statusAfterRegister = Status::kEnabled;
  std::optional<std::string> registerFailure;
  std::optional<std::string> unregisterFailure;
  std::vector<std::string> calls;
  // The pasteboard's calls.
  std::vector<std::string> pasted;
};

// Where the fakes' home keeps the pairing files.
inline constexpr const char* kTokenFile = "/home/ada/.local/share/Zelvan/.pairing-token";
inline constexpr const char* kFingerprintFile = "/home/ada/.local/share/Zelvan/bridge-fingerprint";

// Records every will-change notification with the summary visible then.
struct Recorder {
  explicit Recorder(BridgeController& c) {
    c.subscribe([this, &c](BridgeController::Property p) {
      properties.push_back(p);
      if (p == BridgeController::Property::kSummary) summariesBefore.push_back(c.summary());
    });
  }
  std::vector<BridgeController::Property> properties;
  std::vector<std::string> summariesBefore;
};

// The controller over a fresh world of fakes, with the steps tests repeat.
class ControllerFixture : public ::testing::Test {
 public:
  std::shared_ptr<BridgeController> create() { return BridgeController::create(world.platform()); }
  void runFor(std::chrono::nanoseconds d) {
    world.clock->advance(d);
    world.loop->runPending();
  }
  // The current child ends by itself and its report is handled.
  void childExits() {
    world.last()->exit();
    world.loop->runPending();
  }
  FakeWorld world;
};

}  // namespace trovemark::companion::testing
