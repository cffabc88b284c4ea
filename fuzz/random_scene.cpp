#include "fuzz/random_scene.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <limits>
#include <optional>
#include <sstream>
#include <utility>
#include <vector>

#include "scene_engine/scene_model.h"

namespace trovemark::fuzz {

namespace {

using scene::Effect;
using scene::Node;
using scene::NodeId;
using scene::SceneDescription;
using scene::Value;

// Bounds that keep one input fast enough to fuzz, yet let a window exceed the
// helper's walk limit of 1800 elements several times over.
constexpr std::size_t kMaxNodes = 6000;
constexpr int kMaxDamage = 48;

const char* const kRoles[] = {"AXStaticText",   "AXSlider", "AXCheckBox", "AXButton",
                              "AXGroup",        "AXWindow", "AXSlider ",  "axslider",
                              "AXStaticText\n", ""};
// clang-format off
const char* const kLabels[] = {
    "Primaries - Color Bars", "Primaries - Wheels", "Primaries - ", "Primaries -",
    "Primaries - Color Bars and more", "primaries - Color Bars", "Blur - ", "Blur - Blur",
    "Blur - Sharpen", "Blur -", "Scopes", "Scopes ", "Scopes panel", "scopes", "Color Bars",
    "Color bars", "Blur", "blur", "Sharpen", "Mist", "Reset", "reset", "Reset ", "", "Lift"};
// clang-format on
const char* const kNumericTexts[] = {"0",     "1",      "0.50",   "-1e2", "700",    "25",
                                     "1e999", "-1e999", "inf",    "-inf", "nan",    "NaN",
                                     "0x1p4", " 1",     "1 ",     "50%",  "0,5",    "",
                                     "1e308", "-0",     "4e-324", "+3",   "1e-400", "0.1\n"};
const double kNumbers[] = {0,      1,        -1,      0.5,   0.0005, 700,    50,   25,
                           100,    -100,     2800,    1e308, -1e308, 5e-324, -0.0, 0.9995,
                           1.0005, 699.9995, 49.9995, 1e15,  0.1,    0.25};
const double kDelaysMs[] = {0,    1,    50,   99.999, 100,   200,    300,  1400, 1499.9,
                            1500, 1501, 1600, 5000,   3.6e6, 9.2e12, 1e13, 1e18, 1e300};
const double kScales[] = {1, 0.01, 1.0 / 700, -1, 0, 100, 1e308, 1e-308};
const char* const kFormats[] = {"%.2f",    "%f",      "%e",  "%g",           "%a",   "%A",
                                "%99.99f", "%-+ #0f", "%lf", "x %% %.1f %%", "%.0f", "%G"};
// Formats the loader must refuse, since they would reach printf.
const char* const kBadFormats[] = {"%s", "%n", "%*f", "%f%f", "", "%100f", "%.100f", "%"};

// The default Color page (scenes/color-page.json) in one of its states:
// Color Bars on or not, the Blur palette open or not, in its Blur mode or
// Sharpen. Each state is made once, by pressing the page's own controls.
const SceneDescription& colorPage(bool bars, bool blurOpen, bool blurMode) {
  static std::array<std::optional<SceneDescription>, 8> states;
  auto& state = states[(bars ? 4 : 0) + (blurOpen ? 2 : 0) + (blurMode ? 1 : 0)];
  if (!state) {
    ax::SystemClock clock;
    auto page = scene::SceneModel::load(TROVEMARK_SOURCE_DIR "/scenes/color-page.json", clock);
    const auto press = [&](const char* id) { page->press(page->find(id).value()); };
    if (bars) press("color-bars");
    if (blurOpen) press("palette-blur");
    if (!blurMode) press("blur-mode-sharpen");
    state = page->snapshot();
  }
  return *state;
}

class Builder {
 public:
  explicit Builder(Bytes& bytes) : bytes_(bytes) {}

  std::string build() {
    if (bytes_.upTo(3) != 0) {
      const bool bars = bytes_.flag();
      const bool blurOpen = bytes_.flag();
      const bool blurMode = bytes_.flag();
      scene_ = colorPage(bars, blurOpen, blurMode);
    } else {
      scene_.applications.emplace_back();
      scene_.applications[0].focusedWindow = 0;
      scene_.applications[0].windows.emplace();
      addWindow(0, node("AXWindow", std::nullopt, {}));
    }
    for (int n = 0; n < kMaxDamage && !bytes_.empty(); ++n) damage();
    if (!running_) scene_.applications.clear();
    return scene::writeScene(scene_);
  }

 private:
  Bytes& bytes_;
  SceneDescription scene_;
  std::vector<Node>& nodes_ = scene_.nodes;
  bool running_ = true;  // false: Resolve is not running at all

  // --- Building ---

  static Node node(std::optional<std::string> role, std::optional<std::string> description,
                   Value value) {
    Node n;
    n.role = std::move(role);
    n.description = std::move(description);
    n.value = std::move(value);
    n.children.emplace();
    return n;
  }

