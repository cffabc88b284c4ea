// Scene files that cannot be used give a SceneError that says where and why,
// never a crash.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

#include "color_helper/accessibility/element.h"
#include "testing/scene_fixture.h"
#include "testing/temp_dir.h"

namespace trovemark::scene::test {
namespace {

using ::testing::AllOf;
using ::testing::HasSubstr;

struct BadScene {
  std::string json;
  std::string mentions;  // part of the message
};

std::string inWindow(const std::string& node) { return testing::oneWindow("[" + node + "]"); }

TEST(Loading, BadScenesGiveAClearSceneError) {
  const BadScene cases[] = {
      {"", "not valid JSON"},
      {"{\"applications\": [", "not valid JSON"},
      {"[]", "top level: must be an object, not a list"},
      {R"({"trusted":"yes"})", "trusted: must be true or false"},
      {R"({"applications":{}})", "applications: must be a list"},
      {R"({"application":[]})", "unknown key \"application\""},
      {R"({"applications":[3]})", "applications[0]: an application must be an object"},
      {R"({"applications":[{"focusedWindow":"0"}]})", "applications[0].focusedWindow"},
      {R"({"applications":[{"windows":[7]}]})", "applications[0].windows[0]: a node must be"},
      {inWindow(R"({"role":5})"), "windows[0].children[0].role: must be text"},
      {inWindow(R"({"id":3})"), "children[0].id: must be text"},
      {inWindow(R"({"id":"x"},{"id":"x"})"),
       "children[1].id: duplicate id \"x\" (first used at applications[0].windows[0].children[0])"},
      {inWindow(R"({"hidden":1})"), "children[0].hidden: must be true or false"},
      {inWindow(R"({"range":[1]})"), "range: must be [min, max]"},
      {inWindow(R"({"range":[5,1]})"), "range: min must not be greater than max"},
      {inWindow(R"({"onPress":{"set":"window","value":1}})"), "onPress: must be a list of effects"},
      {inWindow(R"({"onPress":[{"set":"nowhere","value":1}]})"),
       "children[0].onPress[0].set: no node has the id \"nowhere\""},
      {inWindow(R"({"onSet":[{"toggle":"ghost","afterMs":5}]})"),
       "onSet[0].toggle: no node has the id \"ghost\""},
      {inWindow(R"({"onPress":[{"afterMs":5}]})"), "needs exactly one of"},
      {inWindow(R"({"onPress":[{"set":"window"}]})"), "\"set\" needs a \"value\""},
      {inWindow(R"({"onPress":[{"hide":"window","value":1}]})"), "only \"set\" takes a \"value\""},
      {inWindow(R"({"onPress":[{"show":"window","afterMs":-1}]})"), "onPress[0].afterMs"},
      {inWindow(R"({"onPress":[{"show":"window","after":300}]})"), "unknown key \"after\""},
      {inWindow(R"({"onPress":[{"show":5}]})"), "onPress[0].show: must be the id of a node"},
      {inWindow(R"({"bind":"window"})"), "bind: must be an object"},
      {inWindow(R"({"bind":{}})"), "bind: needs the \"id\""},
      {inWindow(R"({"bind":{"id":"missing"}})"), "bind.id: no node has the id \"missing\""},
      {inWindow(R"({"bind":{"id":"window","scale":"2"}})"), "bind.scale: must be a number"},
      {inWindow(R"({"bind":{"id":"window","format":"%s"}})"), "bind.format: must hold"},
      {inWindow(R"({"bind":{"id":"window","format":"%n%f"}})"), "bind.format: must hold"},
      {inWindow(R"({"bind":{"id":"window","format":"%f %f"}})"), "exactly one conversion"},
      {inWindow(R"({"bind":{"id":"window","format":"plain"}})"), "exactly one conversion"},
      {inWindow(R"({"bind":{"id":"window","format":"%999f"}})"), "field width"},
      {inWindow(R"({"bind":{"id":"window","format":"%.100f"}})"), "precision"},
      {inWindow(R"({"bind":{"id":"window","format":"%*f"}})"), "bind.format: must hold"},
      {inWindow(R"({"children":[{"colour":1}]})"), "children[0].children[0]: unknown key"},
      {std::string(5000, '[') + std::string(5000, ']'), "nested more than"},
  };
  for (const BadScene& c : cases) {
    SCOPED_TRACE(c.json.substr(0, 200));
    testing::FakeClock clock;
    try {
      Scene::parse(c.json, clock);
      ADD_FAILURE() << "no SceneError";
    } catch (const SceneError& error) {
      EXPECT_NE(std::string(error.what()).find(c.mentions), std::string::npos) << error.what();
    }
  }
}

// Every level of nodes is two levels of nesting (the node and its children
// list). Reading them recursively once overflowed the stack of a sanitizer
// build well inside the nesting bound.
TEST(Loading, NodesNestedUpToTheBoundLoadAndWalk) {
  constexpr int kLevels = 1990;  // the leaf's object is at nesting level 3985
  std::string json = R"({"applications":[{"focusedWindow":0,"windows":[)";
  for (int i = 0; i < kLevels; ++i) json += R"({"role":"AXGroup","children":[)";
  json += R"({"id":"leaf","role":"AXStaticText","value":"deep"})";
  for (int i = 0; i < kLevels; ++i) json += "]}";
  json += "]}]}";

  testing::FakeClock clock;
  auto scene = Scene::parse(json, clock);
  EXPECT_EQ(scene->model().nodeCount(), kLevels + 1u);
  EXPECT_EQ(scene->valueOf("leaf"), ax::Value(std::string("deep")));
  const auto window =
      scene->read(scene->applicationElement(Scene::kFirstProcessId), ax::Attribute::kFocusedWindow)
          .focusedWindow;
  ASSERT_TRUE(window);
  ax::Walk walked = ax::flatten(*scene, window, 5000, ax::ReadingPlan::everything());
  const auto& walk = walked.readAll();
  ASSERT_EQ(walk.size(), kLevels + 1u);
  EXPECT_EQ(walk.back().text(), "deep");
}

// Any finite delay is a valid "afterMs". The clock counts nanoseconds in 64
// bits; a longer delay once overflowed into the past and came due at once.
TEST(Loading, AnyFiniteDelayLoadsAndOneBeyondTheClockNeverComes) {
  testing::FakeClock clock;
  auto scene = Scene::parse(inWindow(R"({"id":"button","role":"AXButton","onPress":[
      {"set":"a","value":1,"afterMs":1e300}, {"set":"b","value":1,"afterMs":9.3e12},
      {"set":"c","value":1,"afterMs":1e6}]}, {"id":"a","value":0}, {"id":"b","value":0},
      {"id":"c","value":0})"),
                            clock);
  ASSERT_TRUE(scene->press(scene->elementFor(scene->model().find("button").value())));
  clock.advance(std::chrono::hours(24 * 365));
  for (const auto& [id, expected] : {std::pair{"a", 0.0}, {"b", 0.0}, {"c", 1.0}}) {
    EXPECT_EQ(scene->valueOf(id), ax::Value(expected)) << id;
  }
  EXPECT_TRUE(scene->model().nextDue().has_value());  // still pending, never due
}

