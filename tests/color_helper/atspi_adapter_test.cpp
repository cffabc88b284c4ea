// The AT-SPI adapter on a private desktop: its pipelined walk against the
// node-by-node reference walk, on the default scene and on scenes built to be
// awkward (the two lists must be identical: the same elements, in the same
// order, with the same roles, descriptions and values, cut at the same
// place), then the same adapter, with the product's own settings, when
// Resolve stops answering.

#include <dbus/dbus.h>
#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <chrono>

#include <string>
#include <variant>

#include "color_helper/accessibility/atspi_linux.h"
#include "color_helper/accessibility/dbus_linux.h"
#include "color_helper/accessibility/element.h"
#include "color_helper/accessibility/platform.h"
#include "testing/desktop/e2e_support.h"
#include "testing/desktop/reference_walk.h"

namespace trovemark::e2e {
namespace {

using nlohmann::json;

std::string describe(const ax::Element& e) {
  const auto* object = dynamic_cast<const ax::atspi::Object*>(e.ref.get());
  return (object ? object->path() : "?") + " " + e.role.name + " [" + e.describedAs() + "]";
}

// The whole walk, every attribute of every node read.
std::vector<ax::Element> walkAll(ax::Accessibility& ax, const ax::ElementRef& root,
                                 std::size_t limit) {
  ax::Walk walk = ax::flatten(ax, root, limit, ax::ReadingPlan::everything());
  return walk.readAll();
}

class WalkEquality : public ::testing::Test {
 protected:
  void start(const json& scene) {
    sceneFile_ = dir_.write("scene.json", scene.dump());
    standin_ = startStandin(sceneFile_);
    ASSERT_TRUE(reference_.findWindow());
  }

  // Both walks from the window with `limit`, or, with none, the product's
  // own walk (its limit, and what its plan reads of each node) against the
  // reference cut at 1,800; the number of nodes listed. What the product's
  // plan does not read is not compared.
  std::size_t expectSameWalk(std::optional<std::size_t> limit = std::nullopt) {
    const auto expected = reference_.walk(limit.value_or(1800)).elements;
    ax::Walk productWalk = ax::flatten(ax_, reference_.window());
    const auto actual = limit ? walkAll(ax_, reference_.window(), *limit) : productWalk.readAll();
    const std::string cut = limit ? "limit " + std::to_string(*limit) : "the product's limit";
    EXPECT_EQ(actual.size(), expected.size()) << cut;
    for (std::size_t i = 0; i < std::min(actual.size(), expected.size()); ++i) {
      const bool same =
          ax_.sameElement(actual[i].ref, expected[i].ref) && actual[i].role == expected[i].role &&
          (!actual[i].description || actual[i].description == expected[i].description) &&
          (!actual[i].value || actual[i].value == expected[i].value);
      if (!same) {
        ADD_FAILURE() << cut << ", element " << i << ": the backend read " << describe(actual[i])
                      << ", the reference " << describe(expected[i]);
        break;
      }
    }
    return actual.size();
  }

  // Presses the first element the backend lists with this description.
  void press(const std::string& description) {
    for (const auto& e : walkAll(ax_, reference_.window(), 100000)) {
      if (e.describedAs() == description) {
        ASSERT_TRUE(ax_.press(e.ref)) << description;
        return;
      }
    }
    FAIL() << "no element " << description;
  }

