#include "diagnosis/capture.h"

#include <algorithm>
#include <utility>
#include <vector>

#include "scene_engine/scene_model.h"

namespace trovemark::diagnosis {

Capture capture(ax::Accessibility& ax, const ax::ElementRef& window, std::size_t limit) {
  scene::SceneDescription scene;
  // The nodes still to read, each with its parent's place in the scene;
  // children pushed in reverse so that they come off in list order.
  std::vector<std::pair<ax::ElementRef, std::optional<scene::NodeId>>> pending;
  if (window) pending.emplace_back(window, std::nullopt);
  const ax::Attributes everything = ax::Attribute::kRole | ax::Attribute::kDescription |
                                    ax::Attribute::kValue | ax::Attribute::kChildren;
  while (!pending.empty() && scene.nodes.size() < limit) {
    auto [element, parent] = std::move(pending.back());
    pending.pop_back();
    ax::Reading reading = ax.read(element, everything);
    const scene::NodeId id = scene.nodes.size();
    scene::Node& node = scene.nodes.emplace_back();
    if (!reading.role.is(ax::RoleKind::kNone)) node.role = ax::macRoleName(reading.role);
    node.description = std::move(reading.description);
    node.value = std::move(reading.value);
    node.parent = parent;
    if (parent) {
      scene.nodes[*parent].children->push_back(id);
    }
    if (reading.children && std::find(reading.children->begin(), reading.children->end(),
                                      nullptr) == reading.children->end()) {
      node.children.emplace();
      for (auto child = reading.children->rbegin(); child != reading.children->rend(); ++child) {
        pending.emplace_back(*child, id);
      }
    }
  }
  Capture result;
  result.elements = scene.nodes.size();
  result.cut = !pending.empty();
  scene::Application application;
  if (!scene.nodes.empty()) {
    application.focusedWindow = 0;
    application.windows = std::vector<scene::NodeId>{0};
  }
  scene.applications.push_back(std::move(application));
  result.sceneText = scene::writeScene(scene);
  return result;
}

}  // namespace trovemark::diagnosis
