#include "companion/app/zelvan_mac_app.h"

#include <QApplication>
#include <QCursor>
#include <QIcon>
#include <QMetaObject>
#include <iostream>

#include "companion/app/qt_main_thread.h"
#include "companion/app/single_instance.h"
#include "companion/app/termination_signals.h"
#include "companion/app/tray_menu.h"
#include "companion/menu.h"
#include "companion/system_bridge.h"

namespace trovemark::companion::app {

namespace {

QIcon trovemarkIcon() {
  QIcon icon;
  icon.addFile(QStringLiteral(":/trovemark/trovemark-64.png"), QSize(64, 64));
  icon.addFile(QStringLiteral(":/trovemark/trovemark-256.png"), QSize(256, 256));
  return icon;
}

}  // namespace

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

ZelvanMacApp::ZelvanMacApp(ControllerSource shared, std::unique_ptr<TrayHost> host,
                           std::chrono::milliseconds trayWait)
    : delegate_(shared), shared_(std::move(shared)), host_(std::move(host)) {
  // A signal leaves the event loop exactly as "Quit Trovemark" does.
  QObject::connect(&terminationSignals_, &TerminationSignals::received, &menu_,
                   [] { QCoreApplication::quit(); });
  trayWait_.setSingleShot(true);
  trayWait_.setInterval(trayWait);
  QObject::connect(&trayWait_, &QTimer::timeout, &menu_, [this] { trayWaitOver(); });
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
  window_.setWindowIcon(trovemarkIcon());
  rebuild();
  host_->onChange([this] { placeMenu(); });
  placeMenu();
}

void ZelvanMacApp::placeMenu() {
  if (host_->available()) {
    trayWait_.stop();
    if (!tray_) makeTrayItem();
    windowInUse_ = false;
    window_.hide();
    return;
  }
  if (!windowInUse_ && !trayWait_.isActive()) trayWait_.start();
}

void ZelvanMacApp::trayWaitOver() {
  if (host_->available()) return;
  if (!saidNoTray_) {
    saidNoTray_ = true;
    std::cerr << "Trovemark: no system tray is available on this desktop; the menu shows in "
                 "the Trovemark window until one starts.\n";
  }
  windowInUse_ = true;
  window_.show();
}

void ZelvanMacApp::showWindow() {
  if (!windowInUse_) return;
  window_.show();
  window_.raise();
  window_.activateWindow();
}

void ZelvanMacApp::makeTrayItem() {
  // Made only once a host is there: Qt chooses how to show the item when it
  // is made, and never again.
  tray_ = std::make_unique<QSystemTrayIcon>(trovemarkIcon());
  tray_->setToolTip(QString::fromUtf8(kTrayTitle));
  tray_->setContextMenu(&menu_);
  // A plain click opens the same drop-down as the context click.
  QObject::connect(tray_.get(), &QSystemTrayIcon::activated, &menu_,
                   [this](QSystemTrayIcon::ActivationReason reason) {
                     if (reason == QSystemTrayIcon::Trigger) menu_.popup(QCursor::pos());
                   });
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
  const auto entries = menuEntries(controller.texts().menuHeading, controller.summary(),
                                   controller.error(), controller.launchesAtLogin());
  const auto onAction = [this](MenuAction action) { perform(action); };
  fillMenu(menu_, entries, onAction);
  window_.fill(entries, onAction);
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
  // The tray item is the whole interface; a closed menu or window is no
  // reason to quit.
  QApplication::setQuitOnLastWindowClosed(false);

  // A second start hands over to the running companion and starts nothing.
  const auto instance = claimSingleInstance();
  if (!instance->first()) return 0;

  // Tests shorten the wait for a tray host; read once, here.
  bool given = false;
  const int waitMs = qEnvironmentVariableIntValue("TROVEMARK_TRAY_WAIT_MS", &given);
  ZelvanMacApp app(sharedBridgeController, makeTrayHost(),
                   given && waitMs >= 0 ? std::chrono::milliseconds(waitMs) : kTrayWait);
  instance->onShowRequest([&app] { app.showWindow(); });
  app.buildScene();
  QApplication::exec();
  return 0;
}

}  // namespace trovemark::companion::app