  TempDir dir_;
  std::filesystem::path sceneFile_;
  std::unique_ptr<testing::Standin> standin_;
  ax::SystemClock clock_;
  // Many walks on one adapter: more than one request's wait budget.
  ax::atspi::Accessibility ax_{clock_, [] {
                                 ax::setUpProcess();
                                 auto options = ax::atspi::busesNamedIn(ax::currentEnvironment());
                                 options.waitBudget = std::chrono::minutes(5);
                                 return options;
                               }()};
  testing::ReferenceWalker reference_;
};

TEST_F(WalkEquality, DefaultSceneWithEitherPalette) {
  start(defaultScene());
  const std::size_t listed = expectSameWalk();
  EXPECT_GT(listed, 1000u);
  // Showing the Blur palette makes the window longer than the limit: what
  // comes after the 1,800th element stays unseen.
  press("Blur");
  EXPECT_EQ(expectSameWalk(), 1800u);
}

json node(const std::string& role, const std::string& description, json value = nullptr) {
  json n = {{"role", role}, {"description", description}};
  if (!value.is_null()) n["value"] = value;
  return n;
}

// Deep nesting, wide lists, every kind of value, children lists that cannot
// be read, nodes without role or description, and subtrees hidden and shown.
json awkwardScene() {
  json chain = node("AXGroup", "depth 0");
  json* tip = &chain;
  for (int depth = 1; depth < 120; ++depth) {
    (*tip)["children"] = json::array({node("AXStaticText", "", std::to_string(depth)),
                                      node("AXGroup", "depth " + std::to_string(depth))});
    tip = &(*tip)["children"][1];
  }
  // Every kind of node in turn: numbers of any size, texts, check boxes,
  // buttons, nodes without role or description, unreadable children lists,
  // a static text with a number and a slider with a text.
  json unreadable = node("AXGroup", "unreadable children");
  unreadable["children"] = "not a list";
  json wide = json::array();
  for (int i = 0; i < 40; ++i) {
    const json kinds[] = {node("AXSlider", "slider", 0.123456789 * i - 1e-7),
                          node("AXStaticText", "", i % 3 ? "0.50" : ""),
                          node("AXCheckBox", "", i % 3 ? 1 : 0),
                          node("AXButton", "press " + std::to_string(i)),
                          json{{"description", "no role"}},
                          json{{"role", "AXGroup"}},
                          unreadable,
                          node("AXSlider", "big", 1e12 + i),
                          node("AXStaticText", "a number", 0.25 * i),
                          node("AXSlider", "a text", "12%")};
    wide.push_back(kinds[i % 10]);
  }
  json window = json::parse(R"({"role":"AXWindow","description":"Awkward","children":[
      {"role":"AXButton","description":"Show","onPress":[{"show":"hidden-group"}]},
      {"role":"AXButton","description":"Hide","onPress":[{"hide":"shown-group"}]},
      {"id":"hidden-group","role":"AXGroup","description":"hidden group","hidden":true,
       "children":[{"role":"AXSlider","description":"inside","value":42.5},
                   {"role":"AXButton","description":"deep"}]},
      {"id":"shown-group","role":"AXGroup","description":"shown group",
       "children":[{"role":"AXStaticText","description":"","value":"visible"}]},
      {"role":"AXGroup","description":"wide"},
      {"role":"AXStaticText","description":"","value":"last"}]})");
  auto& children = window["children"];
  children.insert(children.begin() + 3, chain);
  children[5]["children"] = wide;
  return {{"applications", json::array({{{"focusedWindow", 0}, {"windows", {window}}}})}};
}

TEST_F(WalkEquality, AwkwardSceneCutAnywhere) {
  start(awkwardScene());
  const std::size_t total = expectSameWalk(100000);
  // None, through the chain, at its tip, in the wide list, at the very end.
  for (std::size_t limit : {0u, 1u, 2u, 3u, 4u, 100u, 240u, 241u, 242u, 260u}) {
    expectSameWalk(limit);
  }
  expectSameWalk(total - 1);
  expectSameWalk(total);

  press("Show");
  press("Hide");
  const std::size_t after = expectSameWalk(100000);
  EXPECT_EQ(after, total + 3 - 2);  // three nodes shown, two hidden
  expectSameWalk(5);
  expectSameWalk(after - 1);
}

class DesktopBackend : public WalkEquality {};

// A hung Resolve costs one deadline, the product's two seconds: the calls in
// flight wait it out, and after them nothing more is even sent. Reads of the
// peer are then absent and operations on it refused.
TEST_F(DesktopBackend, ResolveThatStopsAnsweringCostsOneTwoSecondDeadline) {
  start(defaultScene());
  const ax::ElementRef& windowRef = reference_.window();
  const auto list = walkAll(ax_, windowRef, 100000);
  ASSERT_GT(list.size(), 1000u);
  // Windows are an application's, not an element's.
  EXPECT_FALSE(ax_.read(windowRef, ax::Attribute::kWindows).windows.has_value());

  standin_->signal(SIGSTOP);
  const auto calls = ax_.calls();
  const auto started = std::chrono::steady_clock::now();
  const auto after = walkAll(ax_, windowRef, 1800);
  ASSERT_EQ(after.size(), 1u);
  EXPECT_EQ(after[0].role, ax::Role{});
  EXPECT_EQ(after[0].value, ax::Value());
  EXPECT_EQ(ax_.read(list[1].ref, ax::Attribute::kValue).value, ax::Value());
  EXPECT_FALSE(ax_.read(windowRef, ax::Attribute::kChildren).children.has_value());
  EXPECT_FALSE(ax_.press(list[1].ref));
  EXPECT_FALSE(ax_.setValue(list[1].ref, 1));
  const auto cost = std::chrono::steady_clock::now() - started;
  EXPECT_GE(cost, std::chrono::seconds(2));
  EXPECT_LT(cost, std::chrono::seconds(4));
  EXPECT_LE(ax_.calls() - calls, 4u);
  standin_->signal(SIGCONT);
}

}  // namespace
}  // namespace trovemark::e2e
