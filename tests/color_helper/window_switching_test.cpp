// Finding Resolve's window, and making the wanted palette and mode show.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "color_helper/accessibility/element.h"
#include "color_helper/messages.h"
#include "color_helper/switching.h"
#include "color_helper/window.h"
#include "tests/color_helper/color_page.h"
#include "tests/color_helper/failure.h"

namespace trovemark::color {
namespace {

using testing::colorPage;
using ::testing::Contains;
using ::testing::ElementsAre;
using testing::failureOf;
using ::testing::IsEmpty;
using testing::json;
using testing::nodeById;

json window(const std::string& description, bool hidden = false) {
  return {{"role", "AXWindow"}, {"description", description}, {"hidden", hidden}};
}

TEST(CurrentWindowTest, PrefersTheFocusedWindowOfTheFirstInstance) {
  const json w0 = window("first"), w1 = window("second");
  struct Case {
    json applications;
    std::string expected;  // the window's description, or the failure
  };
  const Case cases[] = {
      {json::array(), std::string(messages::kOpenResolve)},
      {{{{"focusedWindow", 1}, {"windows", {w0, w1}}}}, "second"},
      {{{{"focusedWindow", nullptr}, {"windows", {w0, w1}}}}, "first"},
      {{{{"focusedWindow", 0}, {"windows", {window("first", true), w1}}}}, "second"},
      {{{{"focusedWindow", nullptr}, {"windows", json::array()}}},
       std::string(messages::kOpenProject)},
      {{{{"focusedWindow", nullptr}}}, std::string(messages::kOpenProject)},
      {{{{"focusedWindow", nullptr}, {"windows", json::array()}},
        {{"focusedWindow", 0}, {"windows", {w0}}}},
       std::string(messages::kOpenProject)},
  };
  for (const auto& c : cases) {
    testing::SceneFixture fixture;
    fixture.make({{"applications", c.applications}});
    std::string found;
    const std::string failure = failureOf(
        [&] { found = ax::element(*fixture.scene, currentWindow(*fixture.scene)).description; });
    EXPECT_EQ(found.empty() ? failure : found, c.expected) << c.applications;
  }
}

class ShowPaletteTest : public ::testing::Test {
 protected:
  std::vector<ax::Element> show(const std::string& section, const std::string& mode = "Sharpen") {
    fixture.make(testing::sceneOf(page));
    auto& scene = *fixture.scene;
    return showPalette(scene, currentWindow(scene), section, mode);
  }
  std::string failureOfShow(const std::string& section, const std::string& mode = "Sharpen") {
    return failureOf([&] { show(section, mode); });
  }
  static std::vector<std::string> texts(const std::vector<ax::Element>& walk) {
    std::vector<std::string> result;
    for (const auto& e : walk) result.push_back(e.text());
    return result;
  }

  json page = colorPage();
  testing::SceneFixture fixture;
};

TEST_F(ShowPaletteTest, NeedsTheColorPageForEitherSection) {
  page = {{"role", "AXWindow"}, {"children", {testing::textNode("Primaries of Edit")}}};
  EXPECT_EQ(failureOfShow("primaries"), messages::kOpenColorPage);
  EXPECT_EQ(failureOfShow("blur"), messages::kOpenColorPage);
}

TEST_F(ShowPaletteTest, PrimariesPressesColorBarsOnlyWhenItIsNotOn) {
  EXPECT_THAT(texts(show("primaries")), Contains("Primaries - Color Bars"));
  EXPECT_THAT(fixture.log(), IsEmpty());

  // A press that shows something but leaves the box off: the walk after the
  // press is what comes back, and nothing checks the box again.
  for (json value : {json(0), json(nullptr), json(0.5)}) {
    page = colorPage();
    auto& box = nodeById(page, "colorBars");
    box["value"] = value;
    box["onPress"] = {{{"show", "marker"}}};
    nodeById(page, "scopes") = {
        {"id", "marker"}, {"role", "AXStaticText"}, {"value", "after"}, {"hidden", true}};
    EXPECT_THAT(texts(show("primaries")), Contains("after"));
    EXPECT_THAT(fixture.log(), ElementsAre("press colorBars"));
  }

  page = colorPage();
  nodeById(page, "colorBars")["description"] = "Colour Bars";
  EXPECT_EQ(failureOfShow("primaries"), messages::kColorBarsUnavailable);

  page = colorPage();
  nodeById(page, "colorBars")["value"] = 0;
  nodeById(page, "colorBars")["refusePress"] = true;
  EXPECT_EQ(failureOfShow("primaries"), messages::kControlNotActivated);
}

TEST_F(ShowPaletteTest, BlurSwitchesToTheModeBoxNearItsTitle) {
  show("blur", "Sharpen");
  EXPECT_THAT(fixture.log(), IsEmpty());
  // "Blur" names both the palette button and a mode: the mode is the one
  // near the title.
  show("blur", "Blur");
  EXPECT_THAT(fixture.log(), ElementsAre("press modeBlur"));
  EXPECT_EQ(failureOfShow("blur", "Grain"), "Resolve Grain mode is unavailable");
}

TEST_F(ShowPaletteTest, BlurOpensAClosedPaletteFirst) {
  nodeById(page, "blurPalette")["hidden"] = true;
  EXPECT_THAT(texts(show("blur")), Contains("Blur - Sharpen"));
  EXPECT_THAT(fixture.log(), ElementsAre("press blurButton"));

  nodeById(page, "blurButton").erase("onPress");  // the press toggles, opens nothing
  EXPECT_EQ(failureOfShow("blur"), messages::modeUnavailable("Sharpen"));

  nodeById(page, "blurButton")["description"] = "Blurs";
  EXPECT_EQ(failureOfShow("blur"), messages::kBlurUnavailable);
}

TEST_F(ShowPaletteTest, ModeBoxMustStandWithinFifteenPlacesOfTheTitle) {
  for (int fillers : {13, 14}) {
    page = colorPage();
    auto& children = nodeById(page, "blurPalette")["children"];
    for (int i = 0; i < fillers; ++i) {
      children.insert(children.begin() + 1, testing::textNode("filler"));
    }
    // modeBlur now stands 1 + fillers places after the title.
    EXPECT_EQ(failureOfShow("blur", "Blur"),
              fillers == 13 ? "no failure" : messages::modeUnavailable("Blur"));
  }
}

}  // namespace
}  // namespace trovemark::color
