#pragma once

// The accessible objects of the stand-in: one generic class for every scene
// node and one for the application. They answer from the model each time they
// are asked, so a client that reads afresh always sees the present state.
//
// Qt's own slider and check box objects are not used: they round values to
// whole numbers, while scene values are doubles that must travel exactly.

#include <QAccessible>

#include "scene_engine/scene_model.h"

namespace trovemark::standin {

class AccessibleTree;

// One scene node. Which of the value, text and action interfaces it offers
// follows the node's role and the kind of its present value:
//   a check box shows its value as its checked state;
//   a number is the Value interface's current value;
//   text is the Text interface's text;
//   a missing value, or one of another kind, offers neither.
// Every node offers the Press action; a check box also offers Toggle.
// A node that refuses an operation is shown as not enabled.
class NodeAccessible final : public QAccessibleInterface,
                             public QAccessibleValueInterface,
                             public QAccessibleActionInterface,
                             public QAccessibleTextInterface {
 public:
  NodeAccessible(AccessibleTree& tree, scene::NodeId node);

  scene::NodeId node() const { return node_; }

  // QAccessibleInterface
  bool isValid() const override;
  QObject* object() const override;
  QWindow* window() const override;
  QAccessibleInterface* childAt(int x, int y) const override;
  QAccessibleInterface* parent() const override;
  QAccessibleInterface* child(int index) const override;
  int childCount() const override;
  int indexOfChild(const QAccessibleInterface* child) const override;
  QString text(QAccessible::Text t) const override;
  void setText(QAccessible::Text t, const QString& text) override;
  QRect rect() const override;
  QAccessible::Role role() const override;
  QAccessible::State state() const override;
  void* interface_cast(QAccessible::InterfaceType type) override;

  // QAccessibleValueInterface
  QVariant currentValue() const override;
  void setCurrentValue(const QVariant& value) override;
  QVariant maximumValue() const override;
  QVariant minimumValue() const override;
  QVariant minimumStepSize() const override;

  // QAccessibleActionInterface
  QStringList actionNames() const override;
  void doAction(const QString& actionName) override;
  QStringList keyBindingsForAction(const QString& actionName) const override;

  // QAccessibleTextInterface
  void selection(int selectionIndex, int* startOffset, int* endOffset) const override;
  int selectionCount() const override;
  void addSelection(int startOffset, int endOffset) override;
  void removeSelection(int selectionIndex) override;
  void setSelection(int selectionIndex, int startOffset, int endOffset) override;
  int cursorPosition() const override;
  void setCursorPosition(int position) override;
  QString text(int startOffset, int endOffset) const override;
  int characterCount() const override;
  QRect characterRect(int offset) const override;
  int offsetAtPoint(const QPoint& point) const override;
  void scrollToSubstring(int startIndex, int endIndex) override;
  QString attributes(int offset, int* startOffset, int* endOffset) const override;

 private:
  bool isCheckBox() const;
  QString valueText() const;

  AccessibleTree& tree_;
  scene::NodeId node_;
};

// The application object: its children are the presented tree's windows.
class ApplicationAccessible final : public QAccessibleInterface {
 public:
  bool isValid() const override { return true; }
  QObject* object() const override;
  QAccessibleInterface* childAt(int, int) const override { return nullptr; }
  QAccessibleInterface* parent() const override { return nullptr; }
  QAccessibleInterface* child(int index) const override;
  int childCount() const override;
  int indexOfChild(const QAccessibleInterface* child) const override;
  QString text(QAccessible::Text t) const override;
  void setText(QAccessible::Text, const QString&) override {}
  QRect rect() const override { return {}; }
  QAccessible::Role role() const override { return QAccessible::Application; }
  QAccessible::State state() const override { return {}; }
};

// Whether the model value is a check box's "on": a number other than 0, or
// text that reads as one.
bool isChecked(const scene::Value& value);

}  // namespace trovemark::standin
