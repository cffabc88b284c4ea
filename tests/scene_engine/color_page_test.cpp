// The default scene, scenes/color-page.json, driven through the port the way
// the Color helper drives Resolve: find the palettes by their titles in the
// walk, switch modes, operate sliders and Reset buttons, read the readouts.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "scene_test_support.h"

namespace trovemark::scene::test {
namespace {

constexpr std::size_t kWalkLimit = 1800;

bool startsWith(const std::string& text, const std::string& prefix) {
  return text.rfind(prefix, 0) == 0;
}

class ColorPage : public ::testing::Test {
 protected:
  void SetUp() override {
    scene_ =
        Scene::load(std::filesystem::path(TROVEMARK_SOURCE_DIR) / "scenes/color-page.json", clock_);
    const auto pids = scene_->runningApplications(Scene::kBundleIdentifier);
    ASSERT_EQ(pids.size(), 1u);
    const auto focused = scene_->attribute(scene_->applicationElement(pids[0]), ax::kFocusedWindow);
    ASSERT_TRUE(focused.has_value());
    window_ = std::get<ax::ElementRef>(*focused);
  }

  std::vector<ax::Element> walk(std::size_t limit = kWalkLimit) {
    return scene_->flatten(window_, limit);
  }

  // Index of the first element from `from` that matches, or the list's size.
  template <typename Match>
  static std::size_t findFrom(const std::vector<ax::Element>& list, std::size_t from, Match match) {
    for (std::size_t i = from; i < list.size(); ++i) {
      if (match(list[i])) return i;
    }
    return list.size();
  }
  static std::size_t staticText(const std::vector<ax::Element>& list, const std::string& prefix,
                                std::size_t from = 0, bool exact = false) {
    return findFrom(list, from, [&](const ax::Element& e) {
      return e.role == "AXStaticText" &&
             (exact ? e.text() == prefix : startsWith(e.text(), prefix));
    });
  }
  static std::size_t checkBox(const std::vector<ax::Element>& list, const std::string& description,
                              std::size_t from = 0) {
    return findFrom(list, from, [&](const ax::Element& e) {
      return e.role == "AXCheckBox" && e.description == description;
    });
  }

  struct Run {
    std::vector<ax::Element> nodes;
    std::vector<ax::Element> sliders;
  };
  // The palette's run of the walk, from its title to the next title.
  static Run cut(const std::vector<ax::Element>& list, const std::string& title,
                 const std::string& end, bool exactEnd) {
    Run run;
    const std::size_t first = staticText(list, title);
    if (first == list.size()) return run;
    const std::size_t last = staticText(list, end, first + 1, exactEnd);
    run.nodes.assign(list.begin() + first, list.begin() + last);
    for (const ax::Element& e : run.nodes) {
      if (e.role == "AXSlider") run.sliders.push_back(e);
    }
    return run;
  }
  Run primaries() { return cut(walk(), "Primaries - Color Bars", "Blur - ", false); }
  Run blur() { return cut(walk(), "Blur - ", "Scopes", true); }

  static std::vector<ax::Element> withDescription(const Run& run, const std::string& role,
                                                  const std::string& description) {
    std::vector<ax::Element> found;
    for (const ax::Element& e : run.nodes) {
      if (e.role == role && e.description == description) found.push_back(e);
    }
    return found;
  }

  void pressFirst(const std::string& description) {
    const auto list = walk();
    const std::size_t at = checkBox(list, description);
    ASSERT_LT(at, list.size()) << description;
    ASSERT_TRUE(scene_->press(list[at].ref));
  }

