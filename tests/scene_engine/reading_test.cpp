// How a scene reads through the accessibility port: value kinds, missing
// attributes, children, applications and vanished elements.

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

TEST_F(Reading, HiddenNodesAreOutOfTheTreeAndTheirHandlesReadNothingUntilShown) {
  make(testing::oneWindow(R"([{"id":"open","role":"AXButton","onPress":[{"show":"panel"}]},
                     {"id":"panel","hidden":true,"children":[{"id":"inner","value":3}]},
                     {"id":"close","onPress":[{"hide":"slider"}]},
                     {"id":"slider","role":"AXSlider","value":5,"onSet":[{"set":"mark","value":1}]},
                     {"id":"mark","value":0}])"));
  EXPECT_EQ(scene->flatten(node("window"), 100).size(), 5u);
  EXPECT_FALSE(scene->isShown("inner"));
  EXPECT_FALSE(scene->isShown("no-such-id"));
  EXPECT_EQ(number("inner"), 3.0);  // tests still see hidden values
  ASSERT_TRUE(scene->press(node("open")));
  EXPECT_TRUE(scene->isShown("inner"));
  EXPECT_EQ(scene->flatten(node("window"), 100)[3].number(), 3.0);

  const ax::ElementRef slider = node("slider");
  ASSERT_TRUE(scene->press(node("close")));
  for (const char* name : {ax::kRole, ax::kDescription, ax::kValue, ax::kChildren}) {
    EXPECT_FALSE(scene->attribute(slider, name).has_value()) << name;
  }
  EXPECT_FALSE(scene->setValue(slider, 9));
  EXPECT_FALSE(scene->press(slider));
  EXPECT_EQ(number("slider"), 5.0);
  EXPECT_EQ(number("mark"), 0.0);
  EXPECT_EQ(jsonLog().back(), R"({"op":"press","id":"slider","refused":true})");
}

TEST_F(Reading, IdentityIsTheNodeNotTheHandleObject) {
  make(testing::oneWindow(R"([{"id":"a"},{"id":"b"}])"));
  const auto children = std::get<std::vector<ax::ElementRef>>(*read("window", ax::kChildren));
  const auto again = std::get<std::vector<ax::ElementRef>>(*read("window", ax::kChildren));
  EXPECT_TRUE(scene->sameElement(children[0], again[0]));
  EXPECT_FALSE(scene->sameElement(children[0], again[1]));
  // A handle of another scene with the same node index is another element.
  testing::FakeClock otherClock;
  auto other = Scene::parse(testing::oneWindow(R"([{"id":"a"},{"id":"b"}])"), otherClock);
  EXPECT_FALSE(scene->sameElement(children[0], other->elementFor(*other->model().find("a"))));
  EXPECT_FALSE(scene->sameElement(children[0], nullptr));
}

TEST_F(Reading, ApplicationsAreListedOnlyForResolvesBundleIdentifier) {
  make(R"({"applications":[{"windows":[]},{"windows":[]}]})");
  EXPECT_TRUE(scene->isProcessTrusted());
  const auto pids = scene->runningApplications(Scene::kBundleIdentifier);
  ASSERT_EQ(pids.size(), 2u);
  EXPECT_NE(pids[0], pids[1]);
  EXPECT_TRUE(scene->runningApplications("com.blackmagic-design.DaVinciResolveLite").empty());
  EXPECT_EQ(scene->attribute(scene->applicationElement(pids[1]), ax::kRole),
            V(std::string("AXApplication")));
  // A process that is not one of the scene's answers nothing.
  EXPECT_FALSE(scene->attribute(scene->applicationElement(pids[1] + 1), ax::kRole));

  make(R"({"trusted":false})");
  EXPECT_FALSE(scene->isProcessTrusted());
  EXPECT_TRUE(scene->runningApplications(Scene::kBundleIdentifier).empty());
}

}  // namespace
}  // namespace trovemark::scene::test
