// The controller over recording fakes: start checks, supervision with a fake
// clock, the pairing link, copying it, and the two switches.

#include <gtest/gtest.h>

#include "companion/bridge_controller.h"
#include "testing/companion/companion_fakes.h"

namespace trovemark::companion {
namespace {

using namespace std::chrono_literals;
using namespace testing;
using Strings = std::vector<std::string>;
using Status = LoginItem::Status;

constexpr const char* kRunning = "Bridge running on this computer";
constexpr const char* kRestarting = "Bridge stopped. Restarting\u2026";
constexpr const char* kNotReady = "Pairing link is not ready; restart the bridge";
constexpr const char* kNoResolve = "DaVinci Resolve Studio is required";
const std::string kFingerprint(64, 'f');

std::string runtimeMissing(const std::string& resolve) {
  return "This companion requires Resolve Studio with bundled ResolvePython (21.1 or later). "
         "Found Resolve at " +
         resolve + ", but its runtime is missing.";
}

using ControllerTest = ControllerFixture;

// --- Start ----------------------------------------------------------------------

TEST_F(ControllerTest, EachStartOutcomePublishesItsTexts) {
  struct Case {
    const char* name;
    void (*arrange)(FakeWorld&);
    const char* summary;
    std::optional<std::string> error;
    std::size_t launches;
  };
  const std::string missing = runtimeMissing(FakeWorld::kResolve);
  const Case cases[] = {
      {"no Resolve", [](FakeWorld& w) { w.existing.clear(); }, kNoResolve,
       "Install Resolve Studio to run the bridge.", 0},
      {"no runtime", [](FakeWorld& w) { w.executables.clear(); },
       "Resolve scripting runtime is missing", missing, 0},
      {"no script", [](FakeWorld& w) { w.script.reset(); }, "Companion installation is incomplete",
       "The bridge script is missing. Reinstall Trovemark.", 0},
      {"launch refused",
       [](FakeWorld& w) {
         w.failures = 1;
         w.failureText = "Could not run X: Permission denied.";
       },
       "Bridge could not start", "Could not run X: Permission denied.", 1},
      {"launched", [](FakeWorld&) {}, kRunning, std::nullopt, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    FakeWorld w;
    c.arrange(w);
    auto controller = BridgeController::create(w.platform());
    EXPECT_EQ(controller->summary(), c.summary);
    EXPECT_EQ(controller->error(), c.error);
    EXPECT_EQ(w.requests.size(), c.launches);
    EXPECT_EQ(controller->process() != nullptr, c.error == std::nullopt);
  }
}

TEST_F(ControllerTest, ResolveCandidatesAreTriedRunningThenRegisteredThenFixed) {
  struct Case {
    std::vector<std::optional<std::string>> running;
    std::optional<std::string> registered;
    std::set<std::string> existing;
    std::string expected;
  };
  // An instance without a location and one whose folder is gone are skipped.
  const Case cases[] = {
      {{std::nullopt, "/gone/R.app", "/Vol/R.app/"},
       "/Reg/R.app",
       {"/Vol/R.app/", "/Reg/R.app", FakeWorld::kResolve},
       "/Vol/R.app"},
      {{"/gone/R.app"}, "/Reg/R.app", {"/Reg/R.app", FakeWorld::kResolve}, "/Reg/R.app"},
      {{}, "/gone/R.app", {FakeWorld::kResolve}, FakeWorld::kResolve},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.expected);
    FakeWorld w;
    w.running = c.running;
    w.registered = c.registered;
    w.existing = c.existing;
    w.executables.clear();
    auto controller = BridgeController::create(w.platform());
    EXPECT_EQ(controller->error(), runtimeMissing(c.expected));
  }
}

TEST_F(ControllerTest, LaunchesTheRuntimeWithTheScriptAndTheTokenFileInTheEnvironment) {
  world.environment["ZELVAN_TOKEN_FILE"] = "/somewhere/else";
  world.environment["WEIRD"] = "a=b c\nd";
  world.running = {"/Vol/R.app"};
  world.existing.insert("/Vol/R.app");
  // The first runtime candidate that can be run, in the folder found.
  world.resolve.runtimes = {"bin/Missing", "bin/ResolvePython", "bin/Other"};
  world.executables = {"/Vol/R.app/bin/ResolvePython", "/Vol/R.app/bin/Other"};
  // A folder that cannot be created still names the token file.
  world.createFailure = "Could not create: Permission denied.";
  auto controller = create();

  ASSERT_EQ(world.requests.size(), 1u);
  const auto& request = world.requests[0];
  EXPECT_EQ(request.executable, "/Vol/R.app/bin/ResolvePython");
  EXPECT_EQ(request.arguments, Strings{*world.script});
  auto expectedEnv = world.environment;
  expectedEnv["ZELVAN_TOKEN_FILE"] = kTokenFile;
  EXPECT_EQ(request.environment, expectedEnv);
  EXPECT_EQ(controller->tokenFile(), kTokenFile);
  EXPECT_EQ(controller->summary(), kRunning);

  // Started again while running, it changes nothing.
  Recorder recorder(*controller);
  controller->start();
  EXPECT_TRUE(recorder.properties.empty());
  EXPECT_EQ(world.requests.size(), 1u);
}

// --- Supervision ------------------------------------------------------------------

TEST_F(ControllerTest, AChildThatEndsIsStartedAgainThreeSecondsLater) {
  world.currentStatus = Status::kNotRegistered;
  world.registerFailure = "denied";  // leaves an error to carry along
  auto controller = create();
  const auto error = controller->error();
  ASSERT_TRUE(error.has_value());

  world.last()->exit();
  // The report only handed over; nothing changed off the main thread.
  EXPECT_EQ(controller->summary(), kRunning);
  world.loop->runPending();
  EXPECT_EQ(controller->summary(), kRestarting);
  EXPECT_EQ(controller->error(), error);
  EXPECT_EQ(controller->process(), nullptr);

  runFor(2999ms);
  EXPECT_EQ(world.requests.size(), 1u);
  runFor(1ms);
  ASSERT_EQ(world.requests.size(), 2u);
  EXPECT_EQ(controller->summary(), kRunning);
  EXPECT_EQ(controller->error(), std::nullopt);

  // No limit: every end is answered the same way.
  childExits();
  runFor(3s);
  EXPECT_EQ(world.requests.size(), 3u);
}

TEST_F(ControllerTest, RestartWhileARestartIsPending) {
  auto controller = create();
  childExits();
  ASSERT_EQ(controller->summary(), kRestarting);
  controller->restart();
  ASSERT_EQ(world.children.size(), 2u);
  runFor(3s);  // the pending start finds the new child running
  EXPECT_EQ(world.requests.size(), 2u);

  // When the menu's start fails instead, the pending one tries again.
  childExits();
  world.failures = 1;
  controller->restart();
  EXPECT_EQ(controller->summary(), "Bridge could not start");
  runFor(3s);
  EXPECT_EQ(controller->summary(), kRunning);
  EXPECT_EQ(world.children.size(), 3u);
}

TEST_F(ControllerTest, StopEndsSupervisionInEveryState) {
  struct Case {
    const char* state;
    bool launchFails;
    void (*then)(ControllerTest&);
    int terminateCalls;  // asked of the first child
  };
  const Case cases[] = {
      {"running", false, [](ControllerTest&) {}, 1},
      {"restart pending", false, [](ControllerTest& t) { t.childExits(); }, 0},
      {"ended, report not yet in", false, [](ControllerTest& t) { t.world.last()->endSilently(); },
       0},
      {"idle after a failure", true, [](ControllerTest&) {}, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.state);
    world = FakeWorld();
    world.failures = c.launchFails ? 1 : 0;
    auto controller = create();
    auto child = world.last();
    c.then(*this);
    controller->stop();
    EXPECT_EQ(controller->process(), nullptr);
    if (child) {
      EXPECT_EQ(child->terminateCalls, c.terminateCalls);
      child->exit();  // its end, or a late report of it, causes nothing
    }
    world.loop->runPending();
    runFor(10s);
    controller->restart();
    EXPECT_EQ(world.requests.size(), 1u);
  }
}

TEST_F(ControllerTest, LateReportsOfAReplacedChildOrAGoneControllerAreDropped) {
  auto controller = create();
  auto old = world.last();
  auto report = old->endSilently();  // under way before restart() removed the handler
  controller->restart();
  auto current = controller->process();
  old->report(report);
  world.loop->runPending();
  runFor(3s);
  EXPECT_EQ(controller->summary(), kRunning);
  EXPECT_EQ(controller->process(), current);
  EXPECT_EQ(world.requests.size(), 2u);

  // Reports outlive the controller harmlessly.
  std::weak_ptr<BridgeController> weak = controller;
  controller.reset();
  EXPECT_TRUE(weak.expired());  // the child's handler does not keep it alive
  world.last()->exit();
  EXPECT_NO_THROW(world.loop->runPending());
}

TEST_F(ControllerTest, ObserversHearEveryAssignmentBeforeTheValueIsStored) {
  auto controller = create();
  Recorder recorder(*controller);
  controller->copyPairingLink();  // not ready: summary assigned
  controller->copyPairingLink();  // the same value again is still announced
  EXPECT_EQ(recorder.summariesBefore, (Strings{kRunning, kNotReady}));

  int calls = 0;
  const auto id = controller->subscribe([&](auto) { ++calls; });
  controller->toggleLaunchAtLogin();  // launchesAtLogin then error
  EXPECT_EQ(calls, 2);
  controller->unsubscribe(id);
  controller->enableKeyboardControl();
  EXPECT_EQ(calls, 2);
}

// --- Pairing link ---------------------------------------------------------------

TEST_F(ControllerTest, PairingLinkCases) {
  struct Case {
    const char* name;
    std::string host;
    std::optional<std::string> token;
    std::optional<std::string> fingerprint;
    std::optional<std::string> link;
  };
  const std::string fp = kFingerprint;
  const std::string host = "studio-mac.local";
  const std::string prefix = "zelvan://pair?host=studio-mac.local&token=";
  const std::string link = prefix + "tok&fingerprint=" + fp;
  // Trimming, validation, counting and encoding are pairing_text's; here,
  // that each applies to the right piece and any failure means no link.
  const Case cases[] = {
      {"plain", host, "tok", fp, link},
      {"both trimmed", host, "\u00a0\u3000tok\u2028\u0085", "\n\n" + fp + "\n\n", link},
      {"values cannot add, split or change query items", "my mac&token=evil#.local",
       "a&b=c+d#e f/g?h%i", fp,
       "zelvan://pair?host=my%20mac%26token%3Devil%23.local"
       "&token=a%26b%3Dc%2Bd%23e%20f%2Fg%3Fh%25i&fingerprint=" +
           fp},
      {"blank token", host, " \n\t", fp, std::nullopt},
      {"missing token", host, std::nullopt, fp, std::nullopt},
      {"missing fingerprint", host, "tok", std::nullopt, std::nullopt},
      {"63 characters", host, "tok", fp.substr(1), std::nullopt},
      {"65 characters", host, "tok", fp + "f", std::nullopt},
      // The files are read up to 64 KiB.
      {"padded to the bound", host, "tok", fp + "\n" + std::string(65536 - 65, ' '), link},
      {"a byte past the bound", host, "tok", fp + "\n" + std::string(65536 - 64, ' '),
       std::nullopt},
      {"64 characters with marks", host, "tok", fp.substr(1) + "e\u0301",
       prefix + "tok&fingerprint=" + fp.substr(1) + "e%CC%81"},
      {"invalid UTF-8", host, "to\xC0\xAFk", fp, std::nullopt},
      {"\".local\" inside the name", "mac.local.example.com", "tok", fp, std::nullopt},
      {"capital suffix", "studio-mac.LOCAL", "tok", fp, std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    FakeWorld w;
    w.host = c.host;
    if (c.token) w.files[kTokenFile] = *c.token;
    if (c.fingerprint) w.files[kFingerprintFile] = *c.fingerprint;
    auto controller = BridgeController::create(w.platform());
    Recorder recorder(*controller);
    EXPECT_EQ(controller->pairingLink(), c.link);
    EXPECT_TRUE(recorder.properties.empty());
  }
}

TEST_F(ControllerTest, CopyPairingLinkOutcomes) {
  world.files[kTokenFile] = "tok";
  world.files[kFingerprintFile] = kFingerprint;
  auto controller = create();
  controller->copyPairingLink();  // what it shows and copies is the desktop test's
  EXPECT_EQ(world.pasted, (Strings{"clear", "write"}));

  world.files.erase(kTokenFile);
  controller->copyPairingLink();
  EXPECT_EQ(controller->summary(), kNotReady);
  world.last()->endSilently();  // not running, no error: say so
  controller->copyPairingLink();
  EXPECT_EQ(controller->summary(), "Start the bridge before copying a pairing link");
  EXPECT_EQ(world.pasted.size(), 2u);

  // With an error shown nothing changes.
  world = FakeWorld();
  world.existing.clear();
  controller = create();
  Recorder recorder(*controller);
  controller->copyPairingLink();
  EXPECT_TRUE(recorder.properties.empty());
  EXPECT_EQ(controller->summary(), kNoResolve);
  EXPECT_TRUE(world.pasted.empty());
}

// --- Keyboard control and launch at login ---------------------------------------

TEST_F(ControllerTest, EnableKeyboardControlReportsTheTrustAtTheClick) {
  world.currentStatus = Status::kNotRegistered;
  world.registerFailure = "nope";
  auto controller = create();
  const auto error = controller->error();
  controller->enableKeyboardControl();  // trusted, it is the desktop test's
  EXPECT_EQ(controller->summary(), "Turn on accessibility in your desktop's settings");
  EXPECT_EQ(world.prompts, std::vector<bool>{true});
  EXPECT_EQ(controller->error(), error);
}

TEST_F(ControllerTest, StartUpRegistersTheLoginItemOnlyWhenNotRegistered) {
  for (Status status : {Status::kEnabled, Status::kRequiresApproval, Status::kNotFound,
                        Status::kSwitchedOff, Status::kUnreadable, Status::kNotRegistered}) {
    SCOPED_TRACE(static_cast<int>(status));
    FakeWorld w;
    w.currentStatus = status;
    auto controller = BridgeController::create(w.platform());
    const bool registers = status == Status::kNotRegistered;
    EXPECT_EQ(w.calls, registers ? Strings{"register"} : Strings{});
    EXPECT_EQ(controller->launchesAtLogin(), registers || status == Status::kEnabled);
    EXPECT_EQ(controller->error(), std::nullopt);
  }
  // A failed registration replaces the bridge's error.
  world.existing.clear();
  world.currentStatus = Status::kNotRegistered;
  world.registerFailure = "Could not write the autostart entry: Read-only file system.";
  auto controller = create();
  EXPECT_EQ(controller->summary(), kNoResolve);
  EXPECT_EQ(controller->error(),
            "Enable Launch at Login from this menu: Could not write the autostart entry: "
            "Read-only file system.");
  EXPECT_FALSE(controller->launchesAtLogin());
}

TEST_F(ControllerTest, ToggleLaunchAtLogin) {
  // Off, and registration leaves approval pending: still off, error cleared.
  world.currentStatus = Status::kRequiresApproval;
  world.statusAfterRegister = Status::kRequiresApproval;
  world.existing.clear();  // an error to be cleared
  auto controller = create();
  controller->toggleLaunchAtLogin();
  EXPECT_FALSE(controller->launchesAtLogin());
  EXPECT_EQ(controller->error(), std::nullopt);
  controller->toggleLaunchAtLogin();  // tries registering again
  EXPECT_EQ(world.calls, (Strings{"register", "register"}));

  world.statusAfterRegister = Status::kEnabled;
  controller->toggleLaunchAtLogin();
  EXPECT_TRUE(controller->launchesAtLogin());

  // Turning off fails: the state and its title stay, the description shows.
  world.unregisterFailure = "Could not remove the autostart entry: Busy.";
  const auto summary = controller->summary();
  controller->toggleLaunchAtLogin();
  EXPECT_TRUE(controller->launchesAtLogin());
  EXPECT_EQ(controller->error(), "Could not remove the autostart entry: Busy.");
  EXPECT_EQ(controller->summary(), summary);

  world.unregisterFailure.reset();
  controller->toggleLaunchAtLogin();
  EXPECT_FALSE(controller->launchesAtLogin());
  EXPECT_EQ(controller->error(), std::nullopt);
  EXPECT_EQ(world.calls.back(), "unregister");
}

}  // namespace
}  // namespace trovemark::companion