// Every key a file may hold loads, and what the engine writes of a scene loads
// back to the same scene.
TEST(Loading, KnownKeysLoadAndAWrittenSceneLoadsBackTheSame) {
  testing::FakeClock clock;
  const auto known = SceneModel::parse(
      R"({"_note":"kept for people","trusted":true,"applications":[{"_why":1,"windows":[
          {"id":"w","_n":0,"role":"AXWindow","description":"","value":null,"children":[
           {"id":"x","hidden":true,"refusePress":true,"refuseSet":true,"range":[0,0],
            "value":[],"onPress":[{"set":"w","value":{},"afterMs":5,"_n":0}],"onSet":[],
            "bind":{"id":"w","scale":2,"format":"%.1f %%","_n":0}}]}]}]})",
      clock);
  EXPECT_EQ(known->nodeCount(), 2u);
  const auto page = SceneModel::load(TROVEMARK_SOURCE_DIR "/scenes/color-page.json", clock);
  for (const SceneModel* model : {known.get(), page.get()}) {
    const auto again = SceneModel::parse(writeScene(model->snapshot()), clock);
    EXPECT_TRUE(again->snapshot() == model->snapshot());
  }

  // A node that an effect names gets an id when it has none, never one taken.
  SceneDescription made;
  made.applications.push_back({0, std::vector<NodeId>{0}});
  made.nodes.resize(3);
  made.nodes[0].children = std::vector<NodeId>{1, 2};
  made.nodes[1].id = "node-2";
  made.nodes[1].onPress = std::vector<Effect>(1);
  made.nodes[1].onPress->front().kind = Effect::Kind::kHide;
  made.nodes[1].onPress->front().target = 2;
  const auto written = SceneModel::parse(writeScene(made), clock);
  ASSERT_TRUE(written->press(written->find("node-2").value()));
  EXPECT_FALSE(written->isShown(2));
}

TEST(Loading, FilesLoadAndErrorsNameTheFile) {
  const testing::TempDir dir;
  testing::FakeClock clock;
  auto errorOf = [&](const std::filesystem::path& file) -> std::string {
    try {
      Scene::load(file, clock);
    } catch (const SceneError& error) {
      return error.what();
    }
    return "no error";
  };
  const auto good = dir.write("good.json", testing::oneWindow(R"([{"id":"n","value":1}])"));
  EXPECT_EQ(Scene::load(good, clock)->valueOf("n"), ax::Value(1.0));
  const auto bad = dir.write("bad.json", R"({"applications":[{"windows":[{"role":1}]}]})");
  EXPECT_THAT(errorOf(bad),
              AllOf(HasSubstr("bad.json"), HasSubstr("applications[0].windows[0].role")));
  EXPECT_THAT(errorOf(dir / "absent.json"),
              AllOf(HasSubstr("cannot read scene file"), HasSubstr("absent.json")));
  EXPECT_THAT(errorOf(dir.path()), HasSubstr("it is a folder"));
  // A file name that is not UTF-8 still gives a SceneError.
  EXPECT_THAT(errorOf(dir / "\xff.json"), HasSubstr("cannot read scene file"));
}

}  // namespace
}  // namespace trovemark::scene::test
