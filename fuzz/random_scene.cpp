#include "fuzz/random_scene.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

namespace trovemark::fuzz {

namespace {

using nlohmann::json;

// Bounds that keep one input fast enough to fuzz, yet let a window exceed the
// helper's walk limit of 1800 elements several times over.
constexpr std::size_t kMaxNodes = 6000;
constexpr int kMaxDamage = 48;

const char* const kRoles[] = {"AXStaticText",   "AXSlider", "AXCheckBox", "AXButton",
                              "AXGroup",        "AXWindow", "AXSlider ",  "axslider",
                              "AXStaticText\n", ""};
const char* const kLabels[] = {"Primaries - Color Bars",
                               "Primaries - Wheels",
                               "Primaries - ",
                               "Primaries -",
                               "Primaries - Color Bars and more",
                               "primaries - Color Bars",
                               "Blur - ",
                               "Blur - Blur",
                               "Blur - Sharpen",
                               "Blur -",
                               "Scopes",
                               "Scopes ",
                               "Scopes panel",
                               "scopes",
                               "Color Bars",
                               "Color bars",
                               "Blur",
                               "blur",
                               "Sharpen",
                               "Mist",
                               "Reset",
                               "reset",
                               "Reset ",
                               "",
                               "Lift"};
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

struct Effect {
  enum Kind { kSet, kToggle, kShow, kHide } kind = kSet;
  std::size_t target = 0;
  json value;
  double afterMs = 0;
};

struct Bind {
  std::size_t source = 0;
  std::optional<double> scale;
  std::optional<std::string> format;
};

struct Node {
  json role;  // null: missing
  json description;
  json value;  // null: missing
  // nullopt: unreadable, written as `unreadable` (or no key when that is null)
  std::optional<std::vector<std::size_t>> children = std::vector<std::size_t>{};
  json unreadable;
  std::optional<std::size_t> parent;
  bool hidden = false;
  bool refusePress = false;
  bool refuseSet = false;
  std::optional<std::pair<double, double>> range;
  std::optional<std::vector<Effect>> onPress;
  std::vector<Effect> onSet;
  std::optional<Bind> bind;
};

struct Application {
  json focusedWindow = 0;
  std::optional<std::vector<std::size_t>> windows = std::vector<std::size_t>{};
};

class Builder {
 public:
  explicit Builder(Bytes& bytes) : bytes_(bytes) {}

  std::string build() {
    apps_.emplace_back();
    const std::size_t window = add(node("AXWindow", nullptr, nullptr), std::nullopt);
    apps_[0].windows->push_back(window);
    if (bytes_.upTo(3) != 0) colorPage(window);
    for (int n = 0; n < kMaxDamage && !bytes_.empty(); ++n) damage();
    return toJson().dump(-1, ' ', false, json::error_handler_t::replace);
  }

 private:
  // --- Building ---

  static Node node(json role, json description, json value) {
    Node n;
    n.role = std::move(role);
    n.description = std::move(description);
    n.value = std::move(value);
    return n;
  }

  std::size_t add(Node n, std::optional<std::size_t> parent) {
    n.parent = parent;
    nodes_.push_back(std::move(n));
    const std::size_t self = nodes_.size() - 1;
    if (parent && nodes_[*parent].children) nodes_[*parent].children->push_back(self);
    return self;
  }

  std::size_t text(std::size_t parent, const std::string& value) {
    return add(node("AXStaticText", nullptr, value), parent);
  }

  std::size_t group(std::size_t parent, bool hidden = false) {
    Node n = node("AXGroup", nullptr, nullptr);
    n.hidden = hidden;
    return add(std::move(n), parent);
  }

  std::size_t readout(std::size_t parent, std::size_t source, double scale) {
    Node n = node("AXStaticText", nullptr, nullptr);
    n.bind = Bind{source, scale, std::nullopt};
    return add(std::move(n), parent);
  }

