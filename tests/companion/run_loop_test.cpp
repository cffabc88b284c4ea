// The toolkit-free main thread, as the controller's tests drive it: tasks in
// the order posted, delayed ones when due. (Its blocking run() serves no
// program yet.)

#include <gtest/gtest.h>

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

}  // namespace
}  // namespace trovemark::companion
