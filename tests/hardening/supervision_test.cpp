// A bridge that ignores the terminate request, supervised by the controller
// over real processes: neither "Restart Bridge" nor quitting waits for it,
// each child is asked exactly once, and nothing starts again afterwards.

#include <signal.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <filesystem>

#include "companion/bridge_controller.h"
#include "companion/platform/adapters_linux.h"
#include "testing/companion/child_reports.h"
#include "testing/companion/stubborn_bridge.h"

namespace trovemark::companion {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using testing::eventually;
using testing::kStubbornRuntime;
using testing::readFile;
using testing::TempDir;

class StubbornBridge : public ::testing::Test {
 protected:
  StubbornBridge() {
    fs::create_directories(reports);
    const std::string runtime = dir / "resolve/bin/ResolvePython";
    dir.write("resolve/bin/ResolvePython", kStubbornRuntime);
    ::chmod(runtime.c_str(), 0700);
    world.applications->registered = dir / "resolve";
    world.bundle->env = {{"STUBBORN_REPORT_DIR", reports}, {"PATH", "/usr/bin:/bin"}};
    platform = world.platform();
    platform.processes = linux_adapters::makeProcessLauncher();
    platform.files = linux_adapters::makeFileSystem({{"HOME", dir / "home"}});
  }

  ~StubbornBridge() override {
    // Ended here, and reaped by the adapter's watcher threads.
    for (pid_t pid : started()) ::kill(pid, SIGKILL);
    for (pid_t pid : started())
      eventually([pid] { return !fs::exists("/proc/" + std::to_string(pid)); });
  }

  std::vector<pid_t> started() const {
    std::vector<pid_t> pids;
    for (const auto& entry : fs::directory_iterator(reports)) {
      if (entry.path().extension() == ".start") pids.push_back(std::stoi(entry.path().stem()));
    }
    std::sort(pids.begin(), pids.end());
    return pids;
  }

  int terminateRequests(pid_t pid) const {
    const std::string log = readFile(reports + "/" + std::to_string(pid) + ".term");
    return static_cast<int>(std::count(log.begin(), log.end(), '\n'));
  }

  // Ends a child the way nothing in the companion would, and waits until the
  // adapter has seen it go.
  static void killAndWait(pid_t pid, const std::shared_ptr<ChildProcess>& child) {
    ASSERT_EQ(::kill(pid, SIGKILL), 0);
    ASSERT_TRUE(eventually([&] { return !child->isRunning(); }));
  }

  // Everything that could be due in the next minute runs now.
  void aMinuteLater() {
    world.clock->advance(60s);
    world.loop->runPending();
  }

  TempDir dir;
  const std::string reports = dir / "reports";
  testing::FakeWorld world;
  Platform platform;
};

TEST_F(StubbornBridge, QuittingAsksOnceWaitsForNothingAndStartsNothingAfter) {
  auto controller = BridgeController::create(platform);
  ASSERT_TRUE(eventually([&] { return started().size() == 1; }));
  const pid_t pid = started()[0];
  auto child = controller->process();
  ASSERT_TRUE(child);

  controller->stop();
  ASSERT_TRUE(eventually([&] { return terminateRequests(pid) == 1; }));
  EXPECT_TRUE(child->isRunning());
  EXPECT_EQ(::kill(pid, 0), 0) << "the bridge should have outlived its terminate request";

  killAndWait(pid, child);
  aMinuteLater();
  EXPECT_EQ(started().size(), 1u);
  EXPECT_EQ(terminateRequests(pid), 1);
  EXPECT_EQ(controller->process(), nullptr);
  EXPECT_EQ(controller->summary(), "Bridge running on this Mac");
}

TEST_F(StubbornBridge, RestartReplacesItAtOnceAndItsLateEndCausesNothing) {
  auto controller = BridgeController::create(platform);
  ASSERT_TRUE(eventually([&] { return started().size() == 1; }));
  const pid_t first = started()[0];
  auto firstChild = controller->process();

  controller->restart();
  ASSERT_TRUE(eventually([&] { return started().size() == 2; }));
  const pid_t second = started()[1];
  ASSERT_TRUE(eventually([&] { return terminateRequests(first) == 1; }));
  EXPECT_TRUE(firstChild->isRunning());
  EXPECT_NE(controller->process(), firstChild);
  EXPECT_EQ(controller->summary(), "Bridge running on this Mac");

  killAndWait(first, firstChild);
  aMinuteLater();
  EXPECT_EQ(started().size(), 2u);
  EXPECT_EQ(controller->summary(), "Bridge running on this Mac");

  auto secondChild = controller->process();
  controller->stop();
  ASSERT_TRUE(eventually([&] { return terminateRequests(second) == 1; }));
  killAndWait(second, secondChild);
  aMinuteLater();
  EXPECT_EQ(started().size(), 2u);
  EXPECT_EQ(terminateRequests(first), 1);
  EXPECT_EQ(terminateRequests(second), 1);
}

}  // namespace
}  // namespace trovemark::companion
