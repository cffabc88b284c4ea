// The companion's controller on its C++ macOS adapters over the simulated
// Mac: the script found in the bundle's resources, the runtime started with
// only the standard streams, Application Support under ~/Library, the
// ".local" name, the trust prompt, and the texts that name the Mac; nothing
// obtained left unreleased.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "companion/bridge_controller.h"
#include "companion/platform/adapters_mac.h"
#include "testing/companion/companion_fakes.h"
#include "testing/companion/recording_children.h"
#include "testing/macos/simulation.h"
#include "testing/temp_dir.h"
#include "testing/wait.h"

namespace trovemark::companion {
namespace {

using namespace testing;
using trovemark::testing::eventually;
using trovemark::testing::TempDir;

TEST(CompanionOnMac, TheControllerRunsOnTheMacAdapters) {
  TempDir dir;
  Reports reports(dir / "reports");
  const std::string resolve = dir / "Vol/DaVinci Resolve.app";
  std::filesystem::create_directories(resolve + "/Contents/Applications");
  std::filesystem::create_symlink(kInterpreter, resolve + "/Contents/Applications/ResolvePython");
  const std::string script =
      dir.write("ZelvanMac.app/Contents/Resources/zelvan_bridge.py", "# the bridge\n");
  const std::string support = dir / "home/Library/Application Support/Zelvan";
  // A descriptor without close-on-exec must still not reach the child.
  const int canary = ::open((dir / "canary").c_str(), O_CREAT | O_WRONLY, 0600);
  ASSERT_GE(canary, 0);

  macsim::Session session;
  auto& mac = session.world();
  mac.resourceFolder = dir / "ZelvanMac.app/Contents/Resources";
  mac.localHostName = "studio-mac";

  FakeWorld fakes;  // the Objective-C adapters' places: applications and login item
  fakes.running = {resolve};
  Platform platform = fakes.platform();
  platform.environment = baseEnvironment(reports);
  platform.environment["HOME"] = dir / "home";
  platform.processes = mac_adapters::makeProcessLauncher();
  platform.files = mac_adapters::makeFileSystem(platform.environment);
  platform.resources = mac_adapters::makeResources();
  platform.hostName = mac_adapters::makeHostName();
  platform.trust = mac_adapters::makeAccessibilityTrust();
  platform.resolve = companion::resolve::macInstall();
  platform.texts = macTexts();
  auto controller = BridgeController::create(platform);
  ::close(canary);

  ASSERT_EQ(controller->summary(), "Bridge running on this Mac")
      << controller->error().value_or("");
  ASSERT_TRUE(eventually([&] { return reports.started().size() == 1; }));
  const auto start = reports.start(reports.started()[0]);
  EXPECT_EQ(start["argv"], nlohmann::json({script}));
  EXPECT_EQ(start["env"]["ZELVAN_TOKEN_FILE"], support + "/.pairing-token");
  char stdinTarget[4096] = {};
  ASSERT_GT(::readlink("/proc/self/fd/0", stdinTarget, sizeof stdinTarget - 1), 0);
  EXPECT_EQ(start["fds"]["0"], stdinTarget);
  EXPECT_EQ(start["fds"]["1"], "/dev/null");
  EXPECT_EQ(start["fds"]["2"], "/dev/null");
  for (const auto& [fd, target] : start["fds"].items())
    EXPECT_NE(target, (dir / "canary").string()) << fd;
  struct stat st {};
  ASSERT_EQ(::stat(support.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);

  // The pairing link carries SystemConfiguration's name with ".local".
  dir.write("home/Library/Application Support/Zelvan/.pairing-token", "tok\n");
  dir.write("home/Library/Application Support/Zelvan/bridge-fingerprint", std::string(64, 'f'));
  EXPECT_EQ(controller->pairingLink(),
            "zelvan://pair?host=studio-mac.local&token=tok&fingerprint=" + std::string(64, 'f'));
  mac.localHostName.reset();
  EXPECT_EQ(controller->pairingLink(), std::nullopt);

  // The trust adapter hands the prompt flag on and reports the answer.
  controller->enableKeyboardControl();
  EXPECT_EQ(controller->summary(), "Enable Trovemark Mac in Accessibility settings");
  mac.trusted = true;
  EXPECT_TRUE(platform.trust->isTrusted(false));
  EXPECT_EQ(mac.trustPrompts, (std::vector<bool>{true, false}));

  // Without the script in the bundle's resources, a restart says so.
  std::filesystem::remove(script);
  controller->restart();
  EXPECT_EQ(controller->summary(), "Companion installation is incomplete");
  EXPECT_EQ(controller->error(),
            "The bridge script is missing. Download and reinstall Trovemark Mac.");
  const std::string pid = reports.started()[0];
  ASSERT_TRUE(eventually([&] { return Reports::gone(pid); }));
  EXPECT_EQ(reports.terminateRequests(pid), 1);
  controller.reset();
  EXPECT_EQ(macsim::unreleased(), "");
}

}  // namespace
}  // namespace trovemark::companion
