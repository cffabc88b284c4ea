// The element layer: snapshots and the bounded walk. Operating controls, and
// the messages of a refusal, are held by whole requests (dispatcher and fault
// injection tests).

#include "color_helper/accessibility/element.h"

#include <algorithm>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "testing/fake_tree.h"

namespace trovemark {
namespace {

using ::testing::ElementsAre;
using testing::FakeTree;

std::vector<std::string> descriptions(const ax::Walk& walk) {
  std::vector<std::string> result;
  for (const auto& e : walk) result.push_back(e.description());
  return result;
}

TEST(WalkTest, ListsThePreOrderWalkCutAtTheLimitAndSkipsUnreadableChildren) {
  FakeTree tree;
  auto node = [&](const char* name) { return tree.add({{"AXDescription", std::string(name)}}); };
  // root ─┬─ a ─┬─ a1        a1 and c have children that cannot be read
  //       │     └─ a2
  //       └─ b ── c
  auto root = node("root"), a = node("a"), b = node("b"), a2 = node("a2");
  auto a1 = tree.add({{"AXDescription", std::string("a1")}, {"AXChildren", std::string("x")}});
  auto c = tree.add(
      {{"AXDescription", std::string("c")}, {"AXChildren", std::vector<ax::ElementRef>{nullptr}}});
  tree.setChildren(root, {a, b});
  tree.setChildren(a, {a1, a2});
  tree.setChildren(b, {c});

  const auto everything = ax::ReadingPlan::everything();
  EXPECT_THAT(descriptions(ax::flatten(tree, root, 1800, everything)),
              ElementsAre("root", "a", "a1", "a2", "b", "c"));
  EXPECT_THAT(descriptions(ax::flatten(tree, root, 3, everything)), ElementsAre("root", "a", "a1"));
  tree.reads.clear();
  EXPECT_THAT(descriptions(ax::flatten(tree, root, 1, everything)), ElementsAre("root"));
  EXPECT_THAT(tree.reads, ElementsAre("AXRole", "AXChildren", "AXDescription", "AXValue"));
  tree.reads.clear();
  EXPECT_TRUE(ax::flatten(tree, root, 0).empty());
  EXPECT_TRUE(tree.reads.empty());
}

TEST(WalkTest, ReadsOnlyAsFarAndAsMuchAsItIsAsked) {
  FakeTree tree;
  auto node = [&](const char* role, const char* description) {
    return tree.add({{"AXRole", std::string(role)},
                     {"AXDescription", std::string(description)},
                     {"AXValue", 1.0}});
  };
  auto root = node("AXGroup", "root"), box = node("AXCheckBox", "box"),
       slider = node("AXSlider", "s"), image = node("AXImage", "img");
  tree.setChildren(root, {box, slider, image});

  ax::Walk walk = ax::flatten(tree, root);
  tree.reads.clear();
  auto found = std::find_if(walk.begin(), walk.end(),
                            [](const ax::Element& e) { return e.role == "AXCheckBox"; });
  ASSERT_NE(found, walk.end());
  // A group is its role and children; a check box adds what the Color logic
  // reads of it; nothing after the match is read.
  EXPECT_THAT(tree.reads, ElementsAre("AXRole", "AXChildren", "AXRole", "AXChildren",
                                      "AXDescription", "AXValue"));
  EXPECT_EQ(found->description(), "box");
  EXPECT_EQ(found->number(), 1);
  tree.reads.clear();
  // Searching again starts from what is already read.
  EXPECT_EQ(std::find_if(walk.begin(), walk.end(),
                         [](const ax::Element& e) { return e.role == "AXImage"; })
                ->description(),
            "img");  // not in the plan: read on first ask
  EXPECT_THAT(tree.reads, ElementsAre("AXRole", "AXChildren", "AXValue", "AXRole", "AXChildren",
                                      "AXDescription"));
}

TEST(ElementTest, ABareSnapshotHasNoRoleNoValueAndTheNumberZero) {
  FakeTree tree;
  const auto bare = tree.flatten(tree.add({{"AXRole", 3.0}}), 1);
  EXPECT_EQ(bare.at(0).role, "");  // a role that is not text reads as empty
  EXPECT_FALSE(bare.at(0).value().has_value());
  EXPECT_EQ(bare.at(0).number(), 0);
  EXPECT_EQ((ax::Element{nullptr, "", "", ax::OtherValue{"boolean"}}.number()), 0);
}

}  // namespace
}  // namespace trovemark
