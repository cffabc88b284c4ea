// The default scene, scenes/color-page.json: its size, where the markers that
// the Color helper searches for stand in every state of the palettes, and
// what its readouts show. What its controls do is exercised by the helper's
// own tests on the same scene.

#include <gtest/gtest.h>

#include "color_helper/accessibility/element.h"
#include "color_helper/dispatcher.h"
#include "testing/scene_fixture.h"

namespace trovemark::scene::test {
namespace {

class ColorPage : public ::testing::Test, protected testing::SceneFixture {
 protected:
  void SetUp() override { make(testing::defaultScene().dump()); }

  std::vector<ax::Element> walk() { return scene->flatten(node("window"), 100000); }

  // Index of the first element from `from` that matches, or the list's size.
  static std::size_t find(const std::vector<ax::Element>& list, const std::string& role,
                          const std::string& text, std::size_t from = 0, bool exact = false) {
    for (std::size_t i = from; i < list.size(); ++i) {
      const ax::Element& e = list[i];
      const std::string& label = role == "AXCheckBox" ? e.description : e.text();
      if (e.role == role &&
          ((exact || role == "AXCheckBox") ? label == text : label.starts_with(text))) {
        return i;
      }
    }
    return list.size();
  }
};

// What the Color helper needs must stay inside its walk limit, and the
// markers it searches for must appear nowhere else.
TEST_F(ColorPage, MarkersStayInsideTheWalkLimitAndInsideThePalettes) {
  EXPECT_EQ(walk().size(), 1801u);
  for (const char* pressed : {"", "color-bars", "palette-blur", "blur-mode-sharpen", "mode-log"}) {
    SCOPED_TRACE(pressed);
    if (*pressed) {
      ASSERT_TRUE(scene->press(node(pressed)));
    }
    const auto all = walk();
    const std::size_t primaries = find(all, "AXStaticText", "Primaries - ");
    const std::size_t blurTitle = find(all, "AXStaticText", "Blur - ");
    const std::size_t scopes = find(all, "AXStaticText", "Scopes", 0, true);
    ASSERT_LT(primaries, all.size());
    EXPECT_EQ(find(all, "AXStaticText", "Primaries - ", primaries + 1), all.size());
    EXPECT_LT(scopes, ax::kDefaultWalkLimit - 1000);
    EXPECT_LT(find(all, "AXCheckBox", "Color Bars"), primaries + 15);
    if (blurTitle < all.size()) {
      EXPECT_EQ(find(all, "AXStaticText", "Blur - ", blurTitle + 1), all.size());
      EXPECT_LT(find(all, "AXCheckBox", "Blur"), blurTitle);
      EXPECT_LT(find(all, "AXCheckBox", "Sharpen", blurTitle), blurTitle + 15);
      EXPECT_LT(blurTitle, scopes);
    }
    for (std::size_t i = 0; i < all.size(); ++i) {
      if (all[i].role != "AXSlider") continue;
      EXPECT_GT(i, primaries);
      EXPECT_LT(i, scopes);
    }
  }
}

TEST_F(ColorPage, ReadoutsShowTheBarsScaled) {
  auto status = [&] {
    return color::run(*scene, clock,
                      color::decodeRequest(R"({"action":"status","section":"primaries"})"))
        .display;
  };
  // Gain reads 1.00 at 700, in the order Y R G B.
  EXPECT_EQ(status()[2], (std::vector<double>{1.05, 1, 1.02, 0.98}));
  ASSERT_TRUE(scene->setValue(node("lift-y"), 12.6));
  EXPECT_EQ(status()[0][0], 0.13);
}

}  // namespace
}  // namespace trovemark::scene::test
