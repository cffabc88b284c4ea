// What pressing and setting do: default behaviours, effects, refusals, the
// delayed effects on the clock, bound texts, the log and change notices.

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "scene_test_support.h"

namespace trovemark::scene::test {
namespace {

using Behaviour = SceneTest;

TEST_F(Behaviour, ACheckBoxWithoutOnPressTogglesBetweenZeroAndOne) {
  struct Case {
    const char* value;
    double afterOne;
  };
  // Anything but exactly 1 counts as off.
  const Case cases[] = {{"0", 1}, {"1", 0}, {"0.5", 1}, {"null", 1}, {R"("1")", 1}, {"true", 1}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.value);
    open(oneWindow(std::string(R"([{"id":"box","role":"AXCheckBox","value":)") + c.value + "}]"));
    ASSERT_TRUE(scene_->press(node("box")));
    EXPECT_EQ(number("box"), c.afterOne);
    ASSERT_TRUE(scene_->press(node("box")));
    EXPECT_EQ(number("box"), 1 - c.afterOne);
  }
}

TEST_F(Behaviour, OtherPressesOnlyRunTheirEffects) {
  open(oneWindow(R"([
      {"id":"button","role":"AXButton","value":0},
      {"id":"custom","role":"AXCheckBox","value":0,"onPress":[{"set":"title","value":"on"}]},
      {"id":"inert","role":"AXCheckBox","value":0,"onPress":[]},
      {"id":"title","role":"AXStaticText","value":"off"}])"));
  EXPECT_TRUE(scene_->press(node("button")));
  EXPECT_EQ(number("button"), 0.0);
  EXPECT_TRUE(scene_->press(node("custom")));
  EXPECT_EQ(number("custom"), 0.0);
  EXPECT_EQ(text("title"), "on");
  EXPECT_TRUE(scene_->press(node("inert")));
  EXPECT_EQ(number("inert"), 0.0);
}

TEST_F(Behaviour, EffectsSetToggleShowAndHide) {
  open(oneWindow(R"([
      {"id":"go","role":"AXButton","onPress":[
          {"set":"a","value":"text"}, {"set":"b","value":null}, {"toggle":"c"},
          {"show":"d"}, {"hide":"e"}]},
      {"id":"a","value":1}, {"id":"b","value":1}, {"id":"c","value":1},
      {"id":"d","hidden":true}, {"id":"e"}])"));
  ASSERT_TRUE(scene_->press(node("go")));
  EXPECT_EQ(text("a"), "text");
  EXPECT_FALSE(scene_->valueOf("b").has_value());
  EXPECT_EQ(number("c"), 0.0);
  EXPECT_TRUE(scene_->isShown("d"));
  EXPECT_FALSE(scene_->isShown("e"));
}

TEST_F(Behaviour, SetStoresTheNumberClampedToRangeAndRunsOnSet) {
  struct Case {
    double sent;
    double stored;
  };
  const double inf = std::numeric_limits<double>::infinity();
  const Case cases[] = {{5, 5}, {-20, -10}, {120, 100}, {100, 100}, {inf, 100}, {-inf, -10}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.sent);
    open(oneWindow(R"([{"id":"s","role":"AXSlider","value":0,"range":[-10,100],
                        "onSet":[{"set":"seen","value":1}]},
                       {"id":"free","role":"AXSlider","value":0},
                       {"id":"seen","value":0}])"));
    ASSERT_TRUE(scene_->setValue(node("s"), c.sent));
    EXPECT_EQ(number("s"), c.stored);
    EXPECT_EQ(number("seen"), 1.0);
    // Without a range the number is kept as sent.
    ASSERT_TRUE(scene_->setValue(node("free"), c.sent));
    EXPECT_EQ(number("free"), c.sent);
    // The log keeps the number sent, not the one stored.
    EXPECT_EQ(scene_->operations().front().value, c.sent);
  }
}