  std::size_t addWindow(std::size_t application, Node n) {
    n.role = "AXWindow";
    nodes_.push_back(std::move(n));
    auto& windows = *scene_.applications[application].windows;
    const std::size_t at = bytes_.upTo(static_cast<std::uint32_t>(windows.size()));
    windows.insert(windows.begin() + static_cast<std::ptrdiff_t>(at), nodes_.size() - 1);
    return nodes_.size() - 1;
  }

  void add(Node n, std::size_t parent) {
    n.parent = parent;
    nodes_.push_back(std::move(n));
    nodes_[parent].children->push_back(nodes_.size() - 1);
  }

  // --- Random pieces ---

  Value anyValue() {
    switch (bytes_.upTo(8)) {
      case 0:
        return bytes_.pick(kNumbers);
      case 1: {
        // JSON has no NaN or infinity; those reach the helper through texts.
        const double value = bytes_.anyDouble();
        return std::isfinite(value) ? Value(value) : Value(std::string(bytes_.pick(kNumericTexts)));
      }
      case 2:
        return std::string(bytes_.pick(kNumericTexts));
      case 3:
        return std::string(bytes_.pick(kLabels));
      case 4:
        return ax::OtherValue{"boolean"};
      case 5:
        return ax::OtherValue{"array"};
      case 6:
        return ax::OtherValue{"object"};
      case 7:
        return std::monostate{};
      default:
        return bytes_.text(12);  // any bytes; the writer replaces what is not UTF-8
    }
  }

  std::optional<std::string> anyRole() {
    if (bytes_.upTo(12) == 0) return std::nullopt;
    return bytes_.pick(kRoles);
  }
  std::optional<std::string> anyLabel() {
    if (bytes_.upTo(8) == 0) return std::nullopt;
    return bytes_.pick(kLabels);
  }

  Node anyLeaf() { return node(anyRole(), anyLabel(), anyValue()); }

  std::size_t anyNode() { return bytes_.upTo(static_cast<std::uint32_t>(nodes_.size() - 1)); }

  // A node whose children can take one more; the first node (a window) when
  // the pick has unreadable children.
  std::size_t anyParent() {
    const std::size_t pick = anyNode();
    return nodes_[pick].children ? pick : 0;
  }

  void insertAt(std::size_t parent, Node n) {
    if (!nodes_[parent].children || nodes_.size() >= kMaxNodes) return;
    const std::size_t at = bytes_.upTo(static_cast<std::uint32_t>(nodes_[parent].children->size()));
    n.parent = parent;
    nodes_.push_back(std::move(n));
    auto& children = *nodes_[parent].children;
    children.insert(children.begin() + static_cast<std::ptrdiff_t>(at), nodes_.size() - 1);
  }

  Effect anyEffect() {
    Effect effect;
    effect.kind = static_cast<Effect::Kind>(bytes_.upTo(3));
    effect.target = anyNode();
    if (effect.kind == Effect::Kind::kSet) effect.value = anyValue();
    if (bytes_.flag()) effect.afterMs = bytes_.pick(kDelaysMs);
    return effect;
  }

  void detach(std::size_t n) {
    if (const auto parent = nodes_[n].parent) {
      if (auto& siblings = nodes_[*parent].children) std::erase(*siblings, n);
      nodes_[n].parent.reset();
      return;
    }
    for (auto& app : scene_.applications) {
      if (app.windows) std::erase(*app.windows, n);
    }
  }

  // A copy of the subtree, placed right after the original, as far as the
  // bound on nodes lets it grow. Effects and binds of the copy still name the
  // original's targets.
  void duplicate(std::size_t n) {
    const auto parent = nodes_[n].parent;
    if (!parent || !nodes_[*parent].children || nodes_.size() >= kMaxNodes) return;
    const std::size_t copy = copyOf(n, *parent);
    auto& siblings = *nodes_[*parent].children;
    const auto at = std::find(siblings.begin(), siblings.end(), n);
    siblings.insert(at + 1, copy);
  }

  std::size_t copyOf(std::size_t n, std::size_t parent) {
    Node copy = nodes_[n];
    copy.parent = parent;
    const auto children = copy.children;
    if (copy.children) copy.children->clear();
    nodes_.push_back(std::move(copy));
    const std::size_t self = nodes_.size() - 1;
    for (std::size_t child : children.value_or(std::vector<std::size_t>{})) {
      if (nodes_.size() >= kMaxNodes) break;
      const std::size_t copied = copyOf(child, self);  // may move nodes_
      nodes_[self].children->push_back(copied);
    }
    return self;
  }

