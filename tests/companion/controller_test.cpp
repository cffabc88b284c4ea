// The controller over recording fakes: start checks, supervision with a fake
// clock, the pairing link, copying it, and the two switches.

#include <gtest/gtest.h>

#include "companion/bridge_controller.h"
#include "tests/companion/support/companion_fakes.h"

namespace trovemark::companion {
namespace {

using namespace std::chrono_literals;
using testing::FakeWorld;

constexpr const char* kRunning = "Bridge running on this Mac";
constexpr const char* kRestarting = "Bridge stopped. Restarting\u2026";
constexpr const char* kTokenFile = "/home/ada/.local/share/Zelvan/.pairing-token";
constexpr const char* kFingerprintFile = "/home/ada/.local/share/Zelvan/bridge-fingerprint";
const std::string kFingerprint(64, 'f');

// Records every will-change notification with the value it could see then.
struct Recorder {
  explicit Recorder(BridgeController& c) : controller(c) {
    c.subscribe([this](BridgeController::Property p) {
      properties.push_back(p);
      if (p == BridgeController::Property::kSummary)
        summariesBefore.push_back(controller.summary());
    });
  }
  BridgeController& controller;
  std::vector<BridgeController::Property> properties;
  std::vector<std::string> summariesBefore;
};

class ControllerTest : public ::testing::Test {
 protected:
  std::shared_ptr<BridgeController> create() { return BridgeController::create(world.platform()); }
  void runFor(std::chrono::nanoseconds d) {
    world.clock->advance(d);
    world.loop->runPending();
  }
  FakeWorld world;
};

// --- Start: prerequisites and launch ---------------------------------------

struct StartCase {
  const char* name;
  void (*arrange)(FakeWorld&);
  const char* summary;
  std::optional<std::string> error;
  std::size_t launches;
};

TEST_F(ControllerTest, EachStartOutcomePublishesItsTexts) {
  const std::string kRuntimeMissing =
      "This companion requires Resolve Studio with bundled ResolvePython (21.1 or later). Found "
      "Resolve at /Applications/DaVinci Resolve/DaVinci Resolve.app, but its runtime is missing.";
  const StartCase cases[] = {
      {"no Resolve", [](FakeWorld& w) { w.files->existing.clear(); },
       "DaVinci Resolve Studio is required", "Install Resolve Studio to run the Mac bridge.", 0},
      {"no runtime", [](FakeWorld& w) { w.files->executables.clear(); },
       "Resolve scripting runtime is missing", kRuntimeMissing, 0},
      {"runtime present but not executable",
       [](FakeWorld& w) {
         w.files->executables.clear();
         w.files->existing.insert(FakeWorld::kInterpreter);
       },
       "Resolve scripting runtime is missing", kRuntimeMissing, 0},
      {"no script", [](FakeWorld& w) { w.bundle->script.reset(); },
       "Companion installation is incomplete",
       "The bridge script is missing. Download and reinstall Trovemark Mac.", 0},
      {"launch refused",
       [](FakeWorld& w) {
         w.launcher->failures = 1;
         w.launcher->failureText = "Could not run X: Permission denied.";
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
    EXPECT_EQ(w.launcher->requests.size(), c.launches);
    // Only a launched child is ever current.
    EXPECT_EQ(controller->process() != nullptr, std::string(c.name) == "launched");
  }
}

TEST_F(ControllerTest, ResolveCandidatesAreTriedRunningThenRegisteredThenFixed) {
  struct Case {
    std::vector<std::optional<std::string>> running;
    std::optional<std::string> registered;
    std::set<std::string> existing;
    std::string expected;  // quoted in the runtime-missing message; empty for none found
  };
  const Case cases[] = {
      // An instance without a location and one whose folder is gone are skipped.
      {{std::nullopt, "/gone/Resolve.app", "/Volumes/Edit/Resolve.app/"},
       "/Reg/Resolve.app",
       {"/Volumes/Edit/Resolve.app/", "/Reg/Resolve.app", FakeWorld::kResolve},
       "/Volumes/Edit/Resolve.app"},
      {{"/gone/Resolve.app"},
       "/Reg/Resolve.app",
       {"/Reg/Resolve.app", FakeWorld::kResolve},
       "/Reg/Resolve.app"},
      {{}, "/gone/Resolve.app", {FakeWorld::kResolve}, FakeWorld::kResolve},
      {{"/a"}, "/b", {}, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.expected);
    FakeWorld w;
    w.applications->running = c.running;
    w.applications->registered = c.registered;
    w.files->existing = c.existing;
    w.files->executables.clear();
    auto controller = BridgeController::create(w.platform());
    if (c.expected.empty()) {
      EXPECT_EQ(controller->summary(), "DaVinci Resolve Studio is required");
    } else {
      EXPECT_EQ(controller->error(),
                "This companion requires Resolve Studio with bundled ResolvePython (21.1 or "
                "later). Found Resolve at " +
                    c.expected + ", but its runtime is missing.");
    }
    EXPECT_EQ(w.applications->queried.front(), "com.blackmagic-design.DaVinciResolve");
  }
}

TEST_F(ControllerTest, LaunchesTheRuntimeWithTheScriptAndTheTokenFileInTheEnvironment) {
  world.bundle->env["ZELVAN_TOKEN_FILE"] = "/somewhere/else";
  world.bundle->env["WEIRD"] = "a=b c\nd";
  world.applications->running = {"/Volumes/Edit/Resolve.app"};
  world.files->existing.insert("/Volumes/Edit/Resolve.app");
  world.files->executables.insert("/Volumes/Edit/Resolve.app/Contents/Applications/ResolvePython");
  auto controller = create();

  ASSERT_EQ(world.launcher->requests.size(), 1u);
  const auto& request = world.launcher->requests[0];
  EXPECT_EQ(request.executable, "/Volumes/Edit/Resolve.app/Contents/Applications/ResolvePython");
  EXPECT_EQ(request.arguments, std::vector<std::string>{*world.bundle->script});
  auto expectedEnv = world.bundle->env;
  expectedEnv["ZELVAN_TOKEN_FILE"] = kTokenFile;
  EXPECT_EQ(request.environment, expectedEnv);
  EXPECT_EQ(controller->tokenFile(), kTokenFile);
  EXPECT_EQ(world.files->createdFolders, std::vector<std::string>{"/home/ada/.local/share/Zelvan"});
}

TEST_F(ControllerTest, AFolderThatCannotBeCreatedStillNamesTheTokenFile) {
  world.files->createFailure = "Could not create: Permission denied.";
  auto controller = create();
  EXPECT_EQ(controller->summary(), kRunning);
  EXPECT_EQ(world.launcher->requests.at(0).environment.at("ZELVAN_TOKEN_FILE"), kTokenFile);
}

TEST_F(ControllerTest, StartWhileRunningOrAfterStopChangesNothing) {
  auto controller = create();
  Recorder recorder(*controller);
  controller->start();
  EXPECT_TRUE(recorder.properties.empty());
  EXPECT_EQ(world.launcher->requests.size(), 1u);

  controller->stop();
  controller->start();
  controller->restart();
  EXPECT_TRUE(recorder.properties.empty());
  EXPECT_EQ(world.launcher->requests.size(), 1u);
}

// --- Supervision: exit, restart, stop -----------------------------------------

TEST_F(ControllerTest, AChildThatEndsIsStartedAgainThreeSecondsLater) {
  world.loginItem->currentStatus = LoginItem::kNotRegistered;
  world.loginItem->registerFailure = "denied";  // leaves an error to carry along
  auto controller = create();
  const auto error = controller->error();
  ASSERT_TRUE(error.has_value());

  auto first = world.launcher->last();
  first->exit();
  // The report only handed over; nothing changed off the main thread.
  EXPECT_EQ(controller->summary(), kRunning);
  world.loop->runPending();
  EXPECT_EQ(controller->summary(), kRestarting);
  EXPECT_EQ(controller->error(), error);
  EXPECT_EQ(controller->process(), nullptr);

  runFor(2999ms);
  EXPECT_EQ(world.launcher->requests.size(), 1u);
  runFor(1ms);
  ASSERT_EQ(world.launcher->requests.size(), 2u);
  EXPECT_EQ(controller->summary(), kRunning);
  EXPECT_EQ(controller->error(), std::nullopt);

  // No limit: every end is answered the same way.
  world.launcher->last()->exit();
  world.loop->runPending();
  runFor(3s);
  EXPECT_EQ(world.launcher->requests.size(), 3u);
}

TEST_F(ControllerTest, RestartReplacesARunningChildAtOnce) {
  auto controller = create();
  Recorder recorder(*controller);
  auto old = world.launcher->last();
  controller->restart();
  EXPECT_TRUE(old->handlerCleared);
  EXPECT_EQ(old->signalsDelivered, 1);
  ASSERT_EQ(world.launcher->children.size(), 2u);
  EXPECT_EQ(controller->process(), world.launcher->last());
  // The old child's end afterwards schedules nothing.
  old->exit();
  world.loop->runPending();
  runFor(3s);
  EXPECT_EQ(world.launcher->children.size(), 2u);
  for (const auto& s : recorder.summariesBefore) EXPECT_NE(s, kRestarting);
}

TEST_F(ControllerTest, RestartWhileARestartIsPending) {
  auto controller = create();
  world.launcher->last()->exit();
  world.loop->runPending();
  ASSERT_EQ(controller->summary(), kRestarting);

  controller->restart();
  ASSERT_EQ(world.launcher->children.size(), 2u);
  runFor(3s);  // the pending start finds the new child running
  EXPECT_EQ(world.launcher->requests.size(), 2u);

  // When the menu's start fails instead, the pending one tries again.
  world.launcher->last()->exit();
  world.loop->runPending();
  world.launcher->failures = 1;
  controller->restart();
  EXPECT_EQ(controller->summary(), "Bridge could not start");
  runFor(3s);
  EXPECT_EQ(controller->summary(), kRunning);
  EXPECT_EQ(world.launcher->children.size(), 3u);
}

TEST_F(ControllerTest, StopEndsSupervisionInEveryState) {
  {  // running: one terminate request, and the end causes nothing
    FakeWorld w;
    auto controller = BridgeController::create(w.platform());
    auto child = w.launcher->last();
    controller->stop();
    EXPECT_EQ(child->signalsDelivered, 1);
    EXPECT_EQ(child->terminateCalls, 1);
    EXPECT_EQ(controller->process(), nullptr);
    child->exit();
    w.loop->runPending();
    w.clock->advance(10s);
    w.loop->runPending();
    EXPECT_EQ(w.launcher->requests.size(), 1u);
  }
  {  // restart pending: the waiting start does nothing
    FakeWorld w;
    auto controller = BridgeController::create(w.platform());
    w.launcher->last()->exit();
    w.loop->runPending();
    controller->stop();
    w.clock->advance(3s);
    w.loop->runPending();
    EXPECT_EQ(w.launcher->requests.size(), 1u);
    EXPECT_EQ(controller->summary(), kRestarting);
  }
  {  // idle after a failure
    FakeWorld w;
    w.launcher->failures = 1;
    auto controller = BridgeController::create(w.platform());
    controller->stop();
    controller->restart();
    EXPECT_EQ(w.launcher->requests.size(), 1u);
  }
  {  // a child that already ended is not signalled
    FakeWorld w;
    auto controller = BridgeController::create(w.platform());
    auto child = w.launcher->last();
    auto heldBack = child->endSilently();
    controller->stop();
    EXPECT_EQ(child->terminateCalls, 0);
  }
}

TEST_F(ControllerTest, ALateReportAboutAReplacedChildIsDropped) {
  auto controller = create();
  auto old = world.launcher->last();
  auto report = old->endSilently();  // under way before restart() removed the handler
  controller->restart();
  auto current = controller->process();
  old->report(report);
  world.loop->runPending();
  runFor(3s);
  EXPECT_EQ(controller->summary(), kRunning);
  EXPECT_EQ(controller->process(), current);
  EXPECT_EQ(world.launcher->requests.size(), 2u);
}

TEST_F(ControllerTest, ReportsOutliveTheControllerHarmlessly) {
  auto controller = create();
  auto child = world.launcher->last();
  std::weak_ptr<BridgeController> weak = controller;
  controller.reset();
  EXPECT_TRUE(weak.expired());  // the child's handler does not keep it alive
  child->exit();
  EXPECT_NO_THROW(world.loop->runPending());
}

// --- Observers ----------------------------------------------------------------

TEST_F(ControllerTest, ObserversHearEveryAssignmentBeforeTheValueIsStored) {
  auto controller = create();
  Recorder recorder(*controller);
  controller->copyPairingLink();  // not ready: summary assigned
  controller->copyPairingLink();  // the same value again is still announced
  EXPECT_EQ(recorder.summariesBefore,
            (std::vector<std::string>{kRunning, "Pairing link is not ready; restart the bridge"}));

  int calls = 0;
  const auto id = controller->subscribe([&](auto) { ++calls; });
  controller->toggleLaunchAtLogin();  // launchesAtLogin then error
  EXPECT_EQ(calls, 2);
  controller->unsubscribe(id);
  controller->enableKeyboardControl();
  EXPECT_EQ(calls, 2);
}

// --- Pairing link -------------------------------------------------------------

TEST_F(ControllerTest, PairingLinkCases) {
  struct Case {
    const char* name;
    std::string host;
    std::optional<std::string> token;
    std::optional<std::string> fingerprint;
    std::optional<std::string> link;
  };
  const std::string fp = kFingerprint;
  const std::string link = "zelvan://pair?host=studio-mac.local&token=tok&fingerprint=" + fp;
  const Case cases[] = {
      {"plain", "studio-mac.local", "tok", fp, link},
      {"line breaks trimmed", "studio-mac.local", "\n tok\r\n", "\n\n" + fp + "\n\n", link},
      {"unicode blanks trimmed", "studio-mac.local", "\u00a0\u3000tok\u2028\u0085", fp, link},
      {"inner blanks kept", "studio-mac.local", "t o\tk", fp,
       "zelvan://pair?host=studio-mac.local&token=t%20o%09k&fingerprint=" + fp},
      {"empty token", "studio-mac.local", "", fp, std::nullopt},
      {"blank token", "studio-mac.local", " \n\t", fp, std::nullopt},
      {"missing token", "studio-mac.local", std::nullopt, fp, std::nullopt},
      {"missing fingerprint", "studio-mac.local", "tok", std::nullopt, std::nullopt},
      {"63 characters", "studio-mac.local", "tok", fp.substr(1), std::nullopt},
      {"65 characters", "studio-mac.local", "tok", fp + "f", std::nullopt},
      {"64 characters with marks", "studio-mac.local", "tok", fp.substr(1) + "e\u0301",
       "zelvan://pair?host=studio-mac.local&token=tok&fingerprint=" + fp.substr(1) + "e%CC%81"},
      {"invalid UTF-8", "studio-mac.local", "to\xC0\xAFk", fp, std::nullopt},
      {"half-written UTF-8", "studio-mac.local", "tok\xE2\x82", fp, std::nullopt},
      {"oversized token", "studio-mac.local", std::string(64 * 1024 + 1, 'a'), fp, std::nullopt},
      {"other domain", "studio.example.com", "tok", fp, std::nullopt},
      {"capital suffix", "studio-mac.LOCAL", "tok", fp, std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    FakeWorld w;
    w.bundle->host = c.host;
    if (c.token) w.files->files[kTokenFile] = *c.token;
    if (c.fingerprint) w.files->files[kFingerprintFile] = *c.fingerprint;
    auto controller = BridgeController::create(w.platform());
    Recorder recorder(*controller);
    EXPECT_EQ(controller->pairingLink(), c.link);
    EXPECT_TRUE(recorder.properties.empty());
  }
}

TEST_F(ControllerTest, PairingLinkReadsNoFileWithoutALocalHostName) {
  world.bundle->host = "studio";
  auto controller = create();
  EXPECT_EQ(controller->pairingLink(), std::nullopt);
  EXPECT_TRUE(world.files->reads.empty());
}

TEST_F(ControllerTest, PairingLinkValuesCannotAddSplitOrChangeQueryItems) {
  world.bundle->host = "my mac&token=evil#.local";
  world.files->files[kTokenFile] = "a&b=c+d#e f/g?h%i";
  world.files->files[kFingerprintFile] = kFingerprint;
  auto controller = create();
  const auto link = controller->pairingLink();
  ASSERT_TRUE(link);
  EXPECT_EQ(*link,
            "zelvan://pair?host=my%20mac%26token%3Devil%23.local"
            "&token=a%26b%3Dc%2Bd%23e%20f%2Fg%3Fh%25i&fingerprint=" +
                kFingerprint);
}

TEST_F(ControllerTest, PairingLinkFollowsAChangedToken) {
  world.files->files[kTokenFile] = "first";
  world.files->files[kFingerprintFile] = kFingerprint;
  auto controller = create();
  ASSERT_NE(controller->pairingLink()->find("token=first&"), std::string::npos);
  world.files->files[kTokenFile] = "second";
  EXPECT_NE(controller->pairingLink()->find("token=second&"), std::string::npos);
}

// --- Copy iPad Pairing Link -------------------------------------------------

TEST_F(ControllerTest, CopyPairingLinkOutcomes) {
  world.files->files[kTokenFile] = "tok";
  world.files->files[kFingerprintFile] = kFingerprint;
  auto controller = create();

  controller->copyPairingLink();
  EXPECT_EQ(controller->summary(), "Pairing link copied");
  EXPECT_EQ(world.pasteboard->log, (std::vector<std::string>{"clear", "write"}));
  EXPECT_EQ(world.pasteboard->text, controller->pairingLink());

  world.pasteboard->text = "kept";
  world.files->files.erase(kTokenFile);
  controller->copyPairingLink();
  EXPECT_EQ(controller->summary(), "Pairing link is not ready; restart the bridge");
  EXPECT_EQ(world.pasteboard->text, "kept");

  // Not running, no error: say so.
  world.launcher->last()->endSilently();
  controller->copyPairingLink();
  EXPECT_EQ(controller->summary(), "Start the bridge before copying a pairing link");
  EXPECT_EQ(world.pasteboard->text, "kept");
}

TEST_F(ControllerTest, CopyPairingLinkWithAnErrorShownChangesNothing) {
  world.files->existing.clear();
  auto controller = create();
  Recorder recorder(*controller);
  controller->copyPairingLink();
  EXPECT_TRUE(recorder.properties.empty());
  EXPECT_EQ(controller->summary(), "DaVinci Resolve Studio is required");
  EXPECT_TRUE(world.pasteboard->log.empty());
}

// --- Keyboard control and launch at login -----------------------------------

TEST_F(ControllerTest, EnableKeyboardControlReportsTheTrustAtTheClick) {
  world.loginItem->currentStatus = LoginItem::kNotRegistered;
  world.loginItem->registerFailure = "nope";
  auto controller = create();
  const auto error = controller->error();
  controller->enableKeyboardControl();
  EXPECT_EQ(controller->summary(), "Enable Trovemark Mac in Accessibility settings");
  world.trust->trusted = true;
  controller->enableKeyboardControl();
  EXPECT_EQ(controller->summary(), "Keyboard control enabled");
  EXPECT_EQ(world.trust->prompts, (std::vector<bool>{true, true}));
  EXPECT_EQ(controller->error(), error);
}

TEST_F(ControllerTest, StartUpRegistersTheLoginItemOnlyWhenNotRegistered) {
  for (int status : {LoginItem::kEnabled, 2, 3}) {
    FakeWorld w;
    w.loginItem->currentStatus = status;
    auto controller = BridgeController::create(w.platform());
    EXPECT_TRUE(w.loginItem->calls.empty()) << status;
    EXPECT_EQ(controller->launchesAtLogin(), status == LoginItem::kEnabled);
  }
  FakeWorld w;
  w.loginItem->currentStatus = LoginItem::kNotRegistered;
  auto controller = BridgeController::create(w.platform());
  EXPECT_EQ(w.loginItem->calls, std::vector<std::string>{"register"});
  EXPECT_TRUE(controller->launchesAtLogin());
  EXPECT_EQ(controller->error(), std::nullopt);
}

TEST_F(ControllerTest, AFailedStartUpRegistrationReplacesTheBridgeError) {
  world.files->existing.clear();
  world.loginItem->currentStatus = LoginItem::kNotRegistered;
  world.loginItem->registerFailure = "Could not write the autostart entry: Read-only file system.";
  auto controller = create();
  EXPECT_EQ(controller->summary(), "DaVinci Resolve Studio is required");
  EXPECT_EQ(controller->error(),
            "Enable Launch at Login from this menu: Could not write the autostart entry: "
            "Read-only file system.");
  EXPECT_FALSE(controller->launchesAtLogin());
}

TEST_F(ControllerTest, ToggleLaunchAtLogin) {
  // Off, and registration leaves approval pending: still off, error cleared.
  world.loginItem->currentStatus = 2;
  world.loginItem->statusAfterRegister = 2;
  world.files->existing.clear();  // an error to be cleared
  auto controller = create();
  controller->toggleLaunchAtLogin();
  EXPECT_FALSE(controller->launchesAtLogin());
  EXPECT_EQ(controller->error(), std::nullopt);
  controller->toggleLaunchAtLogin();  // tries registering again
  EXPECT_EQ(world.loginItem->calls, (std::vector<std::string>{"register", "register"}));

  world.loginItem->statusAfterRegister = LoginItem::kEnabled;
  controller->toggleLaunchAtLogin();
  EXPECT_TRUE(controller->launchesAtLogin());

  // Turning off fails: the state and its title stay, the description shows.
  world.loginItem->unregisterFailure = "Could not remove the autostart entry: Busy.";
  const auto summary = controller->summary();
  controller->toggleLaunchAtLogin();
  EXPECT_TRUE(controller->launchesAtLogin());
  EXPECT_EQ(controller->error(), "Could not remove the autostart entry: Busy.");
  EXPECT_EQ(controller->summary(), summary);

  world.loginItem->unregisterFailure.reset();
  controller->toggleLaunchAtLogin();
  EXPECT_FALSE(controller->launchesAtLogin());
  EXPECT_EQ(controller->error(), std::nullopt);
  EXPECT_EQ(world.loginItem->calls.back(), "unregister");
}

}  // namespace
}  // namespace trovemark::companion
