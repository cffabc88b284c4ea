// The element layer: snapshots, the bounded walk, and operating controls.

#include "color_helper/accessibility/element.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>

#include "color_helper/color_error.h"
#include "color_helper/messages.h"
#include "tests/color_helper/failure.h"
#include "tests/color_helper/fake_tree.h"

namespace trovemark {
namespace {

using ax::AttributeValue;
using ::testing::ElementsAre;
using testing::FakeTree;

std::vector<std::string> descriptions(const std::vector<ax::Element>& list) {
  std::vector<std::string> result;
  for (const auto& e : list) result.push_back(e.description);
  return result;
}

// root ─┬─ a ─┬─ a1
//       │     └─ a2
//       └─ b
class WalkTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root = tree.add({{"AXDescription", std::string("root")}});
    a = tree.add({{"AXDescription", std::string("a")}});
    auto a1 = tree.add({{"AXDescription", std::string("a1")}});
    auto a2 = tree.add({{"AXDescription", std::string("a2")}});
    auto b = tree.add({{"AXDescription", std::string("b")}});
    tree.setChildren(root, {a, b});
    tree.setChildren(a, {a1, a2});
  }
  FakeTree tree;
  ax::ElementRef root, a;
};

TEST_F(WalkTest, ListsThePreOrderWalkCutAtTheLimit) {
  EXPECT_THAT(descriptions(ax::flatten(tree, root)), ElementsAre("root", "a", "a1", "a2", "b"));
  EXPECT_THAT(descriptions(ax::flatten(tree, root, 3)), ElementsAre("root", "a", "a1"));

  tree.reads.clear();
  EXPECT_THAT(descriptions(ax::flatten(tree, root, 1)), ElementsAre("root"));
  EXPECT_THAT(tree.reads, ElementsAre("AXRole", "AXDescription", "AXValue", "AXChildren"));

  tree.reads.clear();
  EXPECT_TRUE(ax::flatten(tree, root, 0).empty());
  EXPECT_TRUE(tree.reads.empty());
}

TEST_F(WalkTest, ANodeWithoutReadableChildrenIsALeafAndTheWalkGoesOn) {
  for (AttributeValue children : {AttributeValue(std::string("not a list")),
                                  AttributeValue(std::vector<ax::ElementRef>{nullptr})}) {
    // Rebuild `a` with the odd children value in place of its list.
    auto odd = tree.add({{"AXDescription", std::string("a")}, {"AXChildren", children}});
    auto b = tree.add({{"AXDescription", std::string("b")}});
    tree.setChildren(root, {odd, b});
    EXPECT_THAT(descriptions(ax::flatten(tree, root)), ElementsAre("root", "a", "b"));
  }
}

TEST(ElementTest, ReadsRoleDescriptionAndValueOnce) {
  FakeTree tree;
  auto bare = tree.add({{"AXRole", 3.0}});
  ax::Element snapshot = ax::element(tree, bare);
  EXPECT_EQ(snapshot.ref, bare);
  EXPECT_EQ(snapshot.role, "");  // a role that is not text reads as empty
  EXPECT_EQ(snapshot.description, "");
  EXPECT_FALSE(snapshot.value.has_value());
  EXPECT_EQ(snapshot.text(), "");
  EXPECT_EQ(snapshot.number(), 0);
  EXPECT_THAT(tree.reads, ElementsAre("AXRole", "AXDescription", "AXValue"));
}

TEST(ElementTest, NumberAndTextOfEachKindOfValue) {
  struct Case {
    AttributeValue value;
    std::string text;
    double number;
  };
  const Case cases[] = {
      {0.5, "", 0.5},  // a number is never turned into text
      {std::string("0.50"), "0.50", 0.5},
      {std::string("-1e2"), "-1e2", -100},
      {std::string("0x10"), "0x10", 16},
      {std::string("50%"), "50%", 0},
      {std::string(" 0.5"), " 0.5", 0},
      {std::string("0.5 "), "0.5 ", 0},
      {std::string("0,5"), "0,5", 0},
      {std::string(""), "", 0},
      {std::string("1\0"
                   "2",
                   3),
       std::string("1\0"
                   "2",
                   3),
       0},
      {ax::OtherValue{"boolean"}, "", 0},
  };
  for (const auto& c : cases) {
    ax::Element e{nullptr, "", "", c.value};
    EXPECT_EQ(e.text(), c.text);
    EXPECT_EQ(e.number(), c.number) << c.text;
  }
  EXPECT_TRUE(std::isinf(ax::parseNumber("-inf").value()));
  EXPECT_TRUE(std::isnan(ax::parseNumber("nan").value()));
}

TEST(ElementTest, PressAndSetReportRefusalsAndPassTheValueUnchanged) {
  FakeTree tree;
  ax::Element willing{tree.add({}), "AXSlider", "", std::nullopt};
  ax::Element refusing{tree.add({}, /*refuse=*/true), "AXSlider", "", std::nullopt};

  ax::set(tree, willing, 105.25);
  ax::press(tree, willing);
  ASSERT_EQ(tree.sets.size(), 1u);
  EXPECT_EQ(tree.sets[0].second, 105.25);
  EXPECT_EQ(tree.presses.size(), 1u);

  EXPECT_EQ(testing::failureOf([&] { ax::press(tree, refusing); }),
            color::messages::kControlNotActivated);
  EXPECT_EQ(testing::failureOf([&] { ax::set(tree, refusing, 1); }),
            color::messages::kAdjustmentNotAccepted);
}

}  // namespace
}  // namespace trovemark
