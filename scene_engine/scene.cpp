#include "scene_engine/scene.h"

#include <cstdlib>
#include <string_view>
#include <utility>

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

std::optional<ax::AttributeValue> toAttribute(const Value& value) {
  if (const auto* text = std::get_if<std::string>(&value)) return ax::AttributeValue(*text);
  if (const auto* number = std::get_if<double>(&value)) return ax::AttributeValue(*number);
  if (const auto* other = std::get_if<ax::OtherValue>(&value)) return ax::AttributeValue(*other);
  return std::nullopt;
}

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

std::optional<ax::AttributeValue> Scene::valueOf(const std::string& id) {
  model_->advanceToNow();
  const auto node = model_->find(id);
  if (!node) return std::nullopt;
  return toAttribute(model_->value(*node));
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

std::vector<ax::ProcessId> Scene::runningApplications(const std::string& bundleIdentifier) {
  ++calls_;
  model_->advanceToNow();
  std::vector<ax::ProcessId> pids;
  if (bundleIdentifier != kBundleIdentifier) return pids;
  for (std::size_t i = 0; i < model_->applicationCount(); ++i) {
    pids.push_back(kFirstProcessId + static_cast<ax::ProcessId>(i));
  }
  return pids;
}

ax::ElementRef Scene::applicationElement(ax::ProcessId pid) {
  ++calls_;
  return std::make_shared<SceneHandle>(model_.get(), SceneHandle::Kind::kApplication, pid);
}

std::optional<ax::AttributeValue> Scene::attribute(const ax::ElementRef& element,
                                                   const std::string& name) {
  ++calls_;
  model_->advanceToNow();
  const SceneHandle* handle = asSceneHandle(element, model_.get());
  if (handle == nullptr) return std::nullopt;
  if (handle->kind() == SceneHandle::Kind::kApplication) {
    return applicationAttribute(handle->index(), name);
  }
  return nodeAttribute(static_cast<NodeId>(handle->index()), name);
}

std::optional<ax::AttributeValue> Scene::applicationAttribute(ax::ProcessId pid,
                                                              const std::string& name) {
  if (pid < kFirstProcessId ||
      static_cast<std::uint64_t>(pid - kFirstProcessId) >= model_->applicationCount()) {
    return std::nullopt;
  }
  const auto application = static_cast<std::size_t>(pid - kFirstProcessId);
  if (name == ax::kRole) return ax::AttributeValue(std::string("AXApplication"));
  if (name == ax::kFocusedWindow) {
    const auto window = model_->focusedWindow(application);
    if (!window) return std::nullopt;
    return ax::AttributeValue(elementFor(*window));
  }
  if (name == ax::kWindows) {
    const auto windows = model_->shownWindows(application);
    if (!windows) return std::nullopt;
    std::vector<ax::ElementRef> refs;
    refs.reserve(windows->size());
    for (NodeId window : *windows) refs.push_back(elementFor(window));
    return ax::AttributeValue(std::move(refs));
  }
  return std::nullopt;
}

std::optional<ax::AttributeValue> Scene::nodeAttribute(NodeId node, const std::string& name) {
  // A hidden node is an element that has gone: every read fails.
  if (!model_->isShown(node)) return std::nullopt;
  if (name == ax::kRole) {
    const auto& role = model_->role(node);
    return role ? std::optional<ax::AttributeValue>(*role) : std::nullopt;
  }
  if (name == ax::kDescription) {
    const auto& description = model_->description(node);
    return description ? std::optional<ax::AttributeValue>(*description) : std::nullopt;
  }
  if (name == ax::kValue) return toAttribute(model_->value(node));
  if (name == ax::kChildren) {
    const auto children = model_->shownChildren(node);
    if (!children) return std::nullopt;
    std::vector<ax::ElementRef> refs;
    refs.reserve(children->size());
    for (NodeId child : *children) refs.push_back(elementFor(child));
    return ax::AttributeValue(std::move(refs));
  }
  return std::nullopt;
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
