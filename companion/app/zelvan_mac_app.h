#pragma once

// The tray application's lifecycle: the shared controller, the one tray item
// with its drop-down menu (or, while the desktop has no tray, the same menu
// as a window), and the single way out.
//
// Every way the application ends (the menu's "Quit Trovemark", SIGTERM,
// SIGINT, SIGHUP) leaves Qt's event loop; leaving it is the will-terminate
// moment, at which AppDelegate stops the bridge for good before the process
// exits.

#include <QMenu>
#include <QObject>
#include <QSystemTrayIcon>
#include <QTimer>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>

#include "companion/app/termination_signals.h"
#include "companion/app/tray_host.h"
#include "companion/app/tray_menu.h"
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

// How long a desktop without a tray host is given to start one (a panel
// that starts with the session) before the menu shows as a window.
inline constexpr std::chrono::milliseconds kTrayWait{5000};

class ZelvanMacApp {
 public:
  // Installs the delegate and the termination-signal watch; the controller is
  // not created until the scene is. `host` tells where a tray item can show;
  // without one for `trayWait`, the menu shows as a window. Needs a
  // QApplication.
  ZelvanMacApp(ControllerSource shared, std::unique_ptr<TrayHost> host,
               std::chrono::milliseconds trayWait);
  ~ZelvanMacApp();
  ZelvanMacApp(const ZelvanMacApp&) = delete;
  ZelvanMacApp& operator=(const ZelvanMacApp&) = delete;

  // Builds the menu from the controller, creating the controller on first
  // use, and follows its changes from then on. The tray item is made once a
  // tray host is there; while none is, after the wait, the window shows the
  // menu and the user is told once on standard error. A host that appears
  // later takes over and the window hides.
  void buildScene();

  // Brings the window forward when it stands in for the tray item (a later
  // start asks for it); does nothing while the tray item shows the menu.
  void showWindow();

  // The drop-down menu as it stands; for the tray and for checks.
  QMenu& menu() { return menu_; }

  // Runs a QApplication with the application until it terminates.
  static int main(int argc, char** argv);

 private:
  BridgeController& bridge();
  void scheduleRebuild();
  void rebuild();
  void perform(MenuAction action);
  // Puts the menu where it can be reached as the tray host comes and goes.
  void placeMenu();
  void trayWaitOver();
  void makeTrayItem();

  AppDelegate delegate_;
  TerminationSignals terminationSignals_;
  ControllerSource shared_;
  BridgeController* bridge_ = nullptr;
  std::optional<BridgeController::SubscriptionId> subscription_;
  bool rebuildPending_ = false;
  QMenu menu_;
  MenuWindow window_;
  std::unique_ptr<TrayHost> host_;
  QTimer trayWait_;
  // The window stands in for the tray item.
  bool windowInUse_ = false;
  bool saidNoTray_ = false;
  std::unique_ptr<QSystemTrayIcon> tray_;
};

}  // namespace trovemark::companion::app
