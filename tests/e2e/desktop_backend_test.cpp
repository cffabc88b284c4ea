// The desktop backend, with the product's own settings, when Resolve stops
// answering, and the pipelined connection's own bookkeeping.

#include <dbus/dbus.h>
#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <variant>

#include "color_helper/accessibility/atspi_linux.h"
#include "color_helper/accessibility/dbus_linux.h"
#include "testing/desktop/e2e_support.h"

namespace trovemark::e2e {
namespace {

// A hung Resolve costs one deadline, the product's two seconds: the calls in
// flight wait it out, and after them nothing more is even sent. Reads of the
// peer are then absent and operations on it refused.
TEST(DesktopBackend, ResolveThatStopsAnsweringCostsOneTwoSecondDeadline) {
  auto standin = startStandin(defaultSceneFile());
  ax::SystemClock clock;
  // The wait budget of one request would run out; the call deadline stays.
  ax::atspi::Accessibility ax(clock, {.bus = {}, .waitBudget = std::chrono::minutes(5)});
  const auto pids = ax.runningApplications(ax::kResolveBundleIdentifier);
  ASSERT_EQ(pids, std::vector<ax::ProcessId>{standin->pid()});
  const auto window = ax.attribute(ax.applicationElement(pids[0]), ax::kFocusedWindow);
  ASSERT_TRUE(window && std::holds_alternative<ax::ElementRef>(*window));
  const auto& windowRef = std::get<ax::ElementRef>(*window);
  const auto list = ax.flatten(windowRef, 100000);
  ASSERT_GT(list.size(), 1000u);
  // Windows are an application's, not an element's.
  EXPECT_FALSE(ax.attribute(windowRef, ax::kWindows).has_value());

  standin->signal(SIGSTOP);
  const auto calls = ax.calls();
  const auto started = std::chrono::steady_clock::now();
  const auto after = ax.flatten(windowRef, 1800);
  ASSERT_EQ(after.size(), 1u);
  EXPECT_EQ(after[0].role, "");
  EXPECT_FALSE(after[0].value().has_value());
  EXPECT_FALSE(ax.attribute(list[1].ref, ax::kValue).has_value());
  EXPECT_FALSE(ax.attribute(windowRef, ax::kChildren).has_value());
  EXPECT_FALSE(ax.press(list[1].ref));
  EXPECT_FALSE(ax.setValue(list[1].ref, 1));
  const auto cost = std::chrono::steady_clock::now() - started;
  EXPECT_GE(cost, std::chrono::seconds(2));
  EXPECT_LT(cost, std::chrono::seconds(4));
  EXPECT_LE(ax.calls() - calls, 4u);
  standin->signal(SIGCONT);
}

// The pipelined connection on the private session bus.

TEST(PipelinedBus, EveryCallAnsweredOnceWithinTheWindow) {
  ax::SystemClock clock;
  auto bus = ax::dbus::Bus::session(clock, {std::chrono::seconds(5), 16});
  ASSERT_TRUE(bus);
  constexpr int kCalls = 500;
  std::vector<int> answered(kCalls, 0);
  int sent = 0;
  std::size_t mostInFlight = 0;
  bus->run([&] {
    mostInFlight = std::max(mostInFlight, bus->inFlight());
    while (sent < kCalls && bus->hasRoom()) {
      const int i = sent++;
      // Even calls succeed, odd ones go to a name nobody owns.
      auto call = i % 2 == 0 ? ax::dbus::methodCall(DBUS_SERVICE_DBUS, DBUS_PATH_DBUS,
                                                    DBUS_INTERFACE_DBUS, "GetId")
                             : ax::dbus::methodCall("org.trovemark.Nobody" + std::to_string(i),
                                                    "/x", "org.trovemark.Nothing", "Nothing");
      bus->call(std::move(call), [&answered, i](DBusMessage* reply) {
        std::string id;
        answered[i] += 1 + (ax::dbus::readString(reply, id) && !id.empty() ? 10 : 0);
      });
    }
  });
  EXPECT_LE(mostInFlight, 16u);
  for (int i = 0; i < kCalls; ++i) EXPECT_EQ(answered[i], i % 2 == 0 ? 11 : 1) << i;
}

}  // namespace
}  // namespace trovemark::e2e
