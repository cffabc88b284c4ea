#pragma once

// Presents one application of a scene on the desktop's accessibility bus.
//
// Each shown window of the application becomes a real top-level window, and
// each shown node below it an accessible object of its own, so that any AT-SPI
// client sees the scene's tree: same order, roles, names and values. The tree
// follows the model: every change the model reports is mirrored (objects
// appear and vanish with their nodes) and announced with its accessibility
// event, delayed effects run on a real-time timer, and every operation that
// reaches a node is appended to the operation log as it happens.
//
// A node keeps one object (one object path) for the tree's whole life. While
// the node is hidden its object is invalid, so the bridge answers every call
// on it with an error, and it is back, under the same path, once shown.

#include <cstddef>
#include <map>
#include <memory>
#include <optional>
#include <vector>

#include <QAccessible>
#include <QObject>
#include <QTimer>
#include <QWindow>

#include "color_helper/accessibility/accessibility.h"
#include "scene_engine/scene_model.h"
#include "standin/operation_log.h"

namespace trovemark::standin {

class AccessibleTree : public QObject {
 public:
  // `log` may be null (no log wanted). The tree listens to `model` from now
  // on; all three must outlive it.
  AccessibleTree(scene::SceneModel& model, std::size_t application, ax::Clock& clock,
                 OperationLog* log);
  ~AccessibleTree() override;

  // Builds the accessible objects, shows the windows and arms the timer of
  // delayed effects. Call once, after the application object exists.
  void start();

  // The tree being presented, for the application object; null before a
  // tree exists and after it is gone.
  static AccessibleTree* presented();

  // --- For the accessible objects -----------------------------------------
  scene::SceneModel& model() { return model_; }
  // Whether the node is in the tree as clients see it now.
  bool isPresented(scene::NodeId node) const;
  // The node's object; null when it was never presented.
  QAccessibleInterface* interfaceOf(scene::NodeId node) const;
  // What the node's object lists as children: its shown children when it
  // was last brought up to date, each with an object of its own.
  const std::vector<scene::NodeId>& presentedChildren(scene::NodeId node) const;
  const std::vector<scene::NodeId>& presentedWindows() const { return windowNodes_; }
  // The real window of a window node; null for other nodes.
  QWindow* windowOf(scene::NodeId node) const;
  // The real window a node lies in.
  QWindow* enclosingWindow(scene::NodeId node) const;
  bool isFocusedWindow(scene::NodeId node) const;
  QAccessibleInterface* applicationInterface() const;

  // Operations arriving from the bus. False when refused.
  bool press(scene::NodeId node);
  bool set(scene::NodeId node, double value);

 private:
  void onChange(const scene::Change& change);
  void reconcileWindows();
  void reconcileChildren(scene::NodeId node);
  void present(scene::NodeId node);
  void withdraw(scene::NodeId node);
  void unpresent(scene::NodeId node);
  void announceValue(scene::NodeId node);
  void announceFocus();
  void afterOperation();
  void scheduleDelayedEffects();
  QWindow* windowFor(scene::NodeId node);

  scene::SceneModel& model_;
  std::size_t application_;
  ax::Clock& clock_;
  OperationLog* log_;
  std::size_t operationsLogged_ = 0;
  bool started_ = false;

  // Per node: its registered object (0 until first presented), whether it is
  // presented, the children it lists and the value last announced.
  std::vector<QAccessible::Id> ids_;
  std::vector<bool> presented_;
  std::vector<std::vector<scene::NodeId>> children_;
  std::vector<scene::Value> announced_;
  std::vector<scene::NodeId> windowNodes_;  // presented windows, in order
  std::map<scene::NodeId, std::unique_ptr<QWindow>> windows_;
  std::optional<scene::NodeId> focused_;
  QAccessible::Id applicationId_ = 0;
  QTimer effectsTimer_;
};

// Makes the application object answer with the presented tree's windows.
// Call before the application object is built: Qt asks for its accessible
// object once and keeps the answer.
void installAccessibleFactory();

}  // namespace trovemark::standin