TEST_F(Behaviour, RefusalsFailAreLoggedAndChangeNothing) {
  open(oneWindow(R"([
      {"id":"box","role":"AXCheckBox","value":0,"refusePress":true},
      {"id":"button","role":"AXButton","refusePress":true,"onPress":[{"set":"mark","value":1}]},
      {"id":"slider","role":"AXSlider","value":3,"refuseSet":true,
       "onSet":[{"set":"mark","value":2,"afterMs":10}]},
      {"id":"both","role":"AXSlider","value":3,"refuseSet":true,"refusePress":true},
      {"id":"mark","value":0}])"));
  EXPECT_FALSE(scene_->press(node("box")));
  EXPECT_FALSE(scene_->press(node("button")));
  EXPECT_FALSE(scene_->setValue(node("slider"), 7));
  // refusePress does not refuse a set, nor refuseSet a press.
  EXPECT_TRUE(scene_->setValue(node("box"), 1));
  EXPECT_TRUE(scene_->press(node("slider")));
  advanceMs(1000);
  EXPECT_EQ(number("box"), 1.0);
  EXPECT_EQ(number("slider"), 3.0);
  EXPECT_EQ(number("mark"), 0.0);
  EXPECT_FALSE(scene_->model().nextDue().has_value());
  EXPECT_EQ(logLines(),
            (std::vector<std::string>{R"({"op":"press","id":"box","refused":true})",
                                      R"({"op":"press","id":"button","refused":true})",
                                      R"({"op":"set","id":"slider","value":7.0,"refused":true})",
                                      R"({"op":"set","id":"box","value":1.0,"refused":false})",
                                      R"({"op":"press","id":"slider","refused":false})"}));
}

TEST_F(Behaviour, DelayedEffectsApplyByTheClockInOrder) {
  open(oneWindow(R"([
      {"id":"reset","role":"AXButton","onPress":[
          {"set":"a","value":0,"afterMs":300}, {"set":"a","value":5,"afterMs":300},
          {"set":"b","value":0,"afterMs":100}, {"set":"c","value":9}]},
      {"id":"a","value":70}, {"id":"b","value":70}, {"id":"c","value":70}])"));
  const auto pressedAt = clock_.now();
  ASSERT_TRUE(scene_->press(node("reset")));
  EXPECT_EQ(number("c"), 9.0);  // no afterMs: at once
  EXPECT_EQ(number("a"), 70.0);
  EXPECT_EQ(scene_->model().nextDue(), pressedAt + std::chrono::milliseconds(100));
  advanceMs(99);
  EXPECT_EQ(number("b"), 70.0);
  advanceMs(1);
  EXPECT_EQ(number("b"), 0.0);
  EXPECT_EQ(scene_->model().nextDue(), pressedAt + std::chrono::milliseconds(300));
  advanceMs(199);
  EXPECT_EQ(number("a"), 70.0);
  // Both due at 300 ms: applied in list order, so the last one wins.
  clock_.sleep(std::chrono::milliseconds(1));
  EXPECT_EQ(number("a"), 5.0);
  EXPECT_FALSE(scene_->model().nextDue().has_value());
}

TEST_F(Behaviour, DueEffectsApplyBeforeTheNextOperation) {
  open(oneWindow(R"([
      {"id":"hide","role":"AXButton","onPress":[{"hide":"box","afterMs":50}]},
      {"id":"box","role":"AXCheckBox","value":0}])"));
  ASSERT_TRUE(scene_->press(node("hide")));
  ASSERT_TRUE(scene_->press(node("box")));
  advanceMs(50);
  // The box has gone by the time the second press arrives.
  EXPECT_FALSE(scene_->press(node("box")));
  EXPECT_EQ(number("box"), 1.0);
}

TEST_F(Behaviour, ABoundTextFollowsItsNodeWithScaleAndFormat) {
  open(oneWindow(R"([
      {"id":"s","role":"AXSlider","value":25},
      {"id":"plain","role":"AXStaticText","bind":{"id":"s"}},
      {"id":"scaled","role":"AXStaticText","bind":{"id":"s","scale":0.01,"format":"%.3f"}},
      {"id":"worded","role":"AXStaticText","bind":{"id":"s","scale":-2,"format":"Gain %+.1f%%"}},
      {"id":"t","value":"text"},
      {"id":"onText","bind":{"id":"t"}},
      {"id":"onBound","bind":{"id":"plain"}},
      {"id":"go","role":"AXButton","onPress":[{"set":"s","value":12.5,"afterMs":300}]}])"));
  EXPECT_EQ(text("plain"), "25.00");
  EXPECT_EQ(text("scaled"), "0.250");
  EXPECT_EQ(text("worded"), "Gain -50.0%");
  // A bind to something that holds no number reads as missing.
  EXPECT_FALSE(scene_->valueOf("onText").has_value());
  EXPECT_FALSE(scene_->valueOf("onBound").has_value());

  ASSERT_TRUE(scene_->setValue(node("s"), -7.126));
  EXPECT_EQ(text("plain"), "-7.13");
  EXPECT_EQ(read("scaled", ax::kValue), ax::AttributeValue(std::string("-0.071")));
  ASSERT_TRUE(scene_->press(node("go")));
  advanceMs(300);
  EXPECT_EQ(text("worded"), "Gain -25.0%");
}

