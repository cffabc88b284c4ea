// Real child processes: what the bridge's runtime receives, how its end is
// reported, that it is asked to stop once, not waited for, and reaped; the
// restart after a real exit.

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <functional>
#include <map>
#include <mutex>
#include <nlohmann/json.hpp>
#include <thread>

#include "companion/bridge_controller.h"
#include "companion/platform/adapters_linux.h"
#include "companion/platform/run_loop.h"
#include "testing/companion/companion_fakes.h"
#include "testing/companion/recording_children.h"
#include "testing/temp_dir.h"
#include "testing/wait.h"

namespace trovemark::companion {
namespace {

using namespace std::chrono_literals;
using namespace testing;
using trovemark::testing::eventually;
using trovemark::testing::kPatience;
using trovemark::testing::readFile;
using trovemark::testing::TempDir;

// The controller over the real launcher and files, with a Resolve install
// whose runtime is the recording interpreter.
class RealSupervisionFixture : public ::testing::Test {
 protected:
  RealSupervisionFixture() : reports(dir / "reports") {
    const auto runtime = dir / "resolve/bin/ResolvePython";
    std::filesystem::create_directories(runtime.parent_path());
    std::filesystem::create_symlink(kInterpreter, runtime);

    world.applications->registered = dir / "resolve";
    world.bundle->script = dir / "zelvan_bridge.py";
    world.bundle->env = baseEnvironment(reports);
    world.bundle->env["ZELVAN_TOKEN_FILE"] = "/inherited/and/replaced";
    platform = world.platform();
    platform.processes = linux_adapters::makeProcessLauncher();
    platform.files = linux_adapters::makeFileSystem({{"HOME", dir / "home"}});
    platform.executor = loop;
  }

  bool runUntil(const std::function<bool()>& done) { return loop->runUntil(done, kPatience); }

