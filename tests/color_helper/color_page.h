#pragma once

// A small Color page of a substitute Resolve, built in code so that each test
// can change the one control it is about. Every control has an id:
//   colorBars, primariesTitle, p0..p14 (sliders), resetP0..resetP3,
//   blurButton, blurPalette, blurTitle, modeBlur, modeSharpen,
//   link0..link2, b0..b8 (sliders), resetB0..resetB2, scopes.
// Slider pN starts at 10·N + 0.5 and bN at 10·N + 5. Each Primaries group's
// sliders are followed by texts showing their values; a Primaries Reset
// button sets its row to the row's default 200 ms after it is pressed.

#include <memory>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "scene_engine/scene.h"
#include "testing/fake_clock.h"

namespace trovemark::testing {

using nlohmann::json;

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

inline json colorPage() {
  json primaries = json::array();
  primaries.push_back(control("AXCheckBox", "colorBars", "Color Bars", 1));
  primaries.push_back(textNode("Primaries - Color Bars", "primariesTitle"));
  const int groupSizes[] = {4, 4, 4, 3};
  const double targets[] = {0, 0, 700, 0};
  int slider = 0;
  for (int g = 0; g < 4; ++g) {
    json reset = json::array();
    std::vector<int> members;
    for (int i = 0; i < groupSizes[g]; ++i, ++slider) {
      members.push_back(slider);
      primaries.push_back(control("AXSlider", "p" + std::to_string(slider), "", 10 * slider + 0.5));
    }
    for (int member : members) {
      json readout{{"role", "AXStaticText"}, {"bind", {{"id", "p" + std::to_string(member)}}}};
      primaries.push_back(readout);
      reset.push_back(
          {{"set", "p" + std::to_string(member)}, {"value", targets[g]}, {"afterMs", 200}});
    }
    json button = control("AXButton", "resetP" + std::to_string(g), "Reset");
    button["onPress"] = reset;
    primaries.push_back(button);
  }

  json blur = json::array();
  blur.push_back(textNode("Blur - Sharpen", "blurTitle"));
  blur.push_back(control("AXCheckBox", "modeBlur", "Blur", 0));
  blur.push_back(control("AXCheckBox", "modeSharpen", "Sharpen", 1));
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

inline json* findById(json& node, const std::string& id) {
  if (node.value("id", "") == id) return &node;
  if (node.contains("children")) {
    for (auto& child : node["children"]) {
      if (json* found = findById(child, id)) return found;
    }
  }
  return nullptr;
}

// The node with this id, to change before the scene is made.
inline json& nodeById(json& root, const std::string& id) {
  json* found = findById(root, id);
  if (!found) throw std::invalid_argument("no node " + id);
  return *found;
}

inline json sceneOf(json window) {
  return {{"applications", {{{"focusedWindow", 0}, {"windows", {std::move(window)}}}}}};
}

// A scene on a fake clock, and its operation log as short lines such as
// "press colorBars", "set p3 40.5" or "set b0 50 refused".
struct SceneFixture {
  FakeClock clock;
  std::unique_ptr<scene::Scene> scene;

  void make(const json& sceneJson) { scene = scene::Scene::parse(sceneJson.dump(), clock); }

  std::vector<std::string> log() const {
    std::vector<std::string> lines;
    for (const auto& op : scene->operations()) {
      std::ostringstream line;
      line << op.op << ' ' << op.id.value_or("?");
      if (op.value) line << ' ' << *op.value;
      if (op.refused) line << " refused";
      lines.push_back(line.str());
    }
    return lines;
  }
  double valueOf(const std::string& id) const {
    auto value = scene->valueOf(id);
    return value ? std::get<double>(*value) : -1;
  }
};

}  // namespace trovemark::testing
