#include "standin/accessible_tree.h"

#include <algorithm>
#include <chrono>

#include <QGuiApplication>

#include "standin/node_accessible.h"

namespace trovemark::standin {

namespace {

const std::vector<scene::NodeId> kNoChildren;
AccessibleTree* presentedTree = nullptr;

QAccessibleInterface* accessibleFactory(const QString&, QObject* object) {
  if (object && object == qApp) return new ApplicationAccessible();
  return nullptr;
}

bool contains(const std::vector<scene::NodeId>& nodes, scene::NodeId node) {
  return std::find(nodes.begin(), nodes.end(), node) != nodes.end();
}

}  // namespace

void installAccessibleFactory() { QAccessible::installFactory(accessibleFactory); }

AccessibleTree* AccessibleTree::presented() { return presentedTree; }

AccessibleTree::AccessibleTree(scene::SceneModel& model, std::size_t application, ax::Clock& clock,
                               OperationLog* log)
    : model_(model),
      application_(application),
      clock_(clock),
      log_(log),
      ids_(model.nodeCount(), 0),
      children_(model.nodeCount()),
      announced_(model.nodeCount()) {
  effectsTimer_.setSingleShot(true);
  effectsTimer_.setTimerType(Qt::PreciseTimer);
  connect(&effectsTimer_, &QTimer::timeout, this, [this] {
    model_.advanceToNow();
    scheduleDelayedEffects();
  });
  model_.addListener([this](const scene::Change& change) { onChange(change); });
  presentedTree = this;
}

AccessibleTree::~AccessibleTree() {
  // The model may outlive the tree; it must stop reaching it.
  started_ = false;
  presentedTree = nullptr;
  while (!windowNodes_.empty()) {
    windows_.back()->hide();
    forget(windowNodes_.back());
    windowNodes_.pop_back();
    windows_.pop_back();
  }
}

void AccessibleTree::start() {
  started_ = true;
  reconcileWindows();
  scheduleDelayedEffects();
}

QAccessibleInterface* AccessibleTree::applicationInterface() const {
  return QAccessible::queryAccessibleInterface(qApp);
}

bool AccessibleTree::isPresented(scene::NodeId node) const {
  return node < ids_.size() && ids_[node] != 0;
}

QAccessibleInterface* AccessibleTree::interfaceOf(scene::NodeId node) const {
  if (!isPresented(node)) return nullptr;
  return QAccessible::accessibleInterface(ids_[node]);
}

const std::vector<scene::NodeId>& AccessibleTree::presentedChildren(scene::NodeId node) const {
  if (!isPresented(node)) return kNoChildren;
  return children_[node];
}

QWindow* AccessibleTree::windowOf(scene::NodeId node) const {
  for (std::size_t i = 0; i < windowNodes_.size(); ++i) {
    if (windowNodes_[i] == node) return windows_[i].get();
  }
  return nullptr;
}

QWindow* AccessibleTree::enclosingWindow(scene::NodeId node) const {
  std::optional<scene::NodeId> at = node;
  while (std::optional<scene::NodeId> parent = model_.parent(*at)) at = parent;
  return windowOf(*at);
}

bool AccessibleTree::isFocusedWindow(scene::NodeId node) const { return focused_ == node; }

bool AccessibleTree::press(scene::NodeId node) {
  const bool accepted = model_.press(node);
  afterOperation();
  return accepted;
}

bool AccessibleTree::set(scene::NodeId node, double value) {
  const bool accepted = model_.set(node, value);
  afterOperation();
  return accepted;
}

void AccessibleTree::afterOperation() {
  const std::vector<scene::Operation>& operations = model_.operations();
  for (; operationsLogged_ < operations.size(); ++operationsLogged_) {
    if (log_) log_->append(operations[operationsLogged_]);
  }
  scheduleDelayedEffects();
}

void AccessibleTree::scheduleDelayedEffects() {
  const std::optional<ax::Clock::TimePoint> due = model_.nextDue();
  if (!due) {
    effectsTimer_.stop();
    return;
  }
  const auto wait = std::chrono::ceil<std::chrono::milliseconds>(*due - clock_.now());
  effectsTimer_.start(std::max<std::chrono::milliseconds::rep>(0, wait.count()));
}

void AccessibleTree::onChange(const scene::Change& change) {
  if (!started_ || change.application != application_) return;
  switch (change.kind) {
    case scene::Change::Kind::kValueChanged:
      announceValue(change.node);
      break;
    case scene::Change::Kind::kShown:
    case scene::Change::Kind::kHidden:
      if (const std::optional<scene::NodeId> parent = model_.parent(change.node)) {
        reconcileChildren(*parent);
      } else {
        reconcileWindows();
      }
      break;
    case scene::Change::Kind::kChildrenChanged:
      reconcileChildren(change.node);
      break;
    case scene::Change::Kind::kWindowsChanged:
      reconcileWindows();
      break;
  }
}

void AccessibleTree::reconcileWindows() {
  const std::vector<scene::NodeId> shown =
      model_.shownWindows(application_).value_or(std::vector<scene::NodeId>{});
  // Windows that went away first, then the new ones in the model's order.
  for (std::size_t i = windowNodes_.size(); i-- > 0;) {
    if (contains(shown, windowNodes_[i])) continue;
    const scene::NodeId node = windowNodes_[i];
    windows_[i]->hide();
    withdraw(node);
    windowNodes_.erase(windowNodes_.begin() + static_cast<std::ptrdiff_t>(i));
    windows_.erase(windows_.begin() + static_cast<std::ptrdiff_t>(i));
  }
  std::vector<scene::NodeId> nodes;
  std::vector<std::unique_ptr<QWindow>> windows;
  std::vector<scene::NodeId> added;
  for (const scene::NodeId node : shown) {
    nodes.push_back(node);
    const auto at = std::find(windowNodes_.begin(), windowNodes_.end(), node);
    if (at != windowNodes_.end()) {
      windows.push_back(std::move(windows_[static_cast<std::size_t>(at - windowNodes_.begin())]));
    } else {
      windows.push_back(makeWindow(node));
      added.push_back(node);
    }
  }
  windowNodes_ = std::move(nodes);
  windows_ = std::move(windows);
  for (const scene::NodeId node : added) {
    present(node);
    QAccessibleEvent created(interfaceOf(node), QAccessible::ObjectCreated);
    QAccessible::updateAccessibility(&created);
  }
  for (const scene::NodeId node : added) windowOf(node)->show();
  announceFocus();
}

std::unique_ptr<QWindow> AccessibleTree::makeWindow(scene::NodeId node) {
  auto window = std::make_unique<QWindow>();
  window->setSurfaceType(QSurface::RasterSurface);
  const std::optional<std::string>& description = model_.description(node);
  window->setTitle(description ? QString::fromStdString(*description) : QString());
  window->resize(1280, 720);
  return window;
}

void AccessibleTree::announceFocus() {
  const std::optional<scene::NodeId> focused = model_.focusedWindow(application_);
  if (focused == focused_) return;
  const std::optional<scene::NodeId> previous = focused_;
  focused_ = focused;
  QAccessible::State changed;
  changed.active = true;
  for (const std::optional<scene::NodeId>& node : {previous, focused}) {
    if (!node || !isPresented(*node)) continue;
    QAccessibleStateChangeEvent event(interfaceOf(*node), changed);
    QAccessible::updateAccessibility(&event);
  }
  if (focused) {
    if (QWindow* window = windowOf(*focused)) window->requestActivate();
  }
}

void AccessibleTree::reconcileChildren(scene::NodeId node) {
  if (!isPresented(node)) return;
  const std::vector<scene::NodeId> shown =
      model_.shownChildren(node).value_or(std::vector<scene::NodeId>{});
  const std::vector<scene::NodeId> old = children_[node];
  for (const scene::NodeId child : old) {
    if (!contains(shown, child)) {
      withdraw(child);
      std::erase(children_[node], child);
    }
  }
  std::vector<scene::NodeId> added;
  for (const scene::NodeId child : shown) {
    if (!contains(old, child)) added.push_back(child);
  }
  children_[node] = shown;
  for (const scene::NodeId child : added) {
    present(child);
    QAccessibleEvent created(interfaceOf(child), QAccessible::ObjectCreated);
    QAccessible::updateAccessibility(&created);
  }
}

void AccessibleTree::present(scene::NodeId node) {
  if (isPresented(node)) return;
  ids_[node] = QAccessible::registerAccessibleInterface(new NodeAccessible(*this, node));
  announced_[node] = model_.value(node);
  children_[node] = model_.shownChildren(node).value_or(std::vector<scene::NodeId>{});
  for (const scene::NodeId child : children_[node]) present(child);
}

void AccessibleTree::withdraw(scene::NodeId node) {
  if (!isPresented(node)) return;
  // Announced while the object and its parent can still be named.
  QAccessibleEvent destroyed(interfaceOf(node), QAccessible::ObjectDestroyed);
  QAccessible::updateAccessibility(&destroyed);
  forget(node);
}

void AccessibleTree::forget(scene::NodeId node) {
  if (!isPresented(node)) return;
  for (const scene::NodeId child : children_[node]) forget(child);
  children_[node].clear();
  const QAccessible::Id id = ids_[node];
  ids_[node] = 0;
  QAccessible::deleteAccessibleInterface(id);
}

void AccessibleTree::announceValue(scene::NodeId node) {
  if (!isPresented(node)) return;
  QAccessibleInterface* interface = interfaceOf(node);
  const scene::Value before = announced_[node];
  const scene::Value now = model_.value(node);
  announced_[node] = now;
  if (interface->role() == QAccessible::CheckBox) {
    if (isChecked(before) == isChecked(now)) return;
    QAccessible::State changed;
    changed.checked = true;
    QAccessibleStateChangeEvent event(interface, changed);
    QAccessible::updateAccessibility(&event);
    return;
  }
  if (const double* number = std::get_if<double>(&now)) {
    QAccessibleValueChangeEvent event(interface, *number);
    QAccessible::updateAccessibility(&event);
    return;
  }
  const std::string* oldText = std::get_if<std::string>(&before);
  const std::string* newText = std::get_if<std::string>(&now);
  if (newText || oldText) {
    // Only an object that offers text may announce a text change.
    if (!newText) return;
    QAccessibleTextUpdateEvent event(interface, 0,
                                     oldText ? QString::fromStdString(*oldText) : QString(),
                                     QString::fromStdString(*newText));
    QAccessible::updateAccessibility(&event);
  }
}

}  // namespace trovemark::standin
