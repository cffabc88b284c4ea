// The element layer: snapshots and the bounded walk. Operating controls, and
// the messages of a refusal, are held by whole requests (dispatcher and fault
// injection tests).

#include "color_helper/accessibility/element.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "testing/fake_tree.h"

namespace trovemark {
namespace {

using ax::Attribute;
using ::testing::ElementsAre;
using testing::FakeTree;

ax::Reading described(const char* description) {
  ax::Reading reading;
  reading.description = description;
  return reading;
}

std::vector<std::string> descriptions(const std::vector<ax::Element>& walk) {
  std::vector<std::string> result;
  for (const auto& e : walk) result.push_back(e.describedAs());
  return result;
}

TEST(WalkTest, ListsThePreOrderWalkCutAtTheLimitAndSkipsUnreadableChildren) {
  FakeTree tree;
  // root ─┬─ a ─┬─ a1        a1's children cannot be read, c's list holds
  //       │     └─ a2        a null handle
  //       └─ b ── c
  auto root = tree.add(described("root")), a = tree.add(described("a")),
       b = tree.add(described("b")), a1 = tree.add(described("a1")), a2 = tree.add(described("a2")),
       c = tree.add(described("c"));
  tree.setChildren(root, {a, b});
  tree.setChildren(a, {a1, a2});
  tree.setChildren(b, {c});
  tree.setChildren(c, {nullptr});

  const auto everything = ax::ReadingPlan::everything();
  auto walk = [&](std::size_t limit) {
    ax::Walk w = ax::flatten(tree, root, limit, everything);
    return descriptions(w.readAll());
  };
  EXPECT_THAT(walk(1800), ElementsAre("root", "a", "a1", "a2", "b", "c"));
  EXPECT_THAT(walk(3), ElementsAre("root", "a", "a1"));
  tree.reads.clear();
  EXPECT_THAT(walk(1), ElementsAre("root"));
  EXPECT_EQ(tree.reads.size(), 2u);
  for (Attribute attribute :
       {Attribute::kRole, Attribute::kChildren, Attribute::kDescription, Attribute::kValue}) {
    EXPECT_EQ(tree.readsOf(attribute), 1u);
  }
  tree.reads.clear();
  EXPECT_TRUE(walk(0).empty());
  EXPECT_TRUE(tree.reads.empty());
}

TEST(WalkTest, ReadsOnlyAsFarAndAsMuchAsItIsAskedAndNothingAfterwards) {
  FakeTree tree;
  auto node = [&](const char* role, const char* description) {
    ax::Reading reading = described(description);
    reading.role = ax::macRole(role);
    reading.value = 1.0;
    return tree.add(reading);
  };
  auto root = node("AXGroup", "root"), box = node("AXCheckBox", "box"),
       slider = node("AXSlider", "s"), image = node("AXImage", "img");
  tree.setChildren(root, {box, slider, image});

  ax::Walk walk = ax::flatten(tree, root);
  EXPECT_TRUE(tree.reads.empty());
  const auto found =
      walk.find(0, [](const ax::Element& e) { return e.role.is(ax::RoleKind::kCheckBox); });
  ASSERT_EQ(found, 1u);
  // A group is its role and children; a check box adds what the Color logic
  // reads of it; nothing after the match is read.
  EXPECT_EQ(tree.reads.size(), 3u);
  EXPECT_EQ(tree.readsOf(Attribute::kDescription), 1u);
  EXPECT_EQ(walk.elements()[1].describedAs(), "box");
  EXPECT_EQ(walk.elements()[1].number(), 1);
  // Looking at what was read reads nothing.
  tree.reads.clear();
  EXPECT_EQ(walk.elements().size(), 2u);
  EXPECT_EQ(walk.elements()[0].description, std::nullopt);  // a group's: not read
  EXPECT_TRUE(tree.reads.empty());
  // Reading on starts from what is already read; what the plan does not read
  // of an image stays absent.
  const auto& all = walk.readAll();
  ASSERT_EQ(all.size(), 4u);
  EXPECT_EQ(tree.reads.size(), 3u);  // the slider's two reads, the image's one
  EXPECT_EQ(all[3].description, std::nullopt);
  EXPECT_EQ(all[3].value, std::nullopt);
}

TEST(ElementTest, ABareSnapshotHasNoRoleNoValueAndTheNumberZero) {
  FakeTree tree;
  const ax::Element bare = ax::element(tree, tree.add({}));
  EXPECT_EQ(bare.role, ax::Role{});
  EXPECT_EQ(bare.description, std::string());
  EXPECT_EQ(bare.value, ax::Value());
  EXPECT_EQ(bare.number(), 0);
  EXPECT_EQ(bare.text(), "");
  EXPECT_EQ((ax::Element{nullptr, {}, "", ax::OtherValue{"boolean"}}.number()), 0);
  EXPECT_EQ((ax::Element{nullptr, {}, "", 50.0}.text()), "");  // a number is never text
}

}  // namespace
}  // namespace trovemark