  // A Color page like the one the helper expects, in one of its states: the
  // Primaries palette in Color Bars mode or not, the Blur palette open or not,
  // and in either mode.
  void colorPage(std::size_t window) {
    const bool bars = bytes_.flag();
    const bool blurOpen = bytes_.flag();
    const bool blurMode = bytes_.flag();
    text(window, "DaVinci Resolve");
    const std::size_t selectors = group(window);
    const std::size_t blurButton = add(node("AXCheckBox", "Blur", blurOpen ? 1 : 0), selectors);

    const std::size_t primaries = group(window);
    const std::size_t title =
        text(primaries, bars ? "Primaries - Color Bars" : "Primaries - Wheels");
    const std::size_t wheelsBox = add(node("AXCheckBox", "Wheels", bars ? 0 : 1), primaries);
    const std::size_t barsBox = add(node("AXCheckBox", "Color Bars", bars ? 1 : 0), primaries);
    const std::size_t wheels = group(primaries, bars);
    text(wheels, "0.00");
    const std::size_t panel = group(primaries, !bars);
    nodes_[barsBox].onPress = {{Effect::kSet, title, "Primaries - Color Bars"},
                               {Effect::kSet, barsBox, 1},
                               {Effect::kSet, wheelsBox, 0},
                               {Effect::kShow, panel, nullptr},
                               {Effect::kHide, wheels, nullptr}};
    nodes_[wheelsBox].onPress = {{Effect::kSet, title, "Primaries - Wheels"},
                                 {Effect::kSet, barsBox, 0},
                                 {Effect::kSet, wheelsBox, 1},
                                 {Effect::kHide, panel, nullptr},
                                 {Effect::kShow, wheels, nullptr}};
    const int sizes[] = {4, 4, 4, 3};
    const double targets[] = {0, 0, 700, 0};
    for (int g = 0; g < 4; ++g) {
      text(panel, "Group");
      const std::size_t reset = add(node("AXButton", "Reset", nullptr), panel);
      std::vector<std::size_t> sliders;
      for (int i = 0; i < sizes[g]; ++i) {
        Node slider = node("AXSlider", nullptr, targets[g] + 10 * i + 0.5);
        slider.range = g == 2 ? std::pair{0.0, 2800.0} : std::pair{-100.0, 100.0};
        sliders.push_back(add(std::move(slider), panel));
      }
      std::vector<Effect> effects;
      for (std::size_t slider : sliders) {
        readout(panel, slider, g == 2 ? 1.0 / 700 : 0.01);
        effects.push_back({Effect::kSet, slider, targets[g], 300});
      }
      nodes_[reset].onPress = std::move(effects);
    }

    const std::size_t blur = group(window, !blurOpen);
    nodes_[blurButton].onPress = {{Effect::kShow, blur, nullptr}, {Effect::kSet, blurButton, 1}};
    const std::size_t blurTitle = text(blur, blurMode ? "Blur - Blur" : "Blur - Sharpen");
    const char* const modes[] = {"Blur", "Sharpen", "Mist"};
    std::vector<std::size_t> modeBoxes;
    for (const char* mode : modes) {
      modeBoxes.push_back(
          add(node("AXCheckBox", mode, (mode == modes[0]) == blurMode ? 1 : 0), blur));
    }
    for (std::size_t m = 0; m < modeBoxes.size(); ++m) {
      std::vector<Effect> effects{{Effect::kSet, blurTitle, std::string("Blur - ") + modes[m]}};
      for (std::size_t other = 0; other < modeBoxes.size(); ++other) {
        effects.push_back({Effect::kSet, modeBoxes[other], other == m ? 1 : 0});
      }
      nodes_[modeBoxes[m]].onPress = std::move(effects);
    }
    const double blurTargets[] = {50, 50, 25};
    for (int row = 0; row < 3; ++row) {
      text(blur, "Row");
      const std::size_t reset = add(node("AXButton", "Reset", nullptr), blur);
      add(node("AXCheckBox", "", 1), blur);
      std::vector<Effect> effects;
      for (int i = 0; i < 3; ++i) {
        Node slider = node("AXSlider", nullptr, 10 * (3 * row + i) + 5);
        slider.range = std::pair{0.0, 100.0};
        const std::size_t s = add(std::move(slider), blur);
        readout(blur, s, 0.01);
        effects.push_back({Effect::kSet, s, blurTargets[row], 300});
      }
      nodes_[reset].onPress = std::move(effects);
    }
    text(window, "Scopes");
    text(window, "Timeline");
  }

