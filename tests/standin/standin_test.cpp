// resolve-standin as an AT-SPI client sees it: the scene's tree, operations
// through the bus, refusals, delayed effects and hidden nodes, the log and the
// program's own life (ready, SIGTERM, bad arguments).

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "bench/standin_process.h"
#include "testing/desktop/standin_client.h"
#include "testing/temp_dir.h"
#include "testing/wait.h"

namespace trovemark::standin::testing {
namespace {

using trovemark::testing::eventually;
using trovemark::testing::readFile;
using trovemark::testing::TempDir;

const std::string kStandin = TROVEMARK_BINARY_DIR "/bin/resolve-standin";

constexpr const char* kScene = R"({"applications": [
  {"focusedWindow": 1, "windows": [
    {"id": "aux", "role": "AXWindow", "description": "Inspector", "children": []},
    {"id": "main", "role": "AXWindow", "description": "Color", "children": [
      {"id": "title", "role": "AXStaticText", "value": "Primaries - Wheels"},
      {"id": "bars", "role": "AXCheckBox", "description": "Color Bars", "value": 0,
       "onPress": [{"toggle": "bars"}, {"set": "title", "value": "Primaries - Color Bars"}]},
      {"id": "wheels", "role": "AXGroup", "description": "Wheels", "children": [
        {"id": "lift", "role": "AXSlider", "description": "Lift", "value": 0.123456789,
         "range": [-1, 1]},
        {"id": "lift-text", "role": "AXStaticText", "bind": {"id": "lift", "scale": 100}},
        {"id": "reset", "role": "AXButton", "description": "Reset", "refusePress": true,
         "onPress": [{"set": "lift", "value": 0}]},
        {"id": "blur", "role": "AXCheckBox", "description": "Blur", "value": 1},
        {"id": "later", "role": "AXButton", "description": "Later", "hidden": true}
      ]},
      {"id": "show", "role": "AXButton", "description": "Show",
       "onPress": [{"show": "later", "afterMs": 300}, {"set": "lift", "value": -0.5, "afterMs": 300}]},
      {"id": "hide", "role": "AXButton", "description": "Hide", "onPress": [{"hide": "later"}]},
      {"id": "odd", "role": "AXUnheardOf", "description": "Odd"},
      {"role": "AXGroup", "description": "Opaque", "children": "unreadable"},
      {"id": "flag", "role": "AXStaticText", "description": "Flag", "value": true},
      {"id": "nothing", "role": "AXStaticText", "description": "Nothing"}
    ]}
  ]}
]})";

NodeView node(std::string role, std::string name, std::vector<NodeView> children = {}) {
  NodeView view;
  view.role = std::move(role);
  view.name = std::move(name);
  view.enabled = true;
  view.children = std::move(children);
  return view;
}

NodeView withValue(NodeView view, double value) {
  view.value = value;
  return view;
}

NodeView withText(NodeView view, std::string text) {
  view.text = std::move(text);
  return view;
}

NodeView checked(NodeView view, bool on) {
  view.checked = on;
  return view;
}

// Compares field by field, naming the path of the first difference.
void expectSame(const NodeView& expected, const NodeView& actual, const std::string& at) {
  SCOPED_TRACE(at);
  EXPECT_EQ(expected.role, actual.role);
  EXPECT_EQ(expected.name, actual.name);
  EXPECT_EQ(expected.value, actual.value);
  EXPECT_EQ(expected.text, actual.text);
  EXPECT_EQ(expected.enabled, actual.enabled);
  EXPECT_EQ(expected.checked, actual.checked);
  EXPECT_EQ(expected.active, actual.active);
  ASSERT_EQ(expected.children.size(), actual.children.size());
  for (std::size_t i = 0; i < expected.children.size(); ++i) {
    expectSame(expected.children[i], actual.children[i], at + "/" + std::to_string(i));
  }
}

class StandinTest : public ::testing::Test {
 protected:
  void start(std::vector<std::string> extra = {}) {
    scene_ = dir_.write("scene.json", kScene);
    log_ = dir_.path() / "operations.log";
    std::vector<std::string> arguments{kStandin, scene_.string(), "--log", log_.string()};
    arguments.insert(arguments.end(), extra.begin(), extra.end());
    process_ = bench::Process::start(arguments);
    ASSERT_EQ(process_->readLine(), "ready") << process_->errors();
    application_ = client_.application(process_->pid());
    ASSERT_NE(application_, nullptr) << "the stand-in never registered with the desktop";
  }

  void TearDown() override {
    if (process_) {
      EXPECT_EQ(process_->stop(), 0) << "SIGTERM must end it cleanly";
    }
  }

  AtspiAccessible* find(const std::string& name) {
    AtspiAccessible* found = client_.find(application_, name);
    if (found) owned_.emplace_back(found, g_object_unref);
    return found;
  }

  TempDir dir_;
  std::filesystem::path scene_;
  std::filesystem::path log_;
  std::unique_ptr<bench::Process> process_;
  AtspiClient client_;
  AtspiAccessible* application_ = nullptr;
  std::vector<std::unique_ptr<AtspiAccessible, decltype(&g_object_unref)>> owned_;
};

