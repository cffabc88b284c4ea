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
      presented_(model.nodeCount(), false),
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
  // The model may outlive the tree and Qt its objects: neither may reach it.
  started_ = false;
  presentedTree = nullptr;
  for (auto& [node, window] : windows_) window->hide();
  for (const QAccessible::Id id : ids_) {
    if (id != 0) QAccessible::deleteAccessibleInterface(id);
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
  return node < presented_.size() && presented_[node];
}

QAccessibleInterface* AccessibleTree::interfaceOf(scene::NodeId node) const {
  if (node >= ids_.size() || ids_[node] == 0) return nullptr;
  return QAccessible::accessibleInterface(ids_[node]);
}

const std::vector<scene::NodeId>& AccessibleTree::presentedChildren(scene::NodeId node) const {
  if (!isPresented(node)) return kNoChildren;
  return children_[node];
}

QWindow* AccessibleTree::windowOf(scene::NodeId node) const {
  const auto at = windows_.find(node);
  return at == windows_.end() ? nullptr : at->second.get();
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
  const std::vector<scene::NodeId> old = windowNodes_;
  for (const scene::NodeId node : old) {
    if (contains(shown, node)) continue;
    windowFor(node)->hide();
    withdraw(node);
    std::erase(windowNodes_, node);
  }
  windowNodes_ = shown;
  for (const scene::NodeId node : shown) {
    if (contains(old, node)) continue;
    QWindow* window = windowFor(node);
    present(node);
    QAccessibleEvent created(interfaceOf(node), QAccessible::ObjectCreated);
    QAccessible::updateAccessibility(&created);
    window->show();
  }
  announceFocus();
}

QWindow* AccessibleTree::windowFor(scene::NodeId node) {
  std::unique_ptr<QWindow>& window = windows_[node];
  if (!window) {
    window = std::make_unique<QWindow>();
    window->setSurfaceType(QSurface::RasterSurface);
    const std::optional<std::string>& description = model_.description(node);
    window->setTitle(description ? QString::fromStdString(*description) : QString());
    window->resize(1280, 720);
  }
  return window.get();
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
  children_[node] = shown;
  for (const scene::NodeId child : shown) {
    if (contains(old, child)) continue;
    present(child);
    QAccessibleEvent created(interfaceOf(child), QAccessible::ObjectCreated);
    QAccessible::updateAccessibility(&created);
  }
}

void AccessibleTree::present(scene::NodeId node) {
  if (isPresented(node)) return;
  if (ids_[node] == 0) {
    ids_[node] = QAccessible::registerAccessibleInterface(new NodeAccessible(*this, node));
  }
  presented_[node] = true;
  announced_[node] = model_.value(node);
  children_[node] = model_.shownChildren(node).value_or(std::vector<scene::NodeId>{});
  for (const scene::NodeId child : children_[node]) present(child);
}

void AccessibleTree::withdraw(scene::NodeId node) {
  if (!isPresented(node)) return;
  // Announced while the object and its parent can still be named.
  QAccessibleEvent destroyed(interfaceOf(node), QAccessible::ObjectDestroyed);
  QAccessible::updateAccessibility(&destroyed);
  unpresent(node);
}

void AccessibleTree::unpresent(scene::NodeId node) {
  for (const scene::NodeId child : children_[node]) unpresent(child);
  children_[node].clear();
  presented_[node] = false;
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
