#pragma once

// Recording fakes of the companion's platform ports, for tests only. Each
// fake does the least that makes the controller's behaviour visible and keeps
// a log of what was asked of it. Then a fixture for tests of BridgeController
// over them, and a recorder of its will-change notifications.

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

class FakeLauncher final : public ProcessLauncher {
 public:
  LaunchResult launch(const LaunchRequest& request, TerminationHandler onExit) override {
    requests.push_back(request);
    if (failures > 0) {
      --failures;
      return std::string(failureText);
    }
    auto child = std::make_shared<FakeChild>(std::move(onExit));
    children.push_back(child);
    return std::shared_ptr<ChildProcess>(child);
  }
  std::shared_ptr<FakeChild> last() const { return children.empty() ? nullptr : children.back(); }

  std::vector<LaunchRequest> requests;
  std::vector<std::shared_ptr<FakeChild>> children;
  int failures = 0;  // the next this many launches are refused
  std::string failureText = "The executable could not be run.";
};

class FakeApplications final : public ApplicationLocator {
 public:
  std::vector<std::optional<std::string>> runningBundleLocations() override { return running; }
  std::optional<std::string> registeredLocation() override { return registered; }
  std::vector<RunningInstance> runningInstances() override { return {}; }

  std::vector<std::optional<std::string>> running;
  std::optional<std::string> registered;
};

class FakeFileSystem final : public FileSystem {
 public:
  bool exists(const std::string& path) override { return existing.count(path) > 0; }
  bool isExecutableFile(const std::string& path) override { return executables.count(path) > 0; }
  std::string applicationSupportFolder() override { return supportFolder; }
  std::optional<std::string> createPrivateFolder(const std::string&) override {
    return createFailure;
  }
  std::optional<std::string> readSmallFile(const std::string& path, std::size_t maxBytes) override {
    const auto it = files.find(path);
    if (it == files.end() || it->second.size() > maxBytes) return std::nullopt;
    return it->second;
  }

  std::set<std::string> existing;
  std::set<std::string> executables;
  std::string supportFolder = "/home/ada/.local/share";
  std::optional<std::string> createFailure;
  std::map<std::string, std::string> files;
};

class FakeResources final : public Resources {
 public:
  std::optional<std::string> resourcePath(const std::string& name,
                                          const std::string& extension) override {
    if (name == "zelvan_bridge" && extension == "py") return script;
    return std::nullopt;
  }
  std::optional<std::string> script = "/opt/trovemark/share/trovemark/zelvan_bridge.py";
};

class FakeHostName final : public HostName {
 public:
  std::string hostName() override { return host; }
  std::string host = "studio-mac.local";
};

class FakeTrust final : public AccessibilityTrust {
 public:
  // Never trusted: the trusted outcome is the desktop test's.
  bool isTrusted(bool prompt) override {
    prompts.push_back(prompt);
    return false;
  }
  std::vector<bool> prompts;
};

class FakeLoginItem final : public LoginItem {
 public:
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

  Status currentStatus = Status::kEnabled;
  Status statusAfterRegister = Status::kEnabled;
  std::optional<std::string> registerFailure;
  std::optional<std::string> unregisterFailure;
  std::vector<std::string> calls;
};

class FakePasteboard final : public Pasteboard {
 public:
  void clearContents() override { log.push_back("clear"); }
  void writeText(const std::string&) override { log.push_back("write"); }
  std::vector<std::string> log;
};

// A complete platform of fakes, with a working Resolve install by default.
struct FakeWorld {
  static constexpr const char* kResolve = "/opt/resolve";
  static constexpr const char* kInterpreter = "/opt/resolve/bin/ResolvePython";

  FakeWorld() {
    files->existing.insert(kResolve);
    files->executables.insert(kInterpreter);
  }

  Platform platform() const {
    return {environment, launcher, applications, files,      resources, hostName,
            trust,       loginItem, loop,        pasteboard, resolve,   texts};
  }

  Environment environment{{"HOME", "/home/ada"}, {"LANG", "C.UTF-8"}};
  ResolveInstall resolve{kResolve, {"bin/ResolvePython"}};
  PlatformTexts texts = linuxTexts();
  std::shared_ptr<FakeClock> clock = std::make_shared<FakeClock>();
  std::shared_ptr<RunLoop> loop = std::make_shared<RunLoop>(clock);
  std::shared_ptr<FakeLauncher> launcher = std::make_shared<FakeLauncher>();
  std::shared_ptr<FakeApplications> applications = std::make_shared<FakeApplications>();
  std::shared_ptr<FakeFileSystem> files = std::make_shared<FakeFileSystem>();
  std::shared_ptr<FakeResources> resources = std::make_shared<FakeResources>();
  std::shared_ptr<FakeHostName> hostName = std::make_shared<FakeHostName>();
  std::shared_ptr<FakeTrust> trust = std::make_shared<FakeTrust>();
  std::shared_ptr<FakeLoginItem> loginItem = std::make_shared<FakeLoginItem>();
  std::shared_ptr<FakePasteboard> pasteboard = std::make_shared<FakePasteboard>();
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
    world.launcher->last()->exit();
    world.loop->runPending();
  }
  FakeWorld world;
};

}  // namespace trovemark::companion::testing
