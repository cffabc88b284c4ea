#pragma once

// Substitute Resolves for the Color helper's tests: a small Color page built
// in code so that each test can change the one control it is about, the
// default scene file, a fixture that keeps the operation log as short lines,
// and a port that refuses one chosen operation.

#include <cstddef>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "color_helper/color_error.h"
#include "scene_engine/scene.h"
#include "testing/fake_clock.h"

namespace trovemark::testing {

using nlohmann::json;

// The message of the ColorError that `operation` throws, or "no failure".
template <typename Operation>
std::string failureOf(Operation&& operation) {
  try {
    operation();
  } catch (const color::ColorError& error) {
    return error.message();
  }
  return "no failure";
}

inline json textNode(const std::string& text, const std::string& id = "") {
  json node{{"role", "AXStaticText"}, {"value", text}};
  if (!id.empty()) node["id"] = id;
  return node;
}

inline json control(const std::string& role, const std::string& id, const std::string& description,
                    json value = nullptr) {
  json node{{"id", id}, {"role", role}};
  if (!description.empty()) node["description"] = description;
  if (!value.is_null()) node["value"] = value;
  return node;
}

// A Color page window with every control named:
//   colorBars, primariesTitle, p0..p14 (sliders), resetP0..resetP3,
//   blurButton, blurPalette, blurTitle, modeBlur, modeSharpen,
//   link0..link2, b0..b8 (sliders), resetB0..resetB2, scopes.
// Color Bars and Sharpen are on and the Blur palette is open. Slider pN
// starts at 10·N + 0.5 and bN at 10·N + 5. Each Primaries group's sliders are
// followed by texts bound to them; a Primaries Reset button sets its row to
// the row's default 200 ms after it is pressed.
inline json colorPage() {
  json primaries{control("AXCheckBox", "colorBars", "Color Bars", 1),
                 textNode("Primaries - Color Bars", "primariesTitle")};
  const int groupSizes[] = {4, 4, 4, 3};
  const double targets[] = {0, 0, 700, 0};
  for (int g = 0, slider = 0; g < 4; ++g) {
    json reset = json::array(), readouts = json::array();
    for (int i = 0; i < groupSizes[g]; ++i, ++slider) {
      const std::string id = "p" + std::to_string(slider);
      primaries.push_back(control("AXSlider", id, "", 10 * slider + 0.5));
      readouts.push_back({{"role", "AXStaticText"}, {"bind", {{"id", id}}}});
      reset.push_back({{"set", id}, {"value", targets[g]}, {"afterMs", 200}});
    }
    primaries.insert(primaries.end(), readouts.begin(), readouts.end());
    primaries.push_back(control("AXButton", "resetP" + std::to_string(g), "Reset"));
    primaries.back()["onPress"] = reset;
  }

  json blur{textNode("Blur - Sharpen", "blurTitle"), control("AXCheckBox", "modeBlur", "Blur", 0),
            control("AXCheckBox", "modeSharpen", "Sharpen", 1)};
  blur[1]["onPress"] = {{{"set", "modeBlur"}, {"value", 1}},
                        {{"set", "modeSharpen"}, {"value", 0}}};
  blur[2]["onPress"] = {{{"set", "modeBlur"}, {"value", 0}},
                        {{"set", "modeSharpen"}, {"value", 1}}};
  for (int row = 0; row < 3; ++row) {
    blur.push_back(control("AXCheckBox", "link" + std::to_string(row), "", 1));
    for (int i = 3 * row; i < 3 * row + 3; ++i) {
      blur.push_back(control("AXSlider", "b" + std::to_string(i), "", 10 * i + 5));
    }
    blur.push_back(control("AXButton", "resetB" + std::to_string(row), "Reset"));
  }

  json blurButton = control("AXCheckBox", "blurButton", "Blur", 1);
  blurButton["onPress"] = {{{"show", "blurPalette"}}};
  return {{"role", "AXWindow"},
          {"children",
           {textNode("Color"),
            {{"role", "AXGroup"}, {"children", primaries}},
            blurButton,
            {{"id", "blurPalette"}, {"role", "AXGroup"}, {"children", blur}},
            textNode("Scopes", "scopes")}}};
}

inline json* findNode(json& root, const std::string& id) {
  if (root.value("id", "") == id) return &root;
  for (const char* key : {"applications", "windows", "children"}) {
    if (!root.contains(key) || !root[key].is_array()) continue;
    for (auto& child : root[key]) {
      if (json* found = findNode(child, id)) return found;
    }
  }
  return nullptr;
}

// The node with this id anywhere below `root` (a node or a whole scene), to
// change before the scene is made.
inline json& nodeById(json& root, const std::string& id) {
  json* found = findNode(root, id);
  if (!found) throw std::invalid_argument("no node " + id);
  return *found;
}

// A scene whose one application has `window`, focused.
inline json sceneOf(json window) {
  return {{"applications", {{{"focusedWindow", 0}, {"windows", {std::move(window)}}}}}};
}

// scenes/color-page.json as JSON, to edit before the scene is made.
inline json defaultScene() {
  return json::parse(
      std::ifstream(std::filesystem::path(TROVEMARK_SOURCE_DIR) / "scenes/color-page.json"));
}

// One operation as a short line such as "press colorBars", "set p3 40.5" or
// "set b0 50 refused".
inline std::string logLine(const scene::Operation& op) {
  std::ostringstream line;
  line << op.op << ' ' << op.id.value_or("?");
  if (op.value) line << ' ' << *op.value;
  if (op.refused) line << " refused";
  return line.str();
}

// A scene on a fake clock.
struct SceneFixture {
  FakeClock clock;
  std::unique_ptr<scene::Scene> scene;

