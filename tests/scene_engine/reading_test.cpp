// How a scene reads through the accessibility port: value kinds, missing
// attributes and children. Hidden nodes, identity and the applications are
// held by the helper's requests on the Color page (tests/color_helper).

#include <gtest/gtest.h>

#include "testing/scene_fixture.h"

namespace trovemark::scene::test {
namespace {

class Reading : public ::testing::Test, protected testing::SceneFixture {};
using V = ax::AttributeValue;

TEST_F(Reading, EachJsonValueKindReadsAsItsAttributeKind) {
  const std::pair<const char*, std::optional<V>> cases[] = {
      {R"("0.50")", V(std::string("0.50"))},
      {R"("")", V(std::string(""))},
      {"42", V(42.0)},
      {"-0.125", V(-0.125)},
      {"18446744073709551615", V(18446744073709551615.0)},
      {"null", std::nullopt},
      {"true", V(ax::OtherValue{"boolean"})},
      {"false", V(ax::OtherValue{"boolean"})},
      {"[1]", V(ax::OtherValue{"array"})},
      {R"({"a":1})", V(ax::OtherValue{"object"})},
  };
  for (const auto& [json, expected] : cases) {
    make(testing::oneWindow(std::string(R"([{"id":"n","value":)") + json + "}]"));
    EXPECT_EQ(read("n", ax::kValue), expected) << json;
  }
}

TEST_F(Reading, AbsentKeysAreMissingAttributesButEmptyTextIsPresent) {
  make(testing::oneWindow(R"([{"id":"bare"}, {"id":"empty","role":"","description":""},
                     {"id":"nulls","role":null,"description":null,"value":null}])"));
  for (const char* name : {ax::kRole, ax::kDescription, ax::kValue}) {
    EXPECT_FALSE(read("bare", name).has_value()) << name;
    EXPECT_FALSE(read("nulls", name).has_value()) << name;
  }
  EXPECT_EQ(read("empty", ax::kRole), V(std::string()));
  EXPECT_EQ(read("empty", ax::kDescription), V(std::string()));
  EXPECT_FALSE(read("bare", "AXTitle").has_value());
}

TEST_F(Reading, ChildrenThatAreNotAListAreUnreadableAndTheWalkGoesOn) {
  make(testing::oneWindow(R"([{"id":"a","children":"oops"}, {"id":"b","children":{}},
                     {"id":"c","children":[]}, {"id":"d"}, {"id":"e","children":[{"id":"e1"}]}])"));
  for (const char* id : {"a", "b", "d"}) EXPECT_FALSE(read(id, ax::kChildren).has_value()) << id;
  EXPECT_EQ(read("c", ax::kChildren), V(std::vector<ax::ElementRef>{}));

  // The walk itself is the element layer's (WalkTest); every port call is counted.
  const std::size_t before = scene->calls();
  EXPECT_EQ(scene->flatten(node("window"), 100).size(), 7u);
  EXPECT_EQ(scene->calls() - before, 4 * 7u);
}

}  // namespace
}  // namespace trovemark::scene::test
