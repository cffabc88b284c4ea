#pragma once

// The one scene fixture: a substitute Resolve made from a scene (mostly the
// default Color page, edited as JSON first) on a fake clock, read and
// operated by node id, with its operation log as short lines, optionally
// refusing one chosen operation. Requests go through port(): the scene
// itself, or with TROVEMARK_SCENE_PORT=macos the macOS adapter over the
// simulated Mac over the scene, so that one set of tables holds for both.

#include <chrono>
#include <cstddef>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "color_helper/color_error.h"
#include "color_helper/messages.h"
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

// scenes/color-page.json as JSON, to edit before a scene is made of it.
inline json defaultScene() {
  return json::parse(
      std::ifstream(std::filesystem::path(TROVEMARK_SOURCE_DIR) / "scenes/color-page.json"));
}

// A scene whose one application has one focused window, "window", holding
// `children` (the JSON text of a list).
inline std::string oneWindow(const std::string& children) {
  return R"({"applications":[{"focusedWindow":0,"windows":[{"id":"window","role":"AXWindow","children":)" +
         children + "}]}]}";
}

// The node with this id among the applications, windows and children below
// `node`, or null.
inline json* findNode(json& node, const std::string& id) {
  if (node.is_object() && node.value("id", json()) == id) return &node;
  for (const char* key : {"applications", "windows", "children"}) {
    const auto list = node.find(key);
    if (list == node.end() || !list->is_array()) continue;
    for (auto& item : *list) {
      if (json* found = findNode(item, id)) return found;
    }
  }
  return nullptr;
}

// The node with this id; throws when there is none.
inline json& nodeById(json& scene, const std::string& id) {
  if (json* found = findNode(scene, id)) return *found;
  throw std::invalid_argument("the scene has no node " + id);
}

// Every operation the scene received, as the stand-in logs it.
inline std::vector<std::string> jsonLog(const scene::Scene& scene) {
  std::vector<std::string> lines;
  for (const auto& op : scene.operations()) lines.push_back(op.toJsonLine());
  return lines;
}

struct SceneFixture {
  FakeClock clock;
  std::unique_ptr<scene::Scene> scene;

  scene::Scene& make(const std::string& text) {
    port_.reset();
    scene = scene::Scene::parse(text, clock);
    return *scene;
  }
  scene::Scene& make(const char* text) { return make(std::string(text)); }
  scene::Scene& make(const json& sceneJson) { return make(sceneJson.dump()); }
  // The scene refusing its n-th press or set (see RefuseNth).
  scene::Scene& makeRefusing(const json& sceneJson, std::size_t n);

  ax::ElementRef node(const std::string& id) {
    const auto found = scene->model().find(id);
    if (!found) throw std::invalid_argument("the scene has no node " + id);
    return scene->elementFor(*found);
  }
  // The node's attributes, as the port reads them.
  ax::Reading read(const std::string& id, ax::Attributes attributes) {
    return scene->read(node(id), attributes);
  }
  // The node's current value when it is a number.
  std::optional<double> number(const std::string& id) {
    const auto value = scene->valueOf(id);
    const double* held = std::get_if<double>(&value);
    return held ? std::optional<double>(*held) : std::nullopt;
  }
  void advanceMs(int ms) { clock.advance(std::chrono::milliseconds(ms)); }

  // The port over the current scene (defined in testing/scene_port.cpp, which
  // only the suites that call it link). Through the macOS adapter, every
  // object it obtained must have been released when the port goes.
  ax::Accessibility& port();
  // The sentences of the platform whose adapter port() is: macOS's through
  // the macOS adapter, else Linux's (also in testing/scene_port.cpp).
  static const color::messages::PlatformMessages& messages();

  // Every operation the scene received, as short lines such as "press
  // color-bars", "set lift-y 2.5" or "set radius-r 50 refused".
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

 private:
  std::shared_ptr<ax::Accessibility> port_;  // set when the port is not the scene itself
};

// A scene that refuses the n-th press or set it is asked for (counting from
// 1) as the platform refuses: the operation is logged as refused and goes no
// further.
class RefuseNth final : public scene::Scene {
 public:
  RefuseNth(std::unique_ptr<scene::SceneModel> model, std::size_t n)
      : Scene(std::move(model)), n_(n) {}

  bool setValue(const ax::ElementRef& element, double value) override {
    return !refuses(element, "set", value) && Scene::setValue(element, value);
  }
  bool press(const ax::ElementRef& element) override {
    return !refuses(element, "press", std::nullopt) && Scene::press(element);
  }

 private:
  bool refuses(const ax::ElementRef& element, const char* op, std::optional<double> value) {
    if (++operations_ != n_) return false;
    const auto node = nodeOf(element);
    model().logRefused(op, value, node ? model().id(*node) : std::nullopt);
    return true;
  }

  std::size_t n_;
  std::size_t operations_ = 0;
};

inline scene::Scene& SceneFixture::makeRefusing(const json& sceneJson, std::size_t n) {
  port_.reset();
  scene = std::make_unique<RefuseNth>(scene::SceneModel::parse(sceneJson.dump(), clock), n);
  return *scene;
}

}  // namespace trovemark::testing