  void damage() {
    switch (bytes_.upTo(17)) {
      case 0:
      case 1:
        insertAt(anyParent(), anyLeaf());
        break;
      case 2: {  // fan-out: one group with very many children
        const std::uint32_t counts[] = {10, 200, 1799, 1801, 2500};
        const std::uint32_t count = bytes_.pick(counts);
        const std::size_t parent = anyParent();
        insertAt(parent, node("AXGroup", std::nullopt, {}));
        if (!nodes_[parent].children || nodes_.size() >= kMaxNodes) break;
        const std::size_t fan = nodes_.size() - 1;
        const Node leaf = anyLeaf();
        for (std::uint32_t i = 0; i < count && nodes_.size() < kMaxNodes; ++i) add(leaf, fan);
        break;
      }
      case 3: {  // deep nesting; rarely very deep, since a deep walk is slow to run
        const std::uint32_t depths[] = {8, 30, 60, 120, 8, 30, 60, 400};
        const std::uint32_t deepest[] = {1200, 1990, 2100};  // the last past the loader's bound
        const std::uint32_t depth =
            bytes_.upTo(7) == 0 ? bytes_.pick(deepest) : bytes_.pick(depths);
        std::size_t at = anyParent();
        for (std::uint32_t d = depth; d > 0 && nodes_.size() < kMaxNodes; --d) {
          insertAt(at, node("AXGroup", std::nullopt, {}));
          if (nodes_.back().parent != at) break;
          at = nodes_.size() - 1;
        }
        insertAt(at, anyLeaf());
        break;
      }
      case 4:
        detach(anyNode());
        break;
      case 5:
        nodes_[anyNode()].role = anyRole();
        break;
      case 6:
        nodes_[anyNode()].description = anyLabel();
        break;
      case 7:
      case 8:
        nodes_[anyNode()].value = anyValue();
        break;
      case 9: {  // unreadable children
        Node& n = nodes_[anyNode()];
        for (std::size_t child : n.children.value_or(std::vector<std::size_t>{})) {
          nodes_[child].parent.reset();
        }
        n.children.reset();
        break;
      }
      case 10: {
        Node& n = nodes_[anyNode()];
        n.hidden = !n.hidden;
        break;
      }
      case 11: {
        Node& n = nodes_[anyNode()];
        if (bytes_.flag()) {
          n.refusePress = !n.refusePress;
        } else {
          n.refuseSet = !n.refuseSet;
        }
        break;
      }
      case 12: {
        double low = bytes_.pick(kNumbers);
        double high = bytes_.pick(kNumbers);
        if (high < low) std::swap(low, high);
        nodes_[anyNode()].range = std::pair{low, high};
        break;
      }
      case 13: {
        Node& n = nodes_[anyNode()];
        if (bytes_.flag()) {
          if (!n.onPress) n.onPress.emplace();
          if (bytes_.upTo(5) != 0) n.onPress->push_back(anyEffect());
        } else {
          n.onSet.push_back(anyEffect());
        }
        break;
      }
      case 14: {
        scene::Bind bind{anyNode()};
        if (bytes_.flag()) bind.scale = bytes_.pick(kScales);
        if (bytes_.flag()) {
          bind.format = bytes_.byte() == 0xff ? bytes_.pick(kBadFormats) : bytes_.pick(kFormats);
        }
        nodes_[anyNode()].bind = bind;
        break;
      }
      case 15: {  // reorder: a node changes places with a sibling
        const std::size_t n = anyNode();
        const auto parent = nodes_[n].parent;
        if (!parent || !nodes_[*parent].children) break;
        auto& siblings = *nodes_[*parent].children;
        const auto self = std::find(siblings.begin(), siblings.end(), n);
        if (self == siblings.end()) break;
        const std::size_t other = bytes_.upTo(static_cast<std::uint32_t>(siblings.size() - 1));
        std::iter_swap(self, siblings.begin() + static_cast<std::ptrdiff_t>(other));
        break;
      }
      case 16:
        duplicate(anyNode());
        break;
      default:
        damageApplications();
        break;
    }
  }

  void damageApplications() {
    auto& apps = scene_.applications;
    auto& app = apps[bytes_.upTo(static_cast<std::uint32_t>(apps.size() - 1))];
    switch (bytes_.upTo(5)) {
      case 0: {  // another window, focused or not
        if (app.windows) addWindow(static_cast<std::size_t>(&app - apps.data()), anyLeaf());
        break;
      }
      case 1: {
        const std::optional<std::int64_t> focus[] = {
            std::nullopt, 0, 1, 2, -1, 7, std::numeric_limits<std::int64_t>::max()};
        app.focusedWindow = bytes_.pick(focus);
        break;
      }
      case 2:
        app.windows.reset();
        break;
      case 3: {  // another instance, listed first or after
        scene::Application other;
        if (!bytes_.flag()) other.focusedWindow = 0;
        if (!bytes_.flag()) other.windows.emplace();
        apps.insert(bytes_.flag() ? apps.begin() : apps.end(), std::move(other));
        break;
      }
      case 4:
        scene_.trusted = !scene_.trusted;
        break;
      default:
        running_ = !running_;
        break;
    }
  }
};

}  // namespace

std::string randomScene(Bytes& bytes) { return Builder(bytes).build(); }

}  // namespace trovemark::fuzz
