// Real child processes: what the bridge's runtime receives, how its end is
// reported, that it is asked to stop once, not waited for, and reaped.

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <mutex>
#include <nlohmann/json.hpp>
#include <thread>

#include "companion/platform/adapters_linux.h"
#include "testing/companion/recording_children.h"
#include "testing/temp_dir.h"
#include "testing/wait.h"

namespace trovemark::companion {
namespace {

using namespace testing;
using trovemark::testing::eventually;
using trovemark::testing::TempDir;

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
// nothing stronger follows. Its handler cleared, its end is not reported.
TEST(ChildProcesses, AChildThatIgnoresTheRequestIsNeitherWaitedForNorForced) {
  TempDir dir;
  Reports reports(dir / "reports");
  auto environment = baseEnvironment(reports);
  environment["TEST_IGNORE_TERM"] = "1";
  std::atomic<int> reportsHeard = 0;
  auto launched = linux_adapters::makeProcessLauncher()->launch({kInterpreter, {}, environment},
                                                                [&](auto&) { ++reportsHeard; });
  auto child = std::get<std::shared_ptr<ChildProcess>>(launched);
  ASSERT_TRUE(eventually([&] { return reports.started().size() == 1; }));
  const std::string pid = reports.started()[0];
  child->clearTerminationHandler();
  child->terminate();
  ASSERT_TRUE(eventually([&] { return reports.terminateRequests(pid) == 1; }));
  EXPECT_TRUE(child->isRunning());
  EXPECT_FALSE(Reports::gone(pid));
  ::kill(std::stoi(pid), SIGKILL);
  EXPECT_TRUE(eventually([&] { return Reports::gone(pid) && !child->isRunning(); }));
  EXPECT_EQ(reports.terminateRequests(pid), 1);
  EXPECT_FALSE(eventually([&] { return reportsHeard > 0; }, {}, std::chrono::milliseconds(200)));
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

}  // namespace
}  // namespace trovemark::companion