TEST_F(StandinTest, ShowsTheSceneTreeExactly) {
  start();
  NodeView reset = node("push button", "Reset");
  reset.enabled = false;  // it refuses presses
  NodeView focused = node(
      "frame", "Color",
      {withText(node("label", ""), "Primaries - Wheels"),
       checked(node("check box", "Color Bars"), false),
       node("panel", "Wheels",
            {withValue(node("slider", "Lift"), 0.123456789), withText(node("label", ""), "12.35"),
             reset, checked(node("check box", "Blur"), true)}),
       node("push button", "Show"), node("push button", "Hide"), node("unknown", "Odd"),
       node("panel", "Opaque"), node("label", "Flag"), node("label", "Nothing")});
  focused.active = true;
  NodeView expected = node("application", "DaVinci Resolve", {node("frame", "Inspector"), focused});
  expectSame(expected, client_.read(application_), "application");
}

TEST_F(StandinTest, OperationsReachTheModelAndTheLogAsTheyHappen) {
  start();
  ASSERT_TRUE(client_.act(find("Color Bars"), "Press"));
  EXPECT_TRUE(client_.read(find("Color Bars")).checked);
  const NodeView window = client_.read(find("Color"));
  EXPECT_EQ(window.children[0].text, "Primaries - Color Bars");
  ASSERT_TRUE(client_.act(find("Color Bars"), "Toggle"));
  EXPECT_FALSE(client_.read(find("Color Bars")).checked);

  // Doubles travel exactly both ways; a range clamps what is stored.
  ASSERT_TRUE(client_.setValue(find("Lift"), 0.987654321));
  EXPECT_EQ(client_.read(find("Lift")).value, 0.987654321);
  EXPECT_EQ(client_.read(find("Wheels")).children[1].text, "98.77");
  ASSERT_TRUE(client_.setValue(find("Lift"), 5));
  EXPECT_EQ(client_.read(find("Lift")).value, 1.0);

  // A refusal: the bus still answers success, so the node shows as not
  // enabled, and nothing of its effect happens.
  client_.act(find("Reset"), "Press");
  EXPECT_FALSE(client_.read(find("Reset")).enabled);
  EXPECT_EQ(client_.read(find("Lift")).value, 1.0);

  EXPECT_EQ(readFile(log_), R"({"op":"press","id":"bars","refused":false}
{"op":"press","id":"bars","refused":false}
{"op":"set","id":"lift","value":0.987654321,"refused":false}
{"op":"set","id":"lift","value":5.0,"refused":false}
{"op":"press","id":"reset","refused":true}
)");
}

TEST_F(StandinTest, DelayedEffectsArriveAndHiddenNodesComeBackUnderTheSamePath) {
  start();
  ASSERT_TRUE(client_.act(find("Show"), "Press"));
  ASSERT_TRUE(eventually([&] { return find("Later") != nullptr; }))
      << "the delayed show never happened";
  const NodeView wheels = client_.read(find("Wheels"));
  ASSERT_EQ(wheels.children.size(), 5u);
  EXPECT_EQ(wheels.children[0].value, -0.5);
  EXPECT_EQ(wheels.children[1].text, "-50.00");
  AtspiAccessible* later = find("Later");
  const std::string path = client_.path(later);
  ASSERT_TRUE(client_.readable(later));

  ASSERT_TRUE(client_.act(find("Hide"), "Press"));
  EXPECT_EQ(client_.read(find("Wheels")).children.size(), 4u);
  EXPECT_FALSE(client_.readable(later)) << "a hidden node must read as gone";
  EXPECT_FALSE(client_.act(later, "Press"));

  ASSERT_TRUE(client_.act(find("Show"), "Press"));
  ASSERT_TRUE(eventually([&] { return client_.readable(later); }));
  EXPECT_EQ(client_.path(find("Later")), path);
}

TEST(StandinProgram, RefusesBadInputWithAClearStatus) {
  TempDir dir;
  const std::string scene = dir.write("scene.json", kScene).string();
  const std::string broken =
      dir.write("broken.json", R"({"applications": [{"windows": 3}], )").string();
  struct Case {
    std::vector<std::string> arguments;
    int status;
  };
  const std::vector<Case> cases = {
      {{}, 2},
      {{scene, "--application"}, 2},
      {{scene, "--application", "one"}, 2},
      {{scene, "--frobnicate"}, 2},
      {{scene, scene}, 2},
      {{scene, "--application", "1"}, 1},
      {{broken}, 1},
      {{(dir.path() / "missing.json").string()}, 1},
      {{scene, "--log", (dir.path() / "no/such/folder/log").string()}, 1},
  };
  for (Case c : cases) {
    c.arguments.insert(c.arguments.begin(), kStandin);
    const auto process = bench::Process::start(c.arguments);
    EXPECT_EQ(process->readLine(), std::nullopt) << "nothing but \"ready\" goes to standard output";
    EXPECT_EQ(process->wait(), c.status) << ::testing::PrintToString(c.arguments);
  }
}

}  // namespace
}  // namespace trovemark::standin::testing
