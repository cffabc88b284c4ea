// The toolkit-free main thread.

#include <gtest/gtest.h>

#include <thread>

#include "companion/platform/run_loop.h"
#include "tests/companion/support/companion_fakes.h"

namespace trovemark::companion {
namespace {

using namespace std::chrono_literals;

TEST(RunLoop, RunsPostedTasksInOrderAndDelayedOnesWhenDue) {
  auto clock = std::make_shared<testing::FakeClock>();
  RunLoop loop(clock);
  std::vector<std::string> order;
  loop.postAfter(2s, [&] { order.push_back("late"); });
  loop.postAfter(1s, [&] { order.push_back("early"); });
  loop.postAfter(1s, [&] { order.push_back("early, second"); });
  loop.post([&] {
    order.push_back("first");
    loop.post([&] { order.push_back("posted by a task"); });
  });
  loop.post([&] { order.push_back("second"); });
  // Posting never runs the task inside the call.
  EXPECT_TRUE(order.empty());

  EXPECT_EQ(loop.runPending(), 3u);
  clock->advance(999ms);
  EXPECT_EQ(loop.runPending(), 0u);
  clock->advance(1ms);
  loop.runPending();
  clock->advance(1s);
  loop.runPending();
  EXPECT_EQ(order, (std::vector<std::string>{"first", "second", "posted by a task", "early",
                                             "early, second", "late"}));
}

TEST(RunLoop, WorkPostedFromAnotherThreadWakesRun) {
  RunLoop loop;
  std::thread::id ranOn;
  std::thread poster([&] {
    loop.post([&] {
      ranOn = std::this_thread::get_id();
      loop.quit();
    });
  });
  loop.run();
  poster.join();
  EXPECT_EQ(ranOn, std::this_thread::get_id());
}

TEST(RunLoop, RunUntilGivesUpAtItsLimit) {
  RunLoop loop;
  int runs = 0;
  loop.postAfter(10ms, [&] { ++runs; });
  EXPECT_TRUE(loop.runUntil([&] { return runs == 1; }, 10s));
  EXPECT_FALSE(loop.runUntil([] { return false; }, 20ms));
}

}  // namespace
}  // namespace trovemark::companion
