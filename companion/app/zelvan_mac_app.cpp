#include "companion/app/zelvan_mac_app.h"

#include <QApplication>
#include <QCursor>
#include <QIcon>
#include <QMetaObject>
#include <iostream>

#include "companion/app/qt_main_thread.h"
#include "companion/app/termination_signals.h"
#include "companion/app/tray_menu.h"
#include "companion/menu.h"
#include "companion/system_bridge.h"

namespace trovemark::companion::app {

BridgeController& sharedBridgeController() {
  // A function-local static is created once, thread-safely, and held forever.
  static const auto* const shared =
      new std::shared_ptr<BridgeController>(makeSystemBridgeController(
          std::make_shared<QtMainThreadExecutor>(), std::make_shared<QtClipboard>()));
  return **shared;
}

AppDelegate::AppDelegate(ControllerSource shared, QObject* parent)
    : QObject(parent), shared_(std::move(shared)) {
  connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, this,
          &AppDelegate::applicationWillTerminate);
}

void AppDelegate::applicationWillTerminate() { shared_().stop(); }

ZelvanMacApp::ZelvanMacApp(ControllerSource shared)
    : delegate_(shared), shared_(std::move(shared)) {
  // A signal leaves the event loop exactly as "Quit Trovemark" does.
  QObject::connect(&terminationSignals_, &TerminationSignals::received, &menu_,
                   [] { QCoreApplication::quit(); });
}

ZelvanMacApp::~ZelvanMacApp() {
  if (bridge_ && subscription_) bridge_->unsubscribe(*subscription_);
}

BridgeController& ZelvanMacApp::bridge() {
  if (!bridge_) bridge_ = &shared_();
  return *bridge_;
}

void ZelvanMacApp::buildScene() {
  BridgeController& controller = bridge();
  subscription_ = controller.subscribe([this](BridgeController::Property) { scheduleRebuild(); });
  rebuild();

  QIcon icon;
  icon.addFile(QStringLiteral(":/trovemark/trovemark-64.png"), QSize(64, 64));
  icon.addFile(QStringLiteral(":/trovemark/trovemark-256.png"), QSize(256, 256));
  tray_ = std::make_unique<QSystemTrayIcon>(icon);
  tray_->setToolTip(QString::fromUtf8(kTrayTitle));
  tray_->setContextMenu(&menu_);
  // A plain click opens the same drop-down as the context click.
  QObject::connect(tray_.get(), &QSystemTrayIcon::activated, &menu_,
                   [this](QSystemTrayIcon::ActivationReason reason) {
                     if (reason == QSystemTrayIcon::Trigger) menu_.popup(QCursor::pos());
                   });
  if (!QSystemTrayIcon::isSystemTrayAvailable()) {
    std::cerr << "Trovemark: no system tray is available on this desktop; the Trovemark icon "
                 "will appear when one starts.\n";
  }
  // Shown regardless: Qt installs the item when a tray host appears later.
  tray_->show();
}

void ZelvanMacApp::scheduleRebuild() {
  // The notification comes before the value is stored, and an action must run
  // to its end before the menu shows its outcome: rebuild once, later.
  if (rebuildPending_) return;
  rebuildPending_ = true;
  QMetaObject::invokeMethod(
      &menu_,
      [this] {
        rebuildPending_ = false;
        rebuild();
      },
      Qt::QueuedConnection);
}

void ZelvanMacApp::rebuild() {
  BridgeController& controller = bridge();
  fillMenu(menu_,
           menuEntries(controller.texts().menuHeading, controller.summary(), controller.error(),
                       controller.launchesAtLogin()),
           [this](MenuAction action) { perform(action); });
}

void ZelvanMacApp::perform(MenuAction action) {
  performMenuAction(action, bridge(), [] { QCoreApplication::quit(); });
}

int ZelvanMacApp::main(int argc, char** argv) {
  QApplication qapp(argc, argv);
  // Panels title a tray item after the application's name.
  QApplication::setApplicationName(QString::fromUtf8(kTrayTitle));
  QApplication::setApplicationDisplayName(QString::fromUtf8(kTrayTitle));
  QApplication::setDesktopFileName(QStringLiteral("trovemark-companion"));
  // The tray item is the whole interface; a closed menu is no reason to quit.
  QApplication::setQuitOnLastWindowClosed(false);

  ZelvanMacApp app;
  app.buildScene();
  QApplication::exec();
  return 0;
}

}  // namespace trovemark::companion::app
