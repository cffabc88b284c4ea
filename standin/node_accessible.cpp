#include "standin/node_accessible.h"

#include <algorithm>
#include <limits>

#include <QGuiApplication>
#include <QWindow>

#include "standin/accessible_tree.h"
#include "standin/role_mapping.h"

namespace trovemark::standin {

bool isChecked(const scene::Value& value) {
  if (const double* number = std::get_if<double>(&value)) return *number != 0;
  if (const std::string* text = std::get_if<std::string>(&value)) {
    const std::optional<double> parsed = ax::parseNumber(*text);
    return parsed && *parsed != 0;
  }
  return false;
}

NodeAccessible::NodeAccessible(AccessibleTree& tree, scene::NodeId node)
    : tree_(tree), node_(node) {}

bool NodeAccessible::isValid() const { return tree_.isPresented(node_); }

QObject* NodeAccessible::object() const { return tree_.windowOf(node_); }

QWindow* NodeAccessible::window() const { return tree_.enclosingWindow(node_); }

QAccessibleInterface* NodeAccessible::childAt(int, int) const { return nullptr; }

QAccessibleInterface* NodeAccessible::parent() const {
  const std::optional<scene::NodeId> parent = tree_.model().parent(node_);
  if (!parent) return tree_.applicationInterface();
  return tree_.interfaceOf(*parent);
}

QAccessibleInterface* NodeAccessible::child(int index) const {
  const std::vector<scene::NodeId>& children = tree_.presentedChildren(node_);
  if (index < 0 || static_cast<std::size_t>(index) >= children.size()) return nullptr;
  return tree_.interfaceOf(children[index]);
}

int NodeAccessible::childCount() const {
  return static_cast<int>(tree_.presentedChildren(node_).size());
}

int NodeAccessible::indexOfChild(const QAccessibleInterface* child) const {
  const std::vector<scene::NodeId>& children = tree_.presentedChildren(node_);
  for (std::size_t i = 0; i < children.size(); ++i) {
    if (tree_.interfaceOf(children[i]) == child) return static_cast<int>(i);
  }
  return -1;
}

QString NodeAccessible::text(QAccessible::Text t) const {
  switch (t) {
    case QAccessible::Name: {
      const std::optional<std::string>& description = tree_.model().description(node_);
      return description ? QString::fromStdString(*description) : QString();
    }
    case QAccessible::Value:
      return valueText();
    default:
      return {};
  }
}

void NodeAccessible::setText(QAccessible::Text, const QString&) {}

QRect NodeAccessible::rect() const {
  if (QWindow* window = tree_.windowOf(node_)) return window->geometry();
  return {};
}

QAccessible::Role NodeAccessible::role() const { return qtRole(tree_.model().role(node_)); }

QAccessible::State NodeAccessible::state() const {
  QAccessible::State state;
  const scene::SceneModel& model = tree_.model();
  state.disabled = model.refusesPress(node_) || model.refusesSet(node_);
  if (isCheckBox()) {
    state.checkable = true;
    state.checked = isChecked(model.value(node_));
  }
  if (tree_.isFocusedWindow(node_)) state.active = true;
  return state;
}

void* NodeAccessible::interface_cast(QAccessible::InterfaceType type) {
  const scene::Value value = tree_.model().value(node_);
  switch (type) {
    case QAccessible::ValueInterface:
      if (!isCheckBox() && std::holds_alternative<double>(value)) {
        return static_cast<QAccessibleValueInterface*>(this);
      }
      return nullptr;
    case QAccessible::TextInterface:
      if (!isCheckBox() && std::holds_alternative<std::string>(value)) {
        return static_cast<QAccessibleTextInterface*>(this);
      }
      return nullptr;
    case QAccessible::ActionInterface:
      return static_cast<QAccessibleActionInterface*>(this);
    default:
      return nullptr;
  }
}

QVariant NodeAccessible::currentValue() const {
  const scene::Value value = tree_.model().value(node_);
  if (const double* number = std::get_if<double>(&value)) return *number;
  return {};
}

void NodeAccessible::setCurrentValue(const QVariant& value) {
  bool ok = false;
  const double number = value.toDouble(&ok);
  if (!ok) return;
  tree_.set(node_, number);
}

QVariant NodeAccessible::maximumValue() const {
  if (const auto range = tree_.model().range(node_)) return range->second;
  return std::numeric_limits<double>::max();
}

QVariant NodeAccessible::minimumValue() const {
  if (const auto range = tree_.model().range(node_)) return range->first;
  return std::numeric_limits<double>::lowest();
}

QVariant NodeAccessible::minimumStepSize() const { return 0.0; }

QStringList NodeAccessible::actionNames() const {
  if (isCheckBox()) return {pressAction(), toggleAction()};
  return {pressAction()};
}

void NodeAccessible::doAction(const QString& actionName) {
  if (actionName == pressAction() || (isCheckBox() && actionName == toggleAction())) {
    tree_.press(node_);
  }
}

QStringList NodeAccessible::keyBindingsForAction(const QString&) const { return {}; }

void NodeAccessible::selection(int, int* startOffset, int* endOffset) const {
  *startOffset = 0;
  *endOffset = 0;
}

int NodeAccessible::selectionCount() const { return 0; }
void NodeAccessible::addSelection(int, int) {}
void NodeAccessible::removeSelection(int) {}
void NodeAccessible::setSelection(int, int, int) {}
int NodeAccessible::cursorPosition() const { return 0; }
void NodeAccessible::setCursorPosition(int) {}

QString NodeAccessible::text(int startOffset, int endOffset) const {
  const QString all = valueText();
  if (endOffset < 0 || endOffset > all.size()) endOffset = static_cast<int>(all.size());
  startOffset = std::clamp(startOffset, 0, endOffset);
  return all.mid(startOffset, endOffset - startOffset);
}

int NodeAccessible::characterCount() const { return static_cast<int>(valueText().size()); }
QRect NodeAccessible::characterRect(int) const { return {}; }
int NodeAccessible::offsetAtPoint(const QPoint&) const { return -1; }
void NodeAccessible::scrollToSubstring(int, int) {}

QString NodeAccessible::attributes(int offset, int* startOffset, int* endOffset) const {
  *startOffset = offset;
  *endOffset = offset;
  return {};
}

bool NodeAccessible::isCheckBox() const { return role() == QAccessible::CheckBox; }

QString NodeAccessible::valueText() const {
  const scene::Value value = tree_.model().value(node_);
  if (const std::string* text = std::get_if<std::string>(&value)) {
    return QString::fromStdString(*text);
  }
  return {};
}

QObject* ApplicationAccessible::object() const { return qApp; }

QAccessibleInterface* ApplicationAccessible::child(int index) const {
  const AccessibleTree* tree = AccessibleTree::presented();
  if (!tree || index < 0 || static_cast<std::size_t>(index) >= tree->presentedWindows().size()) {
    return nullptr;
  }
  return tree->interfaceOf(tree->presentedWindows()[index]);
}

int ApplicationAccessible::childCount() const {
  const AccessibleTree* tree = AccessibleTree::presented();
  return tree ? static_cast<int>(tree->presentedWindows().size()) : 0;
}

int ApplicationAccessible::indexOfChild(const QAccessibleInterface* child) const {
  for (int i = 0; i < childCount(); ++i) {
    if (this->child(i) == child) return i;
  }
  return -1;
}

QString ApplicationAccessible::text(QAccessible::Text t) const {
  if (t == QAccessible::Name) return QGuiApplication::applicationName();
  return {};
}

}  // namespace trovemark::standin
