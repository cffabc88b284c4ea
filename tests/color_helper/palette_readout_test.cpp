// Cutting a palette out of a walk, and reading the numbers it shows.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "color_helper/messages.h"
#include "color_helper/palette.h"
#include "color_helper/readout.h"
#include "testing/fake_tree.h"
#include "testing/scene_fixture.h"

namespace trovemark::color {
namespace {

using ::testing::ElementsAre;
using testing::failureOf;
using Walk = std::vector<ax::Element>;

ax::Element node(const std::string& role, std::string description = "", ax::Value value = {}) {
  return ax::Element{std::make_shared<const ax::ElementHandle>(), ax::macRole(role),
                     std::move(description), std::move(value)};
}
ax::Element text(std::string value) { return node("AXStaticText", "", std::move(value)); }
ax::Element slider(double value = 0) { return node("AXSlider", "", value); }
PaletteSnapshot cut(const Walk& list, const std::string& section) {
  ax::Walk walk(list);
  return palette(walk, section);
}
void addSliders(Walk& walk, int count) {
  for (int i = 0; i < count; ++i) walk.push_back(slider(i));
}

TEST(PaletteTest, RunsFromTheFirstTitleToTheNextPalettesTitle) {
  Walk primaries{text("Primaries - Wheels"), text("Primaries - Color Bars"),
                 text("Primaries - Color Bars")};
  addSliders(primaries, 15);
  primaries.push_back(text("Blur - Sharpen"));
  addSliders(primaries, 3);
  const PaletteSnapshot snapshot = cut(primaries, "primaries");
  ASSERT_EQ(snapshot.nodes.size(), 17u);  // both Color Bars titles and 15 sliders
  EXPECT_EQ(snapshot.nodes.front().ref, primaries[1].ref);
  EXPECT_EQ(snapshot.sliders.front().ref, primaries[3].ref);

  // Only a static text reading exactly "Scopes" ends the Blur palette; with
  // no end the run reaches the end of the walk.
  Walk blur{text("Blur - Blur")};
  addSliders(blur, 9);
  blur.insert(blur.end(),
              {text("Scopes and more"), node("AXButton", "Scopes"),
               node("AXStaticText", "Scopes", std::string("x")), text("Scopes"), slider()});
  EXPECT_EQ(cut(blur, "blur").nodes.size(), 13u);
  blur.erase(blur.begin() + 13);
  EXPECT_EQ(failureOf([&] { cut(blur, "blur"); }),
            "Resolve's blur controls changed (expected 9 sliders, found 10)");
}

TEST(PaletteTest, ReportsAMissingTitleAWrongCountAndAnUnknownSection) {
  Walk primaries{text("Primaries - Color Bars")};
  addSliders(primaries, 16);
  EXPECT_EQ(failureOf([&] { cut(primaries, "primaries"); }),
            "Resolve's primaries controls changed (expected 15 sliders, found 16)");
  EXPECT_EQ(failureOf([] { cut({text("Primaries - Log")}, "primaries"); }),
            messages::kColorBarsUnavailable);
  EXPECT_EQ(failureOf([] { cut({node("AXButton", "", std::string("Blur - x"))}, "blur"); }),
            messages::kBlurUnavailable);
  EXPECT_EQ(failureOf([&] { cut(primaries, "Primaries"); }), messages::kUnknownSection);
}

// A Primaries palette whose groups of 4, 4, 4 and 3 sliders are each followed
// by the given readout.
PaletteSnapshot primariesWith(const std::vector<Walk>& readouts) {
  Walk walk{text("Primaries - Color Bars")};
  const int sizes[] = {4, 4, 4, 3};
  for (int g = 0; g < 4; ++g) {
    walk.push_back(slider());
    walk.push_back(text("9"));  // between the bars: never read
    addSliders(walk, sizes[g] - 1);
    walk.insert(walk.end(), readouts[g].begin(), readouts[g].end());
  }
  return cut(walk, "primaries");
}

TEST(ReadoutTest, PrimariesRowsComeFromTheNumbersAfterEachGroup) {
  testing::FakeTree ax;
  const auto snapshot = primariesWith({
      {text("Lift"), text("0.10"), text("0.20"), text("0.30"), text("0.40")},
      {text("1"), text("2"), text("3"), text("4"), text("5")},
      {text(" 1"), text("1%"), text("1,5"), node("AXButton", "", std::string("7")),
       node("AXStaticText", "", 8.0), text("1 "), text("1" + std::string(1, '\0') + "2"),
       text("-1e2"), text("6"), text("7"), text("8")},
      {text("0"), text("700"), text("0.5")},
  });
  EXPECT_THAT(displayValues(ax, snapshot, "primaries"),
              ElementsAre(ElementsAre(0.1, 0.2, 0.3, 0.4), ElementsAre(1, 2, 3, 4),
                          ElementsAre(-100, 6, 7, 8), ElementsAre(0, 700, 0.5)));
}

TEST(ReadoutTest, PrimariesReportsShortOrMissingReadouts) {
  testing::FakeTree ax;
  const Walk four{text("1"), text("2"), text("3"), text("4")};
  const auto shortGroup = primariesWith({four, {text("1"), text("2"), text("3")}, four, four});
  EXPECT_EQ(failureOf([&] { displayValues(ax, shortGroup, "primaries"); }),
            "Resolve Color readout changed: found 3 of 4");
  const auto emptyLast = primariesWith({four, four, four, {}});
  EXPECT_EQ(failureOf([&] { displayValues(ax, emptyLast, "primaries"); }),
            messages::readoutShort(0, 3));

  auto lostAnchor = primariesWith({four, four, four, four});
  lostAnchor.sliders[14] = slider();  // a handle that is not in `nodes`
  EXPECT_EQ(failureOf([&] { displayValues(ax, lostAnchor, "primaries"); }),
            messages::kReadoutChanged);
}

}  // namespace
}  // namespace trovemark::color
