// The macOS adapter's own mapping of what the platform hands back, against
// the simulated Mac. Whole requests through it are the Color helper's scene
// tables, registered a second time with TROVEMARK_SCENE_PORT=macos.

#include <gtest/gtest.h>

#include <sstream>

#include "color_helper/accessibility/ax_mac.h"
#include "color_helper/accessibility/element.h"
#include "color_helper/accessibility/platform.h"
#include "color_helper/helper_main.h"
#include "color_helper/messages.h"
#include "testing/macos/simulation.h"
#include "testing/scene_fixture.h"

namespace trovemark {
namespace {

using testing::json;

// The kinds of value that only the port's "other" stands for (texts,
// numbers, elements, equality, sets and presses are the scene tables'), each
// way a read fails at once, read singly and in one round trip, and the single
// reads an application without multiple reads gets instead.
TEST(ColorHelperOnMac, ValuesAndErrorsMapAsThePortPromises) {
  testing::FakeClock clock;
  const json children = json::parse(R"([
      {"id":"boolean","role":"AXCheckBox","value":true},
      {"id":"list","role":"AXList","value":[1,2]},
      {"id":"point","role":"AXImage","value":{"x":1}},
      {"id":"missing","role":"AXGroup","children":[]},
      {"id":"failing","role":"AXGroup","description":"d","value":1,"children":[{"role":"AXButton"}]}])");
  auto scene = scene::Scene::parse(testing::oneWindow(children.dump()), clock);
  const auto id = [&](const char* name) { return *scene->model().find(name); };

  struct Expected {
    const char* id;
    ax::Value value;
  };
  const Expected values[] = {
      {"boolean", ax::OtherValue{"boolean"}},
      {"list", ax::OtherValue{"array"}},
      {"point", ax::OtherValue{"AXValue"}},
      {"missing", ax::Value()},
  };
  const AXError errors[] = {kAXErrorAttributeUnsupported, kAXErrorNoValue, kAXErrorCannotComplete};
  const auto everything = ax::Attribute::kRole | ax::Attribute::kDescription |
                          ax::Attribute::kValue | ax::Attribute::kChildren;

  macsim::Session session;
  auto& world = session.world();
  world.scene = scene.get();
  {
    ax::mac::Accessibility mac(clock);
    const auto app = mac.applicationElement(scene::Scene::kFirstProcessId);
    const auto windows = mac.read(app, ax::Attribute::kWindows).windows;
    ASSERT_TRUE(windows);
    const auto window = windows->at(0);
    const auto nodes = mac.read(window, ax::Attribute::kChildren).children.value();
    ASSERT_EQ(nodes.size(), 5u);
    for (std::size_t i = 0; i < std::size(values); ++i) {
      SCOPED_TRACE(values[i].id);
      EXPECT_EQ(mac.read(nodes[i], ax::Attribute::kValue).value, values[i].value);
      const std::size_t before = world.roundTrips;
      EXPECT_EQ(mac.read(nodes[i], everything).value, values[i].value);
      EXPECT_EQ(world.roundTrips - before, 1u);
    }
    for (AXError unimplemented : {kAXErrorNotImplemented, kAXErrorIllegalArgument}) {
      world.multipleReads = unimplemented;
      const std::size_t before = world.roundTrips;
      const ax::Reading reading = mac.read(nodes[4], everything);
      EXPECT_EQ(world.roundTrips - before, 5u);
      EXPECT_EQ(reading.description, "d");
      EXPECT_EQ(reading.value, ax::Value(1.0));
    }
    world.multipleReads.reset();

    const auto& failing = nodes[4];
    ASSERT_TRUE(mac.read(failing, everything).children.has_value());  // a list, before it fails
    for (AXError failure : errors) {
      SCOPED_TRACE(static_cast<int>(failure));
      world.failingReads = {{id("failing"), failure}};
      EXPECT_EQ(mac.read(failing, ax::Attribute::kRole).role, ax::Role{});
      const std::size_t before = world.roundTrips;
      const ax::Reading reading = mac.read(failing, everything);
      EXPECT_EQ(world.roundTrips - before, 1u);
      EXPECT_TRUE(reading.role.is(ax::RoleKind::kNone) && !reading.description &&
                  std::holds_alternative<std::monostate>(reading.value) && !reading.children);
      // The walk takes it for a leaf with no role and goes on: a failure that
      // came at once leaves Resolve answering.
      ax::Walk walk = ax::flatten(mac, window, 100, ax::ReadingPlan::everything());
      const auto& walked = walk.readAll();
      ASSERT_EQ(walked.size(), 6u);
      EXPECT_EQ(walked[5].role, ax::Role{});
    }
  }
  EXPECT_EQ(macsim::unreleased(), "");
}

// A Resolve that stops answering, at the start or once the request has
// operated something, or that answers too slowly: each request, set up as
// main sets it up, waits on a hung Resolve once and ends within 10 seconds
// (settle sleeps included) with the message of what it could not read or
// operate then.
TEST(ColorHelperOnMac, ResolveThatHangsOrCrawlsEndsEachRequestWithinTheBound) {
  using std::chrono::milliseconds;
  struct Case {
    const char* request;
    std::optional<std::size_t> hangsAfterOperations;
    milliseconds answerTime;
    std::string message;
  };
  const Case cases[] = {
      // Linux says "Open DaVinci Resolve" here, as Resolve's name is asked of
      // Resolve; AppKit lists the running instance without asking it, and only
      // its window goes unread.
      {R"({"action":"status","section":"primaries"})", 0, milliseconds(0),
       std::string(color::messages::kOpenProject)},
      // After the press that shows the palette and the first of two sets.
      {R"({"action":"nudge","section":"primaries","changes":{"0":0.1,"1":0.1}})", 2,
       milliseconds(0), std::string(color::messages::kAdjustmentNotAccepted)},
      // After that press and the reset's: the settle wait's first read fails.
      {R"({"action":"reset","section":"primaries","index":0})", 2, milliseconds(0),
       std::string(color::messages::kColorBarsUnavailable)},
      // Answers that each take 300 ms spend the request's 5 seconds mid-walk.
      {R"({"action":"status","section":"primaries"})", std::nullopt, milliseconds(300),
       std::string(color::messages::kOpenColorPage)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.request);
    testing::SceneFixture fixture;
    fixture.make(testing::defaultScene());
    macsim::Session session;
    auto& world = session.world();
    world.scene = fixture.scene.get();
    world.clock = &fixture.clock;
    world.hangsAfterOperations = c.hangsAfterOperations;
    world.answerTime = c.answerTime;
    ax::setUpProcess();
    EXPECT_EQ(world.messagingTimeouts, std::vector<float>{2.0f});
    {
      const auto mac = ax::makePlatformAccessibility({}, fixture.clock);
      const std::vector<std::string> args{c.request};
      std::ostringstream out;
      std::ostringstream err;
      const auto start = fixture.clock.now();
      EXPECT_EQ(
          color::helperMain(args, out, err, *mac, fixture.clock, color::messages::kMacMessages), 1);
      EXPECT_EQ(err.str(), c.message + "\n");
      EXPECT_LE(fixture.clock.now() - start, std::chrono::seconds(10));
    }
    EXPECT_EQ(world.unanswered, c.hangsAfterOperations ? 1u : 0u);
    EXPECT_EQ(macsim::unreleased(), "");
  }
}

}  // namespace
}  // namespace trovemark
