// Finding Resolve's window, and making the wanted palette and mode show.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "color_helper/accessibility/element.h"
#include "color_helper/messages.h"
#include "color_helper/switching.h"
#include "color_helper/window.h"
#include "testing/color_scene.h"

namespace trovemark::color {
namespace {

using ::testing::Contains;
using ::testing::ElementsAreArray;
using testing::failureOf;
using testing::json;
using testing::nodeById;

json window(const std::string& description, bool hidden = false) {
  return {{"role", "AXWindow"}, {"description", description}, {"hidden", hidden}};
}

// What the scene offers as focused window and window list, and what the
// helper makes of them.
TEST(CurrentWindowTest, PrefersTheFocusedWindowOfTheFirstInstance) {
  const json w0 = window("first"), w1 = window("second"), both = {w0, w1};
  const std::pair<json, std::string_view> cases[] = {
      {json::array(), messages::kOpenResolve},
      {{{{"focusedWindow", 1}, {"windows", both}}}, "second"},
      {{{{"focusedWindow", nullptr}, {"windows", both}}}, "first"},
      {{{{"windows", both}}}, "first"},
      {{{{"focusedWindow", 2}, {"windows", both}}}, "first"},
      {{{{"focusedWindow", -1}, {"windows", both}}}, "first"},
      {{{{"focusedWindow", 0}, {"windows", {window("first", true), w1}}}}, "second"},
      {{{{"focusedWindow", 0}, {"windows", json::array()}}}, messages::kOpenProject},
      {{{{"focusedWindow", 0}}}, messages::kOpenProject},
      {{{{"focusedWindow", 0}, {"windows", "w0"}}}, messages::kOpenProject},
      {{{{"focusedWindow", nullptr}, {"windows", json::array()}},
        {{"focusedWindow", 0}, {"windows", {w0}}}},
       messages::kOpenProject},
  };
  for (const auto& [applications, expected] : cases) {
    testing::SceneFixture fixture;
    fixture.make({{"applications", applications}});
    std::string found;
    const std::string failure = failureOf([&] {
      found = ax::asText(fixture.scene->attribute(currentWindow(*fixture.scene), ax::kDescription));
    });
    EXPECT_EQ(found.empty() ? failure : found, expected) << applications;
  }
}

// The failures of switching are tested with whole requests (dispatcher_test).
class ShowPaletteTest : public ::testing::Test {
 protected:
  std::vector<std::string> show(const std::string& mode = "Sharpen",
                                const std::string& section = "blur") {
    fixture.make(testing::sceneOf(page));
    std::vector<std::string> texts;
    auto& scene = *fixture.scene;
    for (const auto& e : showPalette(scene, currentWindow(scene), section, mode)) {
      texts.push_back(e.text());
    }
    return texts;
  }
  json& node(const std::string& id) { return nodeById(page, id); }

  json page = testing::colorPage();
  testing::SceneFixture fixture;
};

TEST_F(ShowPaletteTest, PrimariesGivesTheWalkAfterPressingColorBarsWhenItIsNotOn) {
  EXPECT_THAT(show("", "primaries"), Contains("Primaries - Color Bars"));
  EXPECT_TRUE(fixture.log().empty());
  // A press that shows something but leaves the box off: the walk after the
  // press is what comes back, and nothing checks the box again.
  node("scopes") = {
      {"id", "marker"}, {"role", "AXStaticText"}, {"value", "after"}, {"hidden", true}};
  node("colorBars")["onPress"] = {{{"show", "marker"}}};
  for (json value : {json(0), json(nullptr), json(0.5)}) {
    node("colorBars")["value"] = value;
    EXPECT_THAT(show("", "primaries"), Contains("after"));
    EXPECT_THAT(fixture.log(), ElementsAreArray({"press colorBars"}));
  }
}

TEST_F(ShowPaletteTest, BlurModeIsTheBoxWithinFifteenPlacesOfTheTitle) {
  // "Blur" names both the palette button and a mode: the mode is the one
  // near the title.
  show("Blur");
  EXPECT_THAT(fixture.log(), ElementsAreArray({"press modeBlur"}));
  for (int fillers : {13, 14}) {
    page = testing::colorPage();
    auto& children = node("blurPalette")["children"];
    for (int i = 0; i < fillers; ++i) {
      children.insert(children.begin() + 1, testing::textNode("filler"));
    }
    // modeBlur now stands 1 + fillers places after the title.
    EXPECT_EQ(failureOf([&] { show("Blur"); }),
              fillers == 13 ? "no failure" : messages::modeUnavailable("Blur"));
  }
}

}  // namespace
}  // namespace trovemark::color
