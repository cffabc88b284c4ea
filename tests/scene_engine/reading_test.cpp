// How a scene reads through the accessibility port: value kinds, missing
// attributes, children, windows, applications and vanished elements.

#include <gtest/gtest.h>

#include "scene_test_support.h"

namespace trovemark::scene::test {
namespace {

using Reading = SceneTest;

struct ValueCase {
  const char* json;
  std::optional<ax::AttributeValue> expected;
};

TEST_F(Reading, EachJsonValueKindReadsAsItsAttributeKind) {
  const ValueCase cases[] = {
      {R"("0.50")", ax::AttributeValue(std::string("0.50"))},
      {R"("")", ax::AttributeValue(std::string(""))},
      {"42", ax::AttributeValue(42.0)},
      {"-0.125", ax::AttributeValue(-0.125)},
      {"18446744073709551615", ax::AttributeValue(18446744073709551615.0)},
      {"null", std::nullopt},
      {"true", ax::AttributeValue(ax::OtherValue{"boolean"})},
      {"false", ax::AttributeValue(ax::OtherValue{"boolean"})},
      {"[1]", ax::AttributeValue(ax::OtherValue{"array"})},
      {R"({"a":1})", ax::AttributeValue(ax::OtherValue{"object"})},
  };
  for (const ValueCase& c : cases) {
    SCOPED_TRACE(c.json);
    open(oneWindow(std::string(R"([{"id":"n","value":)") + c.json + "}]"));
    const auto value = read("n", ax::kValue);
    ASSERT_EQ(value.has_value(), c.expected.has_value());
    if (!value) continue;
    // Element handles never come back as values, so comparing the
    // alternatives that can is enough.
    EXPECT_EQ(value->index(), c.expected->index());
    if (const auto* t = std::get_if<std::string>(&*value)) {
      EXPECT_EQ(*t, std::get<std::string>(*c.expected));
    }
    if (const auto* n = std::get_if<double>(&*value)) {
      EXPECT_EQ(*n, std::get<double>(*c.expected));
    }
    if (const auto* o = std::get_if<ax::OtherValue>(&*value)) {
      EXPECT_EQ(*o, std::get<ax::OtherValue>(*c.expected));
    }
  }
}

TEST_F(Reading, AbsentKeysAreMissingAttributesButEmptyTextIsPresent) {
  open(oneWindow(R"([{"id":"bare"}, {"id":"empty","role":"","description":""},
                     {"id":"nulls","role":null,"description":null,"value":null}])"));
  for (const char* name : {ax::kRole, ax::kDescription, ax::kValue}) {
    EXPECT_FALSE(read("bare", name).has_value()) << name;
    EXPECT_FALSE(read("nulls", name).has_value()) << name;
  }
  EXPECT_EQ(read("empty", ax::kRole), ax::AttributeValue(std::string()));
  EXPECT_EQ(read("empty", ax::kDescription), ax::AttributeValue(std::string()));
  EXPECT_FALSE(read("bare", "AXTitle").has_value());
}

TEST_F(Reading, ChildrenThatAreNotAListAreUnreadableAndTheWalkGoesOn) {
  open(oneWindow(R"([{"id":"a","children":"oops"}, {"id":"b","children":{}},
                     {"id":"c","children":[]}, {"id":"d"}, {"id":"e","children":[{"id":"e1"}]}])"));
  for (const char* id : {"a", "b", "d"}) EXPECT_FALSE(read(id, ax::kChildren).has_value()) << id;
  const auto empty = read("c", ax::kChildren);
  ASSERT_TRUE(empty.has_value());
  EXPECT_TRUE(std::get<std::vector<ax::ElementRef>>(*empty).empty());

  const auto walk = scene_->flatten(node("window"), 100);
  std::vector<NodeId> order;
  for (const ax::Element& element : walk) order.push_back(*scene_->nodeOf(element.ref));
  const auto& model = scene_->model();
  std::vector<std::string> ids;
  for (NodeId id : order) ids.push_back(model.id(id).value_or("?"));
  EXPECT_EQ(ids, (std::vector<std::string>{"window", "a", "b", "c", "d", "e", "e1"}));
}

TEST_F(Reading, HiddenNodesAndTheirSubtreesAreOutOfTheTreeUntilShown) {
  open(oneWindow(R"([{"id":"open","role":"AXButton","onPress":[{"show":"panel"}]},
                     {"id":"panel","hidden":true,"children":[{"id":"inner","value":3}]},
                     {"id":"after"}])"));
  EXPECT_EQ(scene_->flatten(node("window"), 100).size(), 3u);
  EXPECT_FALSE(scene_->isShown("panel"));
  EXPECT_FALSE(scene_->isShown("inner"));
  EXPECT_FALSE(scene_->isShown("no-such-id"));
  // The hidden subtree still has its values, for tests to inspect.
  EXPECT_EQ(number("inner"), 3.0);

  ASSERT_TRUE(scene_->press(node("open")));
  EXPECT_TRUE(scene_->isShown("inner"));
  const auto walk = scene_->flatten(node("window"), 100);
  ASSERT_EQ(walk.size(), 5u);
  EXPECT_EQ(walk[3].number(), 3.0);
}

TEST_F(Reading, AHandleToAHiddenNodeReadsNothingAndRefusesOperations) {
  open(oneWindow(R"([{"id":"close","onPress":[{"hide":"slider"}]},
                     {"id":"slider","role":"AXSlider","value":5,"onSet":[{"set":"mark","value":1}]},
                     {"id":"mark","value":0}])"));
  const ax::ElementRef slider = node("slider");
  ASSERT_TRUE(scene_->press(node("close")));
  for (const char* name : {ax::kRole, ax::kDescription, ax::kValue, ax::kChildren}) {
    EXPECT_FALSE(scene_->attribute(slider, name).has_value()) << name;
  }
  EXPECT_FALSE(scene_->setValue(slider, 9));
  EXPECT_FALSE(scene_->press(slider));
  EXPECT_EQ(number("slider"), 5.0);
  EXPECT_EQ(number("mark"), 0.0);
  EXPECT_EQ(logLines(),
            (std::vector<std::string>{R"({"op":"press","id":"close","refused":false})",
                                      R"({"op":"set","id":"slider","value":9.0,"refused":true})",
                                      R"({"op":"press","id":"slider","refused":true})"}));
}

TEST_F(Reading, IdentityIsTheNodeNotTheHandleObject) {
  open(oneWindow(R"([{"id":"a"},{"id":"b"}])"));
  const auto children = std::get<std::vector<ax::ElementRef>>(*read("window", ax::kChildren));
  const auto again = std::get<std::vector<ax::ElementRef>>(*read("window", ax::kChildren));
  EXPECT_TRUE(scene_->sameElement(children[0], again[0]));
  EXPECT_FALSE(scene_->sameElement(children[0], again[1]));
  // A handle of another scene with the same node index is another element.
  testing::FakeClock otherClock;
  auto other = Scene::parse(oneWindow(R"([{"id":"a"},{"id":"b"}])"), otherClock);
  EXPECT_FALSE(scene_->sameElement(children[0], other->elementFor(*other->model().find("a"))));
  EXPECT_FALSE(scene_->sameElement(children[0], nullptr));
}

TEST_F(Reading, ApplicationsAreListedOnlyForResolvesBundleIdentifier) {
  open(R"({"applications":[{"windows":[]},{"windows":[]}]})");
  const auto pids = scene_->runningApplications(Scene::kBundleIdentifier);
  ASSERT_EQ(pids.size(), 2u);
  EXPECT_NE(pids[0], pids[1]);
  EXPECT_EQ(scene_->runningApplications(Scene::kBundleIdentifier), pids);
  EXPECT_TRUE(scene_->runningApplications("com.blackmagic-design.DaVinciResolveLite").empty());
  EXPECT_TRUE(scene_->runningApplications("").empty());
  EXPECT_EQ(scene_->attribute(scene_->applicationElement(pids[1]), ax::kRole),
            ax::AttributeValue(std::string("AXApplication")));
  // A process that is not one of the scene's answers nothing.
  EXPECT_FALSE(scene_->attribute(scene_->applicationElement(pids[1] + 1), ax::kRole));

  open(R"({"applications":[]})");
  EXPECT_TRUE(scene_->runningApplications(Scene::kBundleIdentifier).empty());
  open("{}");
  EXPECT_TRUE(scene_->runningApplications(Scene::kBundleIdentifier).empty());
}

TEST_F(Reading, TrustedDefaultsToTrue) {
  open("{}");
  EXPECT_TRUE(scene_->isProcessTrusted());
  open(R"({"trusted":false,"applications":[]})");
  EXPECT_FALSE(scene_->isProcessTrusted());
}

struct WindowCase {
  const char* app;
  std::optional<int> focused;                      // index into the scene's windows
  std::optional<std::vector<std::string>> listed;  // ids of "AXWindows"
};

TEST_F(Reading, FocusedWindowAndWindowList) {
  const WindowCase cases[] = {
      {R"({"focusedWindow":1,"windows":[{"id":"w0"},{"id":"w1"}]})", 1,
       std::vector<std::string>{"w0", "w1"}},
      {R"({"focusedWindow":null,"windows":[{"id":"w0"},{"id":"w1"}]})", std::nullopt,
       std::vector<std::string>{"w0", "w1"}},
      {R"({"windows":[{"id":"w0"}]})", std::nullopt, std::vector<std::string>{"w0"}},
      {R"({"focusedWindow":2,"windows":[{"id":"w0"},{"id":"w1"}]})", std::nullopt,
       std::vector<std::string>{"w0", "w1"}},
      {R"({"focusedWindow":-1,"windows":[{"id":"w0"}]})", std::nullopt,
       std::vector<std::string>{"w0"}},
      {R"({"focusedWindow":0,"windows":[{"id":"w0","hidden":true},{"id":"w1"}]})", std::nullopt,
       std::vector<std::string>{"w1"}},
      {R"({"focusedWindow":0,"windows":[]})", std::nullopt, std::vector<std::string>{}},
      {R"({"focusedWindow":0})", std::nullopt, std::nullopt},
      {R"({"focusedWindow":0,"windows":"w0"})", std::nullopt, std::nullopt},
  };
  for (const WindowCase& c : cases) {
    SCOPED_TRACE(c.app);
    open(std::string(R"({"applications":[)") + c.app + "]}");
    const ax::ElementRef app =
        scene_->applicationElement(scene_->runningApplications(Scene::kBundleIdentifier).at(0));
    const auto focused = scene_->attribute(app, ax::kFocusedWindow);
    ASSERT_EQ(focused.has_value(), c.focused.has_value());
    if (c.focused) {
      const auto windows = scene_->model().windows(0);
      EXPECT_TRUE(scene_->sameElement(std::get<ax::ElementRef>(*focused),
                                      scene_->elementFor(windows->at(*c.focused))));
    }
    const auto listed = scene_->attribute(app, ax::kWindows);
    ASSERT_EQ(listed.has_value(), c.listed.has_value());
    if (!c.listed) continue;
    std::vector<std::string> ids;
    for (const auto& ref : std::get<std::vector<ax::ElementRef>>(*listed)) {
      ids.push_back(scene_->model().id(*scene_->nodeOf(ref)).value_or("?"));
    }
    EXPECT_EQ(ids, *c.listed);
  }
}

TEST_F(Reading, ADeepTreeWalksWithoutExhaustingTheStack) {
  constexpr int kDepth = 1500;
  std::string json = R"({"applications":[{"focusedWindow":0,"windows":[)";
  for (int i = 0; i < kDepth; ++i) json += R"({"role":"AXGroup","children":[)";
  json += R"({"id":"leaf","value":1})";
  for (int i = 0; i < kDepth; ++i) json += "]}";
  json += "]}]}";
  open(json);
  const auto app =
      scene_->applicationElement(scene_->runningApplications(Scene::kBundleIdentifier).at(0));
  const auto window = std::get<ax::ElementRef>(*scene_->attribute(app, ax::kFocusedWindow));
  const auto walk = scene_->flatten(window, 5000);
  ASSERT_EQ(walk.size(), static_cast<std::size_t>(kDepth + 1));
  EXPECT_EQ(walk.back().number(), 1.0);
}

TEST_F(Reading, EveryPortCallIsCounted) {
  open(oneWindow(R"([{"id":"a"},{"id":"b"}])"));
  const std::size_t before = scene_->calls();
  scene_->flatten(node("window"), 100);
  // Four reads for each of the three nodes.
  EXPECT_EQ(scene_->calls() - before, 12u);
}

}  // namespace
}  // namespace trovemark::scene::test
