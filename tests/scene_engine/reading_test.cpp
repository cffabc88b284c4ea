// How a scene reads through the accessibility port: value kinds, missing
// attributes and children. Hidden nodes, identity and the applications are
// held by the helper's requests on the Color page (tests/color_helper).

#include <gtest/gtest.h>

#include "color_helper/accessibility/element.h"
#include "testing/scene_fixture.h"

namespace trovemark::scene::test {
namespace {

class Reading : public ::testing::Test, protected testing::SceneFixture {};
using V = ax::Value;
using ax::Attribute;

TEST_F(Reading, EachJsonValueKindReadsAsItsValueKind) {
  const std::pair<const char*, V> cases[] = {
      {R"("0.50")", V(std::string("0.50"))},
      {R"("")", V(std::string(""))},
      {"42", V(42.0)},
      {"-0.125", V(-0.125)},
      {"18446744073709551615", V(18446744073709551615.0)},
      {"null", V()},
      {"true", V(ax::OtherValue{"boolean"})},
      {"false", V(ax::OtherValue{"boolean"})},
      {"[1]", V(ax::OtherValue{"array"})},
      {R"({"a":1})", V(ax::OtherValue{"object"})},
  };
  for (const auto& [json, expected] : cases) {
    make(testing::oneWindow(std::string(R"([{"id":"n","value":)") + json + "}]"));
    EXPECT_EQ(read("n", Attribute::kValue).value, expected) << json;
  }
}

TEST_F(Reading, AbsentKeysAreMissingAttributesButEmptyTextIsPresent) {
  make(testing::oneWindow(R"([{"id":"bare"}, {"id":"empty","role":"","description":""},
                     {"id":"nulls","role":null,"description":null,"value":null},
                     {"id":"other","role":"AXRow"}, {"id":"slider","role":"AXSlider"}])"));
  const auto all = Attribute::kRole | Attribute::kDescription | Attribute::kValue;
  for (const char* id : {"bare", "nulls"}) {
    const ax::Reading reading = read(id, all);
    EXPECT_EQ(reading.role, ax::Role{}) << id;
    EXPECT_FALSE(reading.description.has_value()) << id;
    EXPECT_EQ(reading.value, V()) << id;
  }
  // An empty role is no role; an empty description is one.
  EXPECT_EQ(read("empty", all).role, ax::Role{});
  EXPECT_EQ(read("empty", all).description, std::string());
  // A role keeps its name whatever its kind.
  EXPECT_EQ(read("other", all).role, (ax::Role{ax::RoleKind::kOther, "AXRow"}));
  EXPECT_EQ(read("slider", all).role, (ax::Role{ax::RoleKind::kSlider, "AXSlider"}));
}

TEST_F(Reading, ChildrenThatAreNotAListAreUnreadableAndTheWalkGoesOn) {
  make(testing::oneWindow(R"([{"id":"a","children":"oops"}, {"id":"b","children":{}},
                     {"id":"c","children":[]}, {"id":"d"}, {"id":"e","children":[{"id":"e1"}]}])"));
  for (const char* id : {"a", "b", "d"}) {
    EXPECT_FALSE(read(id, Attribute::kChildren).children.has_value()) << id;
  }
  EXPECT_EQ(read("c", Attribute::kChildren).children, std::vector<ax::ElementRef>{});

  // The walk itself is the element layer's (WalkTest); every port call is counted.
  const std::size_t before = scene->calls();
  ax::Walk walk = ax::flatten(*scene, node("window"), 100, ax::ReadingPlan::everything());
  EXPECT_EQ(walk.readAll().size(), 7u);
  EXPECT_EQ(scene->calls() - before, 2 * 7u);
}

}  // namespace
}  // namespace trovemark::scene::test
