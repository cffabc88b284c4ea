#pragma once

// The scene engine tests' fixture: a scene on a fake clock, read and operated
// by node id.

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "scene_engine/scene.h"
#include "testing/fake_clock.h"

namespace trovemark::scene::test {

// A scene with one application whose one window holds `children` (JSON text of
// a list), focused.
inline std::string oneWindow(const std::string& children) {
  return R"({"applications":[{"focusedWindow":0,"windows":[{"id":"window","role":"AXWindow","children":)" +
         children + "}]}]}";
}

class SceneTest : public ::testing::Test {
 protected:
  Scene& open(const std::string& json) {
    scene_ = Scene::parse(json, clock_);
    return *scene_;
  }
  ax::ElementRef node(const std::string& id) {
    const auto found = scene_->model().find(id);
    EXPECT_TRUE(found.has_value()) << id;
    return scene_->elementFor(found.value_or(0));
  }
  std::optional<ax::AttributeValue> read(const std::string& id, const std::string& name) {
    return scene_->attribute(node(id), name);
  }
  // The node's current value when it is a T.
  template <typename T>
  std::optional<T> as(const std::string& id) {
    const auto value = scene_->valueOf(id);
    const T* held = value ? std::get_if<T>(&*value) : nullptr;
    return held ? std::optional<T>(*held) : std::nullopt;
  }
  std::optional<double> number(const std::string& id) { return as<double>(id); }
  std::optional<std::string> text(const std::string& id) { return as<std::string>(id); }
  std::vector<std::string> logLines() const {
    std::vector<std::string> lines;
    for (const Operation& op : scene_->operations()) lines.push_back(op.toJsonLine());
    return lines;
  }
  void advanceMs(int ms) { clock_.advance(std::chrono::milliseconds(ms)); }

  testing::FakeClock clock_;
  std::unique_ptr<Scene> scene_;
};

}  // namespace trovemark::scene::test
