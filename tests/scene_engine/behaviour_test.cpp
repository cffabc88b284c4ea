// What pressing and setting do: default behaviours, effects, refusals, the
// delayed effects on the clock, bound texts, the log and change notices.

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "testing/scene_fixture.h"

namespace trovemark::scene::test {
namespace {

class Behaviour : public ::testing::Test, protected testing::SceneFixture {};
using Lines = std::vector<std::string>;

TEST_F(Behaviour, ACheckBoxWithoutOnPressTogglesAndOtherPressesOnlyRunTheirEffects) {
  // Anything but exactly 1 counts as off.
  for (const auto& [value, afterOne] : std::initializer_list<std::pair<const char*, double>>{
           {"0", 1}, {"1", 0}, {"0.5", 1}, {"null", 1}, {R"("1")", 1}, {"true", 1}}) {
    make(testing::oneWindow(std::string(R"([{"id":"box","role":"AXCheckBox","value":)") + value + "}]"));
    ASSERT_TRUE(scene->press(node("box")));
    EXPECT_EQ(number("box"), afterOne) << value;
    ASSERT_TRUE(scene->press(node("box")));
    EXPECT_EQ(number("box"), 1 - afterOne) << value;
  }

  make(testing::oneWindow(R"([
      {"id":"button","role":"AXButton","value":0},
      {"id":"inert","role":"AXCheckBox","value":0,"onPress":[]},
      {"id":"go","role":"AXCheckBox","value":0,"onPress":[
          {"set":"a","value":"text"}, {"set":"b","value":null}, {"toggle":"c"},
          {"show":"d"}, {"hide":"e"}]},
      {"id":"a","value":1}, {"id":"b","value":1}, {"id":"c","value":1},
      {"id":"d","hidden":true}, {"id":"e"}])"));
  for (const char* id : {"button", "inert", "go"}) {
    EXPECT_TRUE(scene->press(node(id)));
    EXPECT_EQ(number(id), 0.0) << id;
  }
  EXPECT_EQ(text("a"), "text");
  EXPECT_FALSE(scene->valueOf("b").has_value());
  EXPECT_EQ(number("c"), 0.0);
  EXPECT_TRUE(scene->isShown("d"));
  EXPECT_FALSE(scene->isShown("e"));
}

TEST_F(Behaviour, SetStoresTheNumberClampedToRangeAndRunsOnSet) {
  const double inf = std::numeric_limits<double>::infinity();
  for (const auto& [sent, stored] : std::initializer_list<std::pair<double, double>>{
           {5, 5}, {-20, -10}, {120, 100}, {100, 100}, {inf, 100}, {-inf, -10}}) {
    SCOPED_TRACE(sent);
    make(testing::oneWindow(R"([{"id":"s","role":"AXSlider","value":0,"range":[-10,100],
                        "onSet":[{"set":"seen","value":1}]},
                       {"id":"free","role":"AXSlider","value":0},
                       {"id":"seen","value":0}])"));
    ASSERT_TRUE(scene->setValue(node("s"), sent));
    EXPECT_EQ(number("s"), stored);
    EXPECT_EQ(number("seen"), 1.0);
    ASSERT_TRUE(scene->setValue(node("free"), sent));  // no range: kept as sent
    EXPECT_EQ(number("free"), sent);
    EXPECT_EQ(scene->operations().front().value, sent);  // the log keeps what was sent
  }
}

TEST_F(Behaviour, RefusalsFailAreLoggedAndChangeNothing) {
  make(testing::oneWindow(R"([
      {"id":"box","role":"AXCheckBox","value":0,"refusePress":true},
      {"id":"button","role":"AXButton","refusePress":true,"onPress":[{"set":"mark","value":1}]},
      {"id":"slider","role":"AXSlider","value":3,"refuseSet":true,
       "onSet":[{"set":"mark","value":2,"afterMs":10}]},
      {"id":"mark","value":0}])"));
  EXPECT_FALSE(scene->press(node("box")));
  EXPECT_FALSE(scene->press(node("button")));
  EXPECT_FALSE(scene->setValue(node("slider"), 7));
  // refusePress does not refuse a set, nor refuseSet a press.
  EXPECT_TRUE(scene->setValue(node("box"), 1));
  EXPECT_TRUE(scene->press(node("slider")));
  advanceMs(1000);
  EXPECT_EQ(number("box"), 1.0);
  EXPECT_EQ(number("slider"), 3.0);
  EXPECT_EQ(number("mark"), 0.0);
  EXPECT_FALSE(scene->model().nextDue().has_value());
  EXPECT_EQ(jsonLog(), (Lines{R"({"op":"press","id":"box","refused":true})",
                               R"({"op":"press","id":"button","refused":true})",
                               R"({"op":"set","id":"slider","value":7.0,"refused":true})",
                               R"({"op":"set","id":"box","value":1.0,"refused":false})",
                               R"({"op":"press","id":"slider","refused":false})"}));
}

TEST_F(Behaviour, DelayedEffectsApplyByTheClockInOrderBeforeTheNextOperation) {
  make(testing::oneWindow(R"([
      {"id":"reset","role":"AXButton","onPress":[
          {"set":"a","value":0,"afterMs":300}, {"set":"a","value":5,"afterMs":300},
          {"set":"b","value":0,"afterMs":100}, {"set":"c","value":9}, {"hide":"box","afterMs":50}]},
      {"id":"a","value":70}, {"id":"b","value":70}, {"id":"c","value":70},
      {"id":"box","role":"AXCheckBox","value":0}])"));
  const auto pressedAt = clock.now();
  ASSERT_TRUE(scene->press(node("reset")));
  EXPECT_EQ(number("c"), 9.0);  // no afterMs: at once
  EXPECT_EQ(number("a"), 70.0);
  EXPECT_EQ(scene->model().nextDue(), pressedAt + std::chrono::milliseconds(50));
  ASSERT_TRUE(scene->press(node("box")));
  advanceMs(50);
  EXPECT_FALSE(scene->press(node("box")));  // gone by the time the press arrives
  advanceMs(49);
  EXPECT_EQ(number("b"), 70.0);
  advanceMs(1);
  EXPECT_EQ(number("b"), 0.0);
  EXPECT_EQ(scene->model().nextDue(), pressedAt + std::chrono::milliseconds(300));
  advanceMs(199);
  EXPECT_EQ(number("a"), 70.0);
  // Both due at 300 ms: applied in list order, so the last one wins.
  clock.sleep(std::chrono::milliseconds(1));
  EXPECT_EQ(number("a"), 5.0);
  EXPECT_FALSE(scene->model().nextDue().has_value());
}

TEST_F(Behaviour, ABoundTextFollowsItsNodeWithScaleAndFormat) {
  make(testing::oneWindow(R"([
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
  EXPECT_FALSE(scene->valueOf("onText").has_value());
  EXPECT_FALSE(scene->valueOf("onBound").has_value());

  ASSERT_TRUE(scene->setValue(node("s"), -7.126));
  EXPECT_EQ(text("plain"), "-7.13");
  EXPECT_EQ(read("scaled", ax::kValue), ax::AttributeValue(std::string("-0.071")));
  ASSERT_TRUE(scene->press(node("go")));
  advanceMs(300);
  EXPECT_EQ(text("worded"), "Gain -25.0%");
}

TEST_F(Behaviour, ListenersHearValueVisibilityAndChildrenChanges) {
  make(R"({"applications":[{"windows":[
      {"id":"w","children":[
        {"id":"s","role":"AXSlider","value":1},
        {"id":"readout","bind":{"id":"s"}},
        {"id":"panel","hidden":true},
        {"id":"go","role":"AXButton","onPress":[
            {"set":"s","value":2}, {"show":"panel"}, {"hide":"w2","afterMs":10}]}]},
      {"id":"w2"}]}]})");
  SceneModel& model = scene->model();
  Lines heard;
  model.addListener([&](const Change& change) {
    static const char* kinds[] = {"value", "shown", "hidden", "children", "windows"};
    heard.push_back(std::string(kinds[static_cast<int>(change.kind)]) + " " +
                    (change.kind == Change::Kind::kWindowsChanged
                         ? std::to_string(change.application)
                         : model.id(change.node).value_or("?")));
  });
  ASSERT_TRUE(scene->setValue(node("s"), 2));
  // Setting the value it already holds (by "go") is no change.
  ASSERT_TRUE(scene->press(node("go")));
  advanceMs(10);
  model.advanceToNow();
  EXPECT_EQ(heard, (Lines{"value s", "value readout", "shown panel", "children w", "hidden w2",
                          "windows 0"}));
}

TEST_F(Behaviour, NodesWithoutIdWorkAndLogNullLikeForeignHandles) {
  make(testing::oneWindow(R"([{"role":"AXCheckBox","value":0}])"));
  const auto box = std::get<std::vector<ax::ElementRef>>(*read("window", ax::kChildren)).at(0);
  EXPECT_TRUE(scene->press(box));
  EXPECT_EQ(scene->attribute(box, ax::kValue), ax::AttributeValue(1.0));
  EXPECT_FALSE(scene->press(scene->applicationElement(Scene::kFirstProcessId)));
  EXPECT_FALSE(scene->setValue(nullptr, std::nan("")));
  // JSON has no NaN: such a value is written as null rather than as bad JSON.
  EXPECT_EQ(jsonLog(), (Lines{R"({"op":"press","id":null,"refused":false})",
                               R"({"op":"press","id":null,"refused":true})",
                               R"({"op":"set","id":null,"value":null,"refused":true})"}));
}

}  // namespace
}  // namespace trovemark::scene::test
