// The toolkit-free main thread.

#include <gtest/gtest.h>

#include <thread>

#include "companion/platform/run_loop.h"
#include "testing/companion/companion_fakes.h"

namespace trovemark::companion {
namespace {

using namespace std::chrono_literals;

TEST(RunLoop, RunsPostedTasksInOrderAndDelayedOnesWhenDue) {
  auto clock = std::make_shared<testing::FakeClock>();
  RunLoop loop(clock);
  std::vector<std::string> order;
  const auto note = [&](const char* what) { return [&order, what] { order.push_back(what); }; };
  loop.postAfter(2s, note("late"));
  loop.postAfter(1s, note("early"));
  loop.postAfter(1s, note("early, second"));
  loop.post([&] {
    order.push_back("first");
    loop.post(note("posted by a task"));
  });
  loop.post(note("second"));
  EXPECT_TRUE(order.empty()) << "a task ran inside post()";

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

TEST(RunLoop, WorkPostedFromAnotherThreadWakesRunOnItsOwnThread) {
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
  EXPECT_FALSE(loop.runUntil([] { return false; }, 20ms));  // gives up at its limit
}

}  // namespace
}  // namespace trovemark::companion