  testing::FakeClock clock_;
  std::unique_ptr<Scene> scene_;
  ax::ElementRef window_;
};

TEST_F(ColorPage, TheWindowHoldsAboutEighteenHundredElements) {
  EXPECT_EQ(walk(100000).size(), 1801u);
  EXPECT_EQ(walk().size(), kWalkLimit);
}

TEST_F(ColorPage, PressingColorBarsSwitchesTheTitleAndShowsFifteenBars) {
  auto list = walk();
  EXPECT_LT(staticText(list, "Primaries - Wheels"), list.size());
  EXPECT_TRUE(primaries().sliders.empty());
  const std::size_t bars = checkBox(list, "Color Bars");
  ASSERT_LT(bars, list.size());
  EXPECT_EQ(list[bars].number(), 0.0);

  pressFirst("Color Bars");
  list = walk();
  EXPECT_EQ(list[staticText(list, "Primaries - ")].text(), "Primaries - Color Bars");
  EXPECT_EQ(list[checkBox(list, "Color Bars")].number(), 1.0);
  const Run run = primaries();
  ASSERT_EQ(run.sliders.size(), 15u);
  EXPECT_EQ(withDescription(run, "AXButton", "Reset").size(), 4u);

  // Back to the wheels: the bars go again.
  pressFirst("Wheels");
  EXPECT_EQ(primaries().sliders.size(), 0u);
}

TEST_F(ColorPage, EachBarGroupIsFollowedByReadoutsThatFollowItsBars) {
  pressFirst("Color Bars");
  const std::size_t groups[][2] = {{0, 4}, {4, 8}, {8, 12}, {12, 15}};
  auto readoutsAfter = [&](const Run& run, std::size_t anchor) {
    std::vector<double> numbers;
    std::size_t at = 0;
    while (!scene_->sameElement(run.nodes[at].ref, run.sliders[anchor].ref)) ++at;
    for (++at; at < run.nodes.size() && run.nodes[at].role != "AXSlider"; ++at) {
      if (run.nodes[at].role != "AXStaticText") continue;
      if (auto number = ax::parseNumber(run.nodes[at].text())) numbers.push_back(*number);
    }
    return numbers;
  };
  const Run before = primaries();
  for (const auto& group : groups) {
    EXPECT_GE(readoutsAfter(before, group[1] - 1).size(), group[1] - group[0]);
  }
  // Moving the Gain bars shows in the Gain readouts, the gain scaled to 1.00
  // at 700.
  for (std::size_t i = 8; i < 12; ++i) ASSERT_TRUE(scene_->setValue(before.sliders[i].ref, 1050));
  const auto gain = readoutsAfter(primaries(), 11);
  ASSERT_GE(gain.size(), 4u);
  for (std::size_t i = 0; i < 4; ++i) EXPECT_DOUBLE_EQ(gain[i], 1.5);
  EXPECT_EQ(scene_->valueOf("lift-y"), ax::AttributeValue(-3.0));
  ASSERT_TRUE(scene_->setValue(before.sliders[0].ref, 12.6));
  EXPECT_DOUBLE_EQ(readoutsAfter(primaries(), 3).at(0), 0.13);
}

TEST_F(ColorPage, AResetSettlesItsRowAfterThreeHundredMilliseconds) {
  pressFirst("Color Bars");
  const double targets[] = {0, 0, 700, 0};
  const std::size_t firstSlider[] = {0, 4, 8, 12, 15};
  for (std::size_t row = 0; row < 4; ++row) {
    SCOPED_TRACE(row);
    Run run = primaries();
    for (std::size_t i = firstSlider[row]; i < firstSlider[row + 1]; ++i) {
      ASSERT_TRUE(scene_->setValue(run.sliders[i].ref, 40));
    }
    ASSERT_TRUE(scene_->press(withDescription(run, "AXButton", "Reset").at(row).ref));
    clock_.sleep(std::chrono::milliseconds(200));
    run = primaries();
    EXPECT_EQ(run.sliders[firstSlider[row]].number(), 40);
    clock_.sleep(std::chrono::milliseconds(100));
    run = primaries();
    for (std::size_t i = firstSlider[row]; i < firstSlider[row + 1]; ++i) {
      EXPECT_EQ(run.sliders[i].number(), targets[row]) << i;
    }
  }
}

TEST_F(ColorPage, OpeningBlurShowsItsPaletteAndModesSwitchTheTitle) {
  auto list = walk();
  EXPECT_EQ(staticText(list, "Blur - "), list.size());
  const std::size_t opener = checkBox(list, "Blur");
  ASSERT_LT(opener, list.size());
  pressFirst("Blur");
  list = walk();
  const std::size_t title = staticText(list, "Blur - ");
  ASSERT_LT(title, list.size());
  EXPECT_LT(opener, title);
  EXPECT_EQ(list[title].text(), "Blur - Blur");
  EXPECT_LT(staticText(list, "Scopes", title, true), list.size());
  for (const char* mode : {"Blur", "Sharpen"}) {
    EXPECT_LT(checkBox(list, mode, title), title + 15) << mode;
  }

  ASSERT_TRUE(scene_->press(list[checkBox(list, "Sharpen", title)].ref));
  list = walk();
  EXPECT_EQ(list[staticText(list, "Blur - ")].text(), "Blur - Sharpen");
  EXPECT_EQ(list[checkBox(list, "Sharpen", title)].number(), 1.0);
  EXPECT_EQ(list[checkBox(list, "Blur", title)].number(), 0.0);

  const Run run = blur();
  EXPECT_EQ(run.sliders.size(), 9u);
  EXPECT_EQ(withDescription(run, "AXButton", "Reset").size(), 3u);
  const auto links = withDescription(run, "AXCheckBox", "");
  ASSERT_EQ(links.size(), 3u);
  for (const ax::Element& link : links) EXPECT_EQ(link.number(), 1.0);
}

TEST_F(ColorPage, BlurResetsBringTheRowsToFiftyFiftyAndTwentyFive) {
  pressFirst("Blur");
  const double targets[] = {50, 50, 25};
  Run run = blur();
  ASSERT_EQ(run.sliders.size(), 9u);
  for (const ax::Element& slider : run.sliders) ASSERT_TRUE(scene_->setValue(slider.ref, 80));
  for (const ax::Element& reset : withDescription(run, "AXButton", "Reset")) {
    ASSERT_TRUE(scene_->press(reset.ref));
  }
  clock_.sleep(std::chrono::milliseconds(300));
  run = blur();
  for (std::size_t i = 0; i < 9; ++i) EXPECT_EQ(run.sliders[i].number(), targets[i / 3]) << i;
  // A link check box toggles like any check box.
  ASSERT_TRUE(scene_->press(withDescription(run, "AXCheckBox", "")[0].ref));
  EXPECT_EQ(withDescription(blur(), "AXCheckBox", "")[0].number(), 0.0);
}

// What the Color helper needs must stay inside its walk limit, and the
// markers it searches for must appear nowhere else, in every state the
// palettes can be in.
TEST_F(ColorPage, MarkersStayInsideTheWalkLimitAndInsideThePalettes) {
  auto check = [&](const char* state) {
    SCOPED_TRACE(state);
    const auto all = walk(100000);
    const std::size_t primaries = staticText(all, "Primaries - ");
    ASSERT_LT(primaries, all.size());
    EXPECT_EQ(staticText(all, "Primaries - ", primaries + 1), all.size());
    const std::size_t blurTitle = staticText(all, "Blur - ");
    const std::size_t scopes = staticText(all, "Scopes", 0, true);
    ASSERT_LT(scopes, all.size());
    EXPECT_LT(scopes, kWalkLimit - 1000);
    EXPECT_LT(checkBox(all, "Color Bars"), primaries + 15);
    if (blurTitle < all.size()) {
      EXPECT_EQ(staticText(all, "Blur - ", blurTitle + 1), all.size());
      EXPECT_LT(checkBox(all, "Blur"), blurTitle);
      EXPECT_LT(blurTitle, scopes);
    }
    for (std::size_t i = 0; i < all.size(); ++i) {
      if (all[i].role != "AXSlider") continue;
      EXPECT_GT(i, primaries);
      EXPECT_LT(i, scopes);
    }
  };
  check("as first shown");
  pressFirst("Color Bars");
  check("Color Bars");
  pressFirst("Blur");
  check("Color Bars and Blur");
  const auto list = walk();
  ASSERT_TRUE(scene_->press(list[checkBox(list, "Sharpen")].ref));
  pressFirst("Log");
  check("Log wheels and Sharpen");
}

}  // namespace
}  // namespace trovemark::scene::test