  TempDir dir;
  Reports reports;
  FakeWorld world;
  Platform platform;
  std::shared_ptr<RunLoop> loop = std::make_shared<RunLoop>();
};

TEST(ChildProcesses, TheChildGetsExactlyItsRequestAndIsReapedAfterOneTerminateRequest) {
  TempDir dir;
  Reports reports(dir / "reports");
  // A descriptor without close-on-exec must still not reach the child.
  const std::string canary = dir / "canary";
  const int canaryFd = ::open(canary.c_str(), O_CREAT | O_WRONLY, 0600);
  ASSERT_GE(canaryFd, 0);

  LaunchRequest request;
  request.executable = kInterpreter;
  request.arguments = {dir / "Trovemark Mac/share/zelvan_bridge.py"};
  request.environment = baseEnvironment(reports);
  request.environment["SPACED VALUE"] = "a b;c'd\"e$f";

  std::mutex mutex;
  std::vector<std::thread::id> reportThreads;
  std::shared_ptr<ChildProcess> reported;
  auto launched = linux_adapters::makeProcessLauncher()->launch(
      request, [&](const std::shared_ptr<ChildProcess>& child) {
        std::lock_guard lock(mutex);
        reportThreads.push_back(std::this_thread::get_id());
        reported = child;
      });
  ::close(canaryFd);
  ASSERT_TRUE(std::holds_alternative<std::shared_ptr<ChildProcess>>(launched));
  auto child = std::get<std::shared_ptr<ChildProcess>>(launched);
  ASSERT_TRUE(eventually([&] { return reports.started().size() == 1; }));
  const std::string pid = reports.started()[0];
  const auto start = reports.start(pid);

  EXPECT_EQ(start["argv"], nlohmann::json(request.arguments));
  EXPECT_EQ(start["env"], nlohmann::json(request.environment));
  EXPECT_EQ(start["fds"]["1"], "/dev/null");
  EXPECT_EQ(start["fds"]["2"], "/dev/null");
  for (const auto& [fd, target] : start["fds"].items()) EXPECT_NE(target, canary) << fd;
  EXPECT_TRUE(child->isRunning());

  // The second call comes once the first request has arrived, while the
  // child still runs: a second signal would be seen.
  child->terminate();
  ASSERT_TRUE(eventually([&] { return reports.terminateRequests(pid) == 1; }));
  child->terminate();
  ASSERT_TRUE(eventually([&] { return !child->isRunning(); }));
  std::lock_guard lock(mutex);
  ASSERT_EQ(reportThreads.size(), 1u);
  EXPECT_NE(reportThreads[0], std::this_thread::get_id());
  EXPECT_EQ(reported, child);
  EXPECT_EQ(reports.terminateRequests(pid), 1);
  EXPECT_TRUE(Reports::gone(pid));
  child->terminate();  // an ended child is not signalled (nor anything that took its pid)
}

// A bridge that ignores the request: terminate() returns at once, and
// nothing stronger follows.
TEST(ChildProcesses, AChildThatIgnoresTheRequestIsNeitherWaitedForNorForced) {
  TempDir dir;
  Reports reports(dir / "reports");
  auto environment = baseEnvironment(reports);
  environment["TEST_IGNORE_TERM"] = "1";
  auto launched =
      linux_adapters::makeProcessLauncher()->launch({kInterpreter, {}, environment}, [](auto&) {});
  auto child = std::get<std::shared_ptr<ChildProcess>>(launched);
  ASSERT_TRUE(eventually([&] { return reports.started().size() == 1; }));
  const std::string pid = reports.started()[0];
  child->terminate();
  ASSERT_TRUE(eventually([&] { return reports.terminateRequests(pid) == 1; }));
  EXPECT_TRUE(child->isRunning());
  EXPECT_FALSE(Reports::gone(pid));
  ::kill(std::stoi(pid), SIGKILL);
  EXPECT_TRUE(eventually([&] { return Reports::gone(pid); }));
  EXPECT_EQ(reports.terminateRequests(pid), 1);
}

TEST(ChildProcesses, AClearedHandlerHearsNothing) {
  TempDir dir;
  Reports reports(dir / "reports");
  std::atomic<int> reportsHeard = 0;
  auto launched = linux_adapters::makeProcessLauncher()->launch(
      {kInterpreter, {"x"}, baseEnvironment(reports)}, [&](auto&) { ++reportsHeard; });
  auto child = std::get<std::shared_ptr<ChildProcess>>(launched);
  ASSERT_TRUE(eventually([&] { return reports.started().size() == 1; }));
  child->clearTerminationHandler();
  child->terminate();
  ASSERT_TRUE(eventually([&] { return !child->isRunning(); }));
  EXPECT_EQ(reportsHeard, 0);
  EXPECT_TRUE(eventually([&] { return Reports::gone(reports.started()[0]); }));
}

TEST(ChildProcesses, ARefusedLaunchIsDescribed) {
  TempDir dir;
  auto launcher = linux_adapters::makeProcessLauncher();
  const auto missing = launcher->launch({dir / "no such runtime", {}, {}}, [](auto&) {});
  ASSERT_TRUE(std::holds_alternative<std::string>(missing));
  EXPECT_EQ(std::get<std::string>(missing),
            "Could not run " + (dir / "no such runtime").string() + ": No such file or directory.");

  const auto plain = dir.write("ResolvePython", "#!/bin/sh\n");
  const auto refused = launcher->launch({plain, {}, {}}, [](auto&) {});
  ASSERT_TRUE(std::holds_alternative<std::string>(refused));
  EXPECT_NE(std::get<std::string>(refused).find("Permission denied"), std::string::npos);
}

using SupervisionTest = RealSupervisionFixture;

TEST_F(SupervisionTest, ARealChildThatEndsIsRestartedThenReplacedThenStopped) {
  std::ofstream(reports.dir + "/exit-now").close();  // the first child ends by itself
  auto controller = BridgeController::create(platform);
  std::vector<std::string> summaries;
  controller->subscribe([&](auto p) {
    if (p == BridgeController::Property::kSummary) summaries.push_back(controller->summary());
  });

  ASSERT_TRUE(
      runUntil([&] { return controller->summary() == "Bridge stopped. Restarting\u2026"; }));
  BootClock clock;
  const auto stoppedAt = clock.now();
  ASSERT_TRUE(runUntil([&] { return controller->process() != nullptr; }));
  const auto restartedAfter = clock.now() - stoppedAt;
  std::cout << "[ figure ] restart after a real exit: "
            << std::chrono::duration<double>(restartedAfter).count() << " s\n";
  EXPECT_EQ(controller->summary(), "Bridge running on this Mac");

  ASSERT_TRUE(eventually([&] { return reports.started().size() == 2; }));
  for (const auto& pid : reports.started()) {
    const auto start = reports.start(pid);
    EXPECT_EQ(start["env"]["ZELVAN_TOKEN_FILE"],
              (dir / "home/.local/share/Zelvan/.pairing-token").string());
    EXPECT_EQ(start["env"]["TEST_REPORT_DIR"], reports.dir);
    EXPECT_EQ(start["argv"], nlohmann::json::array({(dir / "zelvan_bridge.py").string()}));
  }

  summaries.clear();
  controller->restart();
  ASSERT_TRUE(eventually([&] { return reports.started().size() == 3; }));
  controller->stop();
  const auto pids = reports.started();
  for (const auto& pid : pids) EXPECT_TRUE(eventually([&] { return Reports::gone(pid); })) << pid;
  EXPECT_EQ(reports.terminateRequests(pids[0]), 0);  // it ended by itself
  EXPECT_EQ(reports.terminateRequests(pids[1]), 1);
  EXPECT_EQ(reports.terminateRequests(pids[2]), 1);
  // The ends of the replaced and the stopped child caused nothing.
  loop->runUntil([] { return false; }, 200ms);
  EXPECT_EQ(summaries, std::vector<std::string>{"Bridge running on this Mac"});
  EXPECT_EQ(reports.started().size(), 3u);
}

}  // namespace
}  // namespace trovemark::companion
