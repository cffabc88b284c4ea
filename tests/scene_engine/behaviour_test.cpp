// What pressing and setting do where the Color page's own scene never goes:
// toggles, "onSet", effects due together, change notices, refusals and the log
// the stand-in writes. Clamping, delays, bound texts and hiding are held by the
// helper's requests on that page (dispatcher and fault injection tests).

#include <gtest/gtest.h>

#include <cmath>

#include "testing/scene_fixture.h"

namespace trovemark::scene::test {
namespace {

class Behaviour : public ::testing::Test, protected testing::SceneFixture {};
using Lines = std::vector<std::string>;

TEST_F(Behaviour, ACheckBoxWithoutOnPressTogglesAndOtherPressesOnlyRunTheirEffects) {
  // Anything but exactly 1 counts as off.
  for (const auto& [value, afterOne] : std::initializer_list<std::pair<const char*, double>>{
           {"0", 1}, {"1", 0}, {"0.5", 1}, {"null", 1}, {R"("1")", 1}}) {
    make(testing::oneWindow(std::string(R"([{"id":"box","role":"AXCheckBox","value":)") + value +
                            "}]"));
    ASSERT_TRUE(scene->press(node("box")));
    EXPECT_EQ(number("box"), afterOne) << value;
    ASSERT_TRUE(scene->press(node("box")));
    EXPECT_EQ(number("box"), 1 - afterOne) << value;
  }

  make(testing::oneWindow(R"([
      {"id":"button","role":"AXButton","value":0},
      {"id":"inert","role":"AXCheckBox","value":0,"onPress":[]},
      {"id":"go","role":"AXSlider","value":0,"onSet":[{"set":"a","value":null}, {"toggle":"c"}]},
      {"id":"a","value":1}, {"id":"c","value":1}])"));
  for (const char* id : {"button", "inert"}) {
    EXPECT_TRUE(scene->press(node(id)));
    EXPECT_EQ(number(id), 0.0) << id;
  }
  ASSERT_TRUE(scene->setValue(node("go"), 4));
  EXPECT_EQ(scene->valueOf("a"), ax::Value());
  EXPECT_EQ(number("c"), 0.0);
}

// Both due at the same moment: applied in list order, so the last one wins.
TEST_F(Behaviour, DelayedEffectsDueTogetherApplyInListOrder) {
  make(testing::oneWindow(R"([{"id":"go","role":"AXButton","onPress":[
      {"set":"a","value":0,"afterMs":300}, {"set":"a","value":5,"afterMs":300}]},
      {"id":"a","value":70}])"));
  ASSERT_TRUE(scene->press(node("go")));
  advanceMs(300);
  EXPECT_EQ(number("a"), 5.0);
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
  // Handles that name no node are refused too; JSON has no NaN, so such a
  // value is written as null rather than as bad JSON.
  EXPECT_FALSE(scene->press(scene->applicationElement(Scene::kFirstProcessId)));
  EXPECT_FALSE(scene->setValue(nullptr, std::nan("")));
  EXPECT_EQ(testing::jsonLog(*scene),
            (Lines{R"({"op":"press","id":"box","refused":true})",
                   R"({"op":"press","id":"button","refused":true})",
                   R"({"op":"set","id":"slider","value":7.0,"refused":true})",
                   R"({"op":"set","id":"box","value":1.0,"refused":false})",
                   R"({"op":"press","id":"slider","refused":false})",
                   R"({"op":"press","id":null,"refused":true})",
                   R"({"op":"set","id":null,"value":null,"refused":true})"}));
}

}  // namespace
}  // namespace trovemark::scene::test
