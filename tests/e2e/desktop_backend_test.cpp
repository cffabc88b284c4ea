// The desktop backend, with the product's own settings, when things go wrong
// on the other side: a Resolve that stops answering, one that quits
// mid-session, and the pipelined connection's own bookkeeping. Reads of a
// peer that is gone are absent and operations on it refused, the lot after
// at most one call deadline.

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

// One adapter for many requests' worth of reads, or the wait budget of one
// request would run out; the call deadline stays the product's own.
ax::atspi::Options manyRequests() {
  ax::atspi::Options options;
  options.waitBudget = std::chrono::minutes(5);
  return options;
}

class DesktopBackend : public ::testing::Test {
 protected:
  void SetUp() override {
    standin_ = startStandin(defaultSceneFile());
    const auto pids = ax_.runningApplications(ax::kResolveBundleIdentifier);
    ASSERT_EQ(pids.size(), 1u);
    EXPECT_EQ(pids[0], standin_->pid());
    const auto window = ax_.attribute(ax_.applicationElement(pids[0]), ax::kFocusedWindow);
    ASSERT_TRUE(window && std::holds_alternative<ax::ElementRef>(*window));
    window_ = std::get<ax::ElementRef>(*window);
    // The sliders show once Color Bars is on; the walk after the press must
    // see them, not a stale tree.
    list_ = ax_.flatten(window_, 100000);
    const auto colorBars = std::find_if(list_.begin(), list_.end(), [](const ax::Element& e) {
      return e.role == "AXCheckBox" && e.description() == "Color Bars";
    });
    ASSERT_NE(colorBars, list_.end());
    ASSERT_TRUE(ax_.press(colorBars->ref));
    list_ = ax_.flatten(window_, 100000);
    slider_ = firstWithRole("AXSlider");
    button_ = firstWithRole("AXButton");
  }

  ax::ElementRef firstWithRole(const std::string& role) {
    for (const auto& e : list_) {
      if (e.role == role) return e.ref;
    }
    ADD_FAILURE() << "no " << role;
    return nullptr;
  }

  void expectPeerGone() {
    const auto list = ax_.flatten(window_, 1800);
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0].role, "");
    EXPECT_FALSE(list[0].value().has_value());
    EXPECT_FALSE(ax_.attribute(slider_, ax::kValue).has_value());
    EXPECT_FALSE(ax_.attribute(window_, ax::kChildren).has_value());
    EXPECT_FALSE(ax_.press(button_));
    EXPECT_FALSE(ax_.setValue(slider_, 1));
  }

  std::unique_ptr<bench::Standin> standin_;
  ax::SystemClock clock_;
  ax::atspi::Accessibility ax_{clock_, manyRequests()};
  ax::ElementRef window_, slider_, button_;
  std::vector<ax::Element> list_;
};

// A hung Resolve costs one deadline, two seconds: the calls in flight wait it
// out, and after them nothing more is even sent.
TEST_F(DesktopBackend, ResolveThatStopsAnsweringCostsOneTwoSecondDeadline) {
  standin_->signal(SIGSTOP);
  const auto calls = ax_.calls();
  const auto started = std::chrono::steady_clock::now();
  expectPeerGone();
  const auto cost = std::chrono::steady_clock::now() - started;
  EXPECT_GE(cost, std::chrono::seconds(2));
  EXPECT_LT(cost, std::chrono::seconds(4));
  EXPECT_LE(ax_.calls() - calls, 4u);
  standin_->signal(SIGCONT);
}

TEST_F(DesktopBackend, ResolveThatQuitsReadsAsAbsent) {
  EXPECT_EQ(standin_->stop(), 0);
  expectPeerGone();
}

// Single reads of what a walk did not read are WalkEquality's (the product's
// lazy walk against the reference); here, what only operating shows.
TEST_F(DesktopBackend, LiveControlsOperateAndReadAsTheWalkSays) {
  // Doubles travel exactly both ways.
  ASSERT_TRUE(ax_.setValue(slider_, 0.123456789));
  EXPECT_EQ(ax_.attribute(slider_, ax::kValue), ax::AttributeValue(0.123456789));
  const auto children = ax_.attribute(window_, ax::kChildren);
  ASSERT_TRUE(children && std::holds_alternative<std::vector<ax::ElementRef>>(*children));
  EXPECT_TRUE(
      ax_.sameElement(std::get<std::vector<ax::ElementRef>>(*children).at(0), list_[1].ref));
  EXPECT_FALSE(ax_.sameElement(slider_, button_));
  // Windows are an application's, not an element's.
  EXPECT_FALSE(ax_.attribute(window_, ax::kWindows).has_value());
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