  // --- Random pieces ---

  json anyValue() {
    switch (bytes_.upTo(8)) {
      case 0:
        return bytes_.pick(kNumbers);
      case 1: {
        // JSON has no NaN or infinity; those reach the helper through texts.
        const double value = bytes_.anyDouble();
        return std::isfinite(value) ? json(value) : json(bytes_.pick(kNumericTexts));
      }
      case 2:
        return bytes_.pick(kNumericTexts);
      case 3:
        return bytes_.pick(kLabels);
      case 4:
        return bytes_.flag();
      case 5:
        return json::array({1, "two"});
      case 6:
        return json::object({{"AXValue", 1}});
      case 7:
        return nullptr;
      default:
        return bytes_.text(12);  // any bytes; the writer replaces what is not UTF-8
    }
  }

  json anyRole() { return bytes_.upTo(12) == 0 ? json(nullptr) : json(bytes_.pick(kRoles)); }
  json anyLabel() { return bytes_.upTo(8) == 0 ? json(nullptr) : json(bytes_.pick(kLabels)); }

  Node anyLeaf() { return node(anyRole(), anyLabel(), anyValue()); }

  std::size_t anyNode() { return bytes_.upTo(static_cast<std::uint32_t>(nodes_.size() - 1)); }

  // A node whose children can take one more; the first window (node 0) when
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
    if (effect.kind == Effect::kSet) effect.value = anyValue();
    if (bytes_.flag()) effect.afterMs = bytes_.pick(kDelaysMs);
    return effect;
  }

  void detach(std::size_t n) {
    if (const auto parent = nodes_[n].parent) {
      if (auto& siblings = nodes_[*parent].children) std::erase(*siblings, n);
      nodes_[n].parent.reset();
      return;
    }
    for (Application& app : apps_) {
      if (app.windows) std::erase(*app.windows, n);
    }
  }

  std::size_t subtreeSize(std::size_t n) const {
    std::size_t count = 0;
    std::vector<std::size_t> pending{n};
    while (!pending.empty()) {
      const std::size_t at = pending.back();
      pending.pop_back();
      ++count;
      if (nodes_[at].children) {
        pending.insert(pending.end(), nodes_[at].children->begin(), nodes_[at].children->end());
      }
    }
    return count;
  }

