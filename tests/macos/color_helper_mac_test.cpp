// The macOS adapter's own mapping of what the platform hands back, against
// the simulated Mac. Whole requests through it are the Color helper's scene
// tables, registered a second time with TROVEMARK_SCENE_PORT=macos.

#include <gtest/gtest.h>

#include "color_helper/accessibility/ax_mac.h"
#include "color_helper/accessibility/element.h"
#include "testing/macos/simulation.h"
#include "testing/scene_fixture.h"

namespace trovemark {
namespace {

using testing::json;

// The kinds of value that only the port's "other" stands for (texts,
// numbers, elements, equality, sets and presses are the scene tables'), and
// each way a read fails, read singly and in one round trip.
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
  using F = macsim::Failure;
  struct Error {
    F failure;
    std::size_t
        roundTrips;  // of one read of a node: a whole-call failure falls back to single reads
  };
  const Error errors[] = {{F::kAttributeUnsupported, 1}, {F::kNoValue, 1}, {F::kCannotComplete, 5}};
  const auto everything = ax::Attribute::kRole | ax::Attribute::kDescription |
                          ax::Attribute::kValue | ax::Attribute::kChildren;

  macsim::Session session;
  auto& world = session.world();
  world.scene = scene.get();
  {
    ax::mac::Accessibility mac;
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

    const auto& failing = nodes[4];
    ASSERT_TRUE(mac.read(failing, everything).children.has_value());  // a list, before it fails
    for (const Error& e : errors) {
      SCOPED_TRACE(static_cast<int>(e.failure));
      world.failingReads = {{id("failing"), e.failure}};
      EXPECT_EQ(mac.read(failing, ax::Attribute::kRole).role, ax::Role{});
      const std::size_t before = world.roundTrips;
      const ax::Reading reading = mac.read(failing, everything);
      EXPECT_EQ(world.roundTrips - before, e.roundTrips);
      EXPECT_TRUE(reading.role.is(ax::RoleKind::kNone) && !reading.description &&
                  std::holds_alternative<std::monostate>(reading.value) && !reading.children);
      // The walk takes it for a leaf with no role and goes on.
      ax::Walk walk = ax::flatten(mac, window, 100, ax::ReadingPlan::everything());
      const auto& walked = walk.readAll();
      ASSERT_EQ(walked.size(), 6u);
      EXPECT_EQ(walked[5].role, ax::Role{});
    }
  }
  EXPECT_EQ(macsim::unreleased(), "");
}

}  // namespace
}  // namespace trovemark