  void make(const json& sceneJson) { scene = scene::Scene::parse(sceneJson.dump(), clock); }
  std::vector<std::string> log() const {
    std::vector<std::string> lines;
    for (const auto& op : scene->operations()) lines.push_back(logLine(op));
    return lines;
  }
  double valueOf(const std::string& id) const {
    auto value = scene->valueOf(id);
    return value ? std::get<double>(*value) : -1;
  }
};

// A scene's port that refuses the n-th press or set (counting from 1) as the
// platform refuses, without passing it on, and lets everything else through.
// `log()` holds every operation that came to the port, the refused one
// included.
class RefuseNth final : public ax::Accessibility {
 public:
  RefuseNth(scene::Scene& scene, std::size_t n) : scene_(scene), n_(n) {}

  std::vector<std::string> log() const {
    std::vector<std::string> lines;
    for (const auto& op : operations_) lines.push_back(logLine(op));
    return lines;
  }

  bool isProcessTrusted() override { return scene_.isProcessTrusted(); }
  std::vector<ax::ProcessId> runningApplications(const std::string& bundle) override {
    return scene_.runningApplications(bundle);
  }
  ax::ElementRef applicationElement(ax::ProcessId pid) override {
    return scene_.applicationElement(pid);
  }
  std::optional<ax::AttributeValue> attribute(const ax::ElementRef& element,
                                              const std::string& name) override {
    return scene_.attribute(element, name);
  }
  bool sameElement(const ax::ElementRef& a, const ax::ElementRef& b) override {
    return scene_.sameElement(a, b);
  }
  std::unique_ptr<ax::WalkSource> walk(const ax::ElementRef& root, std::size_t limit,
                                       const ax::ReadingPlan& plan) override {
    return scene_.walk(root, limit, plan);
  }
  bool setValue(const ax::ElementRef& element, double value) override {
    return operate("set", element, value, [&] { return scene_.setValue(element, value); });
  }
  bool press(const ax::ElementRef& element) override {
    return operate("press", element, std::nullopt, [&] { return scene_.press(element); });
  }

 private:
  template <typename Pass>
  bool operate(const char* op, const ax::ElementRef& element, std::optional<double> value,
               Pass pass) {
    const auto node = scene_.nodeOf(element);
    const bool refuse = operations_.size() + 1 == n_;
    const bool done = !refuse && pass();
    operations_.push_back({op, node ? scene_.model().id(*node) : std::nullopt, value, !done});
    return done;
  }

  scene::Scene& scene_;
  std::size_t n_;
  std::vector<scene::Operation> operations_;
};

}  // namespace trovemark::testing