TEST_F(Behaviour, ListenersHearValueVisibilityAndChildrenChanges) {
  open(R"({"applications":[{"windows":[
      {"id":"w","children":[
        {"id":"s","role":"AXSlider","value":1},
        {"id":"readout","bind":{"id":"s"}},
        {"id":"panel","hidden":true},
        {"id":"go","role":"AXButton","onPress":[
            {"set":"s","value":2}, {"show":"panel"}, {"hide":"w2","afterMs":10}]}]},
      {"id":"w2"}]}]})");
  SceneModel& model = scene_->model();
  std::vector<std::string> heard;
  model.addListener([&](const Change& change) {
    static const char* kinds[] = {"value", "shown", "hidden", "children", "windows"};
    heard.push_back(std::string(kinds[static_cast<int>(change.kind)]) + " " +
                    (change.kind == Change::Kind::kWindowsChanged
                         ? std::to_string(change.application)
                         : model.id(change.node).value_or("?")));
  });
  ASSERT_TRUE(scene_->setValue(node("s"), 2));
  EXPECT_EQ(heard, (std::vector<std::string>{"value s", "value readout"}));
  heard.clear();
  // Setting the value it already holds is no change.
  ASSERT_TRUE(scene_->press(node("go")));
  EXPECT_EQ(heard, (std::vector<std::string>{"shown panel", "children w"}));
  heard.clear();
  advanceMs(10);
  model.advanceToNow();
  EXPECT_EQ(heard, (std::vector<std::string>{"hidden w2", "windows 0"}));
}

TEST_F(Behaviour, NodesWithoutIdWorkAndLogNullLikeForeignHandles) {
  open(oneWindow(R"([{"role":"AXCheckBox","value":0}])"));
  const auto box = std::get<std::vector<ax::ElementRef>>(*read("window", ax::kChildren)).at(0);
  EXPECT_TRUE(scene_->press(box));
  EXPECT_EQ(scene_->attribute(box, ax::kValue), ax::AttributeValue(1.0));
  const auto app =
      scene_->applicationElement(scene_->runningApplications(Scene::kBundleIdentifier).at(0));
  EXPECT_FALSE(scene_->press(app));
  EXPECT_FALSE(scene_->setValue(nullptr, 1.5));
  EXPECT_EQ(logLines(),
            (std::vector<std::string>{R"({"op":"press","id":null,"refused":false})",
                                      R"({"op":"press","id":null,"refused":true})",
                                      R"({"op":"set","id":null,"value":1.5,"refused":true})"}));
}

TEST(OperationJson, HoldsExactlyTheLoggedFields) {
  const Operation press{"press", std::nullopt, std::nullopt, false};
  EXPECT_EQ(press.toJson(), nlohmann::json::parse(R"({"op":"press","id":null,"refused":false})"));
  const Operation set{"set", "lift-y", -0.25, true};
  EXPECT_EQ(set.toJson(),
            nlohmann::json::parse(R"({"op":"set","id":"lift-y","value":-0.25,"refused":true})"));
  EXPECT_EQ(set.toJsonLine(), R"({"op":"set","id":"lift-y","value":-0.25,"refused":true})");
  // JSON has no NaN: such a value is written as null rather than as bad JSON.
  const Operation nan{"set", "s", std::nan(""), false};
  EXPECT_TRUE(nlohmann::json::parse(nan.toJsonLine())["value"].is_null());
}

}  // namespace
}  // namespace trovemark::scene::test