  // A copy of the subtree, placed right after the original. Effects and binds
  // of the copy still name the original's targets.
  void duplicate(std::size_t n) {
    const auto parent = nodes_[n].parent;
    if (!parent || !nodes_[*parent].children) return;
    if (nodes_.size() + subtreeSize(n) > kMaxNodes) return;
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
    if (children) {
      for (std::size_t child : *children) {
        const std::size_t copied = copyOf(child, self);  // may move nodes_
        nodes_[self].children->push_back(copied);
      }
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
        insertAt(parent, node("AXGroup", nullptr, nullptr));
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
          insertAt(at, node("AXGroup", nullptr, nullptr));
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
      case 9: {  // unreadable children: the key missing, or not a list
        const json kinds[] = {nullptr, 3, "children", json::object(), json::array({json::array()})};
        Node& n = nodes_[anyNode()];
        const json& kind = bytes_.pick(kinds);
        if (kind.is_array()) break;  // a list: left readable
        for (std::size_t child : n.children.value_or(std::vector<std::size_t>{})) {
          nodes_[child].parent.reset();
        }
        n.children.reset();
        n.unreadable = kind;
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
        Bind bind{anyNode(), std::nullopt, std::nullopt};
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
    switch (bytes_.upTo(5)) {
      case 0: {  // another window, focused or not
        const std::size_t window = add(anyLeaf(), std::nullopt);
        nodes_[window].role = "AXWindow";
        Application& app = apps_[bytes_.upTo(static_cast<std::uint32_t>(apps_.size() - 1))];
        if (app.windows)
          app.windows->insert(
              app.windows->begin() + bytes_.upTo(static_cast<std::uint32_t>(app.windows->size())),
              window);
        break;
      }
      case 1: {
        const json focus[] = {nullptr, 0, 1, 2, -1, 7, json(std::uint64_t{1} << 63)};
        apps_[bytes_.upTo(static_cast<std::uint32_t>(apps_.size() - 1))].focusedWindow =
            bytes_.pick(focus);
        break;
      }
      case 2:
        apps_[bytes_.upTo(static_cast<std::uint32_t>(apps_.size() - 1))].windows.reset();
        break;
      case 3: {  // another instance, listed first or after
        Application app;
        app.focusedWindow = bytes_.flag() ? json(nullptr) : json(0);
        if (bytes_.flag()) app.windows.reset();
        apps_.insert(bytes_.flag() ? apps_.begin() : apps_.end(), std::move(app));
        break;
      }
      case 4:
        trusted_ = !trusted_;
        break;
      default:
        running_ = !running_;
        break;
    }
  }

  // --- Writing the scene ---

  json toJson() {
    // Only nodes in some window's tree get into the file; effects and binds
    // naming any other node are dropped.
    reachable_.assign(nodes_.size(), false);
    std::vector<std::size_t> pending;
    for (const Application& app : running_ ? apps_ : std::vector<Application>{}) {
      if (app.windows) pending.insert(pending.end(), app.windows->begin(), app.windows->end());
    }
    while (!pending.empty()) {
      const std::size_t at = pending.back();
      pending.pop_back();
      reachable_[at] = true;
      if (nodes_[at].children) {
        pending.insert(pending.end(), nodes_[at].children->begin(), nodes_[at].children->end());
      }
    }

    json apps = json::array();
    for (const Application& app : running_ ? apps_ : std::vector<Application>{}) {
      json a = json::object();
      a["focusedWindow"] = app.focusedWindow;
      if (app.windows) {
        a["windows"] = json::array();
        for (std::size_t window : *app.windows) a["windows"].push_back(nodeJson(window));
      }
      apps.push_back(std::move(a));
    }
    json scene = json::object();
    if (!trusted_) scene["trusted"] = false;
    scene["applications"] = std::move(apps);
    return scene;
  }

  json effectsJson(const std::vector<Effect>& effects) const {
    static const char* const kKinds[] = {"set", "toggle", "show", "hide"};
    json list = json::array();
    for (const Effect& effect : effects) {
      if (!reachable_[effect.target]) continue;
      json e = json::object();
      e[kKinds[effect.kind]] = "n" + std::to_string(effect.target);
      if (effect.kind == Effect::kSet) e["value"] = effect.value;
      if (effect.afterMs > 0) e["afterMs"] = effect.afterMs;
      list.push_back(std::move(e));
    }
    return list;
  }

  json nodeJson(std::size_t index) const {
    const Node& n = nodes_[index];
    json o = json::object();
    o["id"] = "n" + std::to_string(index);
    if (!n.role.is_null()) o["role"] = n.role;
    if (!n.description.is_null()) o["description"] = n.description;
    if (!n.value.is_null()) o["value"] = n.value;
    if (n.hidden) o["hidden"] = true;
    if (n.refusePress) o["refusePress"] = true;
    if (n.refuseSet) o["refuseSet"] = true;
    if (n.range) o["range"] = {n.range->first, n.range->second};
    if (n.onPress) o["onPress"] = effectsJson(*n.onPress);
    if (!n.onSet.empty()) o["onSet"] = effectsJson(n.onSet);
    if (n.bind && reachable_[n.bind->source]) {
      json bind{{"id", "n" + std::to_string(n.bind->source)}};
      if (n.bind->scale) bind["scale"] = *n.bind->scale;
      if (n.bind->format) bind["format"] = *n.bind->format;
      o["bind"] = std::move(bind);
    }
    if (n.children) {
      json children = json::array();
      for (std::size_t child : *n.children) children.push_back(nodeJson(child));
      o["children"] = std::move(children);
    } else if (!n.unreadable.is_null()) {
      o["children"] = n.unreadable;
    }
    return o;
  }

  Bytes& bytes_;
  std::vector<Node> nodes_;
  std::vector<Application> apps_;
  std::vector<bool> reachable_;
  bool trusted_ = true;
  bool running_ = true;  // false: Resolve is not running at all
};

}  // namespace

std::string randomScene(Bytes& bytes) { return Builder(bytes).build(); }

}  // namespace trovemark::fuzz
