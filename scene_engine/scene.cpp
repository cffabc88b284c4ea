#include "scene_engine/scene.h"

#include <algorithm>
#include <cstdlib>
#include <string_view>
#include <utility>

#include "color_helper/resolve.h"

namespace trovemark::scene {

namespace {

// What a handle of this port names: one node, or one application by process
// id. `owner` tells handles of different scenes apart; it is never followed.
class SceneHandle final : public ax::ElementHandle {
 public:
  enum class Kind { kNode, kApplication };
  SceneHandle(const void* owner, Kind kind, std::int64_t index)
      : owner_(owner), kind_(kind), index_(index) {}
  const void* owner() const { return owner_; }
  Kind kind() const { return kind_; }
  std::int64_t index() const { return index_; }

 private:
  const void* owner_;
  Kind kind_;
  std::int64_t index_;
};

const SceneHandle* asSceneHandle(const ax::ElementRef& element, const void* owner) {
  const auto* handle = dynamic_cast<const SceneHandle*>(element.get());
  if (handle == nullptr || handle->owner() != owner) return nullptr;
  return handle;
}

}  // namespace

Scene::Scene(std::unique_ptr<SceneModel> model) : model_(std::move(model)) {
  const char* mode = std::getenv("TROVEMARK_SCENE_WALK");
  walkMode_ = mode && std::string_view(mode) == "everything" ? WalkMode::kReadEverything
                                                             : WalkMode::kAsAsked;
  handles_.resize(model_->nodeCount());
}

std::unique_ptr<Scene> Scene::parse(std::string_view json, ax::Clock& clock) {
  return std::make_unique<Scene>(SceneModel::parse(json, clock));
}

std::unique_ptr<Scene> Scene::load(const std::filesystem::path& file, ax::Clock& clock) {
  return std::make_unique<Scene>(SceneModel::load(file, clock));
}

const std::vector<Operation>& Scene::operations() const { return model_->operations(); }

Value Scene::valueOf(const std::string& id) {
  model_->advanceToNow();
  const auto node = model_->find(id);
  if (!node) return {};
  return model_->value(*node);
}

bool Scene::isShown(const std::string& id) {
  model_->advanceToNow();
  const auto node = model_->find(id);
  return node && model_->isShown(*node);
}

std::size_t Scene::calls() const { return calls_; }

ax::ElementRef Scene::elementFor(NodeId node) const {
  ax::ElementRef& handle = handles_.at(node);
  if (!handle) {
    handle = std::make_shared<SceneHandle>(model_.get(), SceneHandle::Kind::kNode,
                                           static_cast<std::int64_t>(node));
  }
  return handle;
}

std::optional<NodeId> Scene::nodeOf(const ax::ElementRef& element) const {
  const SceneHandle* handle = asSceneHandle(element, model_.get());
  if (handle == nullptr || handle->kind() != SceneHandle::Kind::kNode) return std::nullopt;
  return static_cast<NodeId>(handle->index());
}

bool Scene::isProcessTrusted() {
  ++calls_;
  return model_->trusted();
}

std::vector<ax::ProcessId> Scene::runningApplications(const ax::Application& application) {
  ++calls_;
  model_->advanceToNow();
  const ax::Application& resolve = color::resolveApplication();
  const auto& names = application.registeredNames;
  const bool isResolve =
      application.bundleIdentifier == resolve.bundleIdentifier ||
      std::any_of(names.begin(), names.end(), [&](const std::string& name) {
        return std::find(resolve.registeredNames.begin(), resolve.registeredNames.end(), name) !=
               resolve.registeredNames.end();
      });
  std::vector<ax::ProcessId> pids;
  listedAs_.clear();
  if (!isResolve) return pids;
  listedAs_ = application.bundleIdentifier == resolve.bundleIdentifier
                  ? resolve.bundleIdentifier
                  : resolve.registeredNames.front();
  for (std::size_t i = 0; i < model_->applicationCount(); ++i) {
    pids.push_back(kFirstProcessId + static_cast<ax::ProcessId>(i));
  }
  return pids;
}

std::string Scene::registeredName(ax::ProcessId pid) {
  const bool listed = pid >= kFirstProcessId && static_cast<std::uint64_t>(pid - kFirstProcessId) <
                                                    model_->applicationCount();
  return listed ? listedAs_ : std::string();
}

ax::ElementRef Scene::applicationElement(ax::ProcessId pid) {
  ++calls_;
  return std::make_shared<SceneHandle>(model_.get(), SceneHandle::Kind::kApplication, pid);
}

ax::Reading Scene::read(const ax::ElementRef& element, ax::Attributes attributes) {
  ++calls_;
  model_->advanceToNow();
  ax::Reading reading;
  reading.covered = attributes;
  const SceneHandle* handle = asSceneHandle(element, model_.get());
  if (handle == nullptr) return reading;
  if (handle->kind() == SceneHandle::Kind::kApplication) {
    readApplication(handle->index(), attributes, reading);
  } else {
    readNode(static_cast<NodeId>(handle->index()), attributes, reading);
  }
  return reading;
}

std::vector<ax::ElementRef> Scene::elementsFor(const std::vector<NodeId>& nodes) const {
  std::vector<ax::ElementRef> refs;
  refs.reserve(nodes.size());
  for (NodeId node : nodes) refs.push_back(elementFor(node));
  return refs;
}

void Scene::readApplication(ax::ProcessId pid, ax::Attributes attributes, ax::Reading& reading) {
  if (pid < kFirstProcessId ||
      static_cast<std::uint64_t>(pid - kFirstProcessId) >= model_->applicationCount()) {
    return;
  }
  const auto application = static_cast<std::size_t>(pid - kFirstProcessId);
  if (attributes.has(ax::Attribute::kRole)) reading.role = ax::macRole("AXApplication");
  if (attributes.has(ax::Attribute::kFocusedWindow)) {
    if (const auto window = model_->focusedWindow(application)) {
      reading.focusedWindow = elementFor(*window);
    }
  }
  if (attributes.has(ax::Attribute::kWindows)) {
    if (const auto windows = model_->shownWindows(application)) {
      reading.windows = elementsFor(*windows);
    }
  }
}

void Scene::readNode(NodeId node, ax::Attributes attributes, ax::Reading& reading) {
  // A hidden node is an element that has gone: every read fails.
  if (!model_->isShown(node)) return;
  if (attributes.has(ax::Attribute::kRole)) {
    if (const auto& role = model_->role(node)) reading.role = ax::macRole(*role);
  }
  if (attributes.has(ax::Attribute::kDescription)) reading.description = model_->description(node);
  if (attributes.has(ax::Attribute::kValue)) reading.value = model_->value(node);
  if (attributes.has(ax::Attribute::kChildren)) {
    if (const auto children = model_->shownChildren(node)) {
      reading.children = elementsFor(*children);
    }
  }
}

bool Scene::setValue(const ax::ElementRef& element, double value) {
  ++calls_;
  const auto node = nodeOf(element);
  if (!node) {
    model_->logRefused("set", value);
    return false;
  }
  return model_->set(*node, value);
}

bool Scene::press(const ax::ElementRef& element) {
  ++calls_;
  const auto node = nodeOf(element);
  if (!node) {
    model_->logRefused("press", std::nullopt);
    return false;
  }
  return model_->press(*node);
}

std::unique_ptr<ax::WalkSource> Scene::walk(const ax::ElementRef& root, std::size_t limit,
                                            const ax::ReadingPlan& plan) {
  if (walkMode_ == WalkMode::kAsAsked) return Accessibility::walk(root, limit, plan);
  std::vector<ax::Element> everything;
  auto source = Accessibility::walk(root, limit, ax::ReadingPlan::everything());
  while (auto element = source->next()) everything.push_back(std::move(*element));
  return ax::listedWalk(std::move(everything));
}

bool Scene::sameElement(const ax::ElementRef& a, const ax::ElementRef& b) {
  ++calls_;
  const SceneHandle* left = asSceneHandle(a, model_.get());
  const SceneHandle* right = asSceneHandle(b, model_.get());
  if (left == nullptr || right == nullptr) return false;
  return left->kind() == right->kind() && left->index() == right->index();
}

}  // namespace trovemark::scene
