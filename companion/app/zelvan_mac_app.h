#pragma once

// The tray application's lifecycle: the shared controller, the one tray item
// with its drop-down menu, and the single way out.
//
// Every way the application ends (the menu's "Quit Trovemark", SIGTERM,
// SIGINT, SIGHUP) leaves Qt's event loop; leaving it is the will-terminate
// moment, at which AppDelegate stops the bridge for good before the process
// exits.

#include <QMenu>
#include <QObject>
#include <QSystemTrayIcon>
#include <functional>
#include <memory>
#include <optional>

#include "companion/app/termination_signals.h"
#include "companion/bridge_controller.h"
#include "companion/menu.h"

namespace trovemark::companion::app {

// The one process-wide controller over the real adapters, with Qt's event
// loop as its main thread and the desktop clipboard as its pasteboard.
// Created on first use (on the UI thread, after the QApplication exists) and
// never released.
BridgeController& sharedBridgeController();

// Yields the controller that the application and its delegate act on.
using ControllerSource = std::function<BridgeController&()>;

// Its one duty: stop the bridge when the application is about to terminate.
class AppDelegate : public QObject {
 public:
  explicit AppDelegate(ControllerSource shared, QObject* parent = nullptr);
  // Called once Qt's event loop has been asked to end, before the process exits.
  void applicationWillTerminate();

 private:
  ControllerSource shared_;
};

class ZelvanMacApp {
 public:
  // Installs the delegate and the termination-signal watch; the controller is
  // not created until the scene is. Needs a QApplication.
  explicit ZelvanMacApp(ControllerSource shared = sharedBridgeController);
  ~ZelvanMacApp();
  ZelvanMacApp(const ZelvanMacApp&) = delete;
  ZelvanMacApp& operator=(const ZelvanMacApp&) = delete;

  // Builds the tray item and its menu from the controller, creating the
  // controller on first use, and follows its changes from then on. Tells the
  // user once on standard error when no tray host is there yet; the item
  // shows as soon as one appears.
  void buildScene();

  // The drop-down menu as it stands; for the tray and for checks.
  QMenu& menu() { return menu_; }

  // Runs a QApplication with the application until it terminates.
  static int main(int argc, char** argv);

 private:
  BridgeController& bridge();
  void scheduleRebuild();
  void rebuild();
  void perform(MenuAction action);

  AppDelegate delegate_;
  TerminationSignals terminationSignals_;
  ControllerSource shared_;
  BridgeController* bridge_ = nullptr;
  std::optional<BridgeController::SubscriptionId> subscription_;
  bool rebuildPending_ = false;
  QMenu menu_;
  std::unique_ptr<QSystemTrayIcon> tray_;
};

}  // namespace trovemark::companion::app
