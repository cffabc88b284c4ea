#pragma once

// A fixture for tests of the tray application: it builds ZelvanMacApp over
// the recording fakes and reads and clicks its menu as a user would.

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QTimer>
#include <QWidgetAction>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "companion/app/qt_main_thread.h"
#include "companion/app/zelvan_mac_app.h"
#include "testing/companion/companion_fakes.h"

namespace trovemark::companion::testing {

// The tray application over a controller of recording fakes, with Qt's
// clipboard as its pasteboard, on the offscreen platform.
class CompanionAppFixture : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "companion_app_fixture";
    static char* argv[] = {name, nullptr};
    static QApplication app(argc, argv);
  }

  // Builds the application over the fakes, with Qt's clipboard as its pasteboard.
  void build() {
    // The application unsubscribes from its controller as it goes, so it goes
    // before the controller it was built over.
    app.reset();
    Platform platform = world.platform();
    platform.pasteboard = std::make_shared<app::QtClipboard>();
    controller = BridgeController::create(platform);
    app =
        std::make_unique<app::ZelvanMacApp>([this]() -> BridgeController& { return *controller; });
    app->buildScene();
  }

  void makeLinkReady(const std::string& token) {
    world.files->files[controller->tokenFile()] = token + "\n";
    const std::string folder =
        controller->tokenFile().substr(0, controller->tokenFile().rfind('/'));
    world.files->files[folder + "/bridge-fingerprint"] = kFingerprint;
  }

  // The menu's lines as shown: text of every action, "---" for separators.
  std::vector<std::string> lines() {
    std::vector<std::string> shown;
    for (QAction* action : app->menu().actions()) {
      QString text = action->isSeparator() ? QStringLiteral("---") : action->text();
      shown.push_back(text.replace(QLatin1String("&&"), QLatin1String("&")).toStdString());
    }
    return shown;
  }

  void click(const std::string& title) {
    for (QAction* action : app->menu().actions()) {
      if (action->text().toStdString() == title && !qobject_cast<QWidgetAction*>(action)) {
        action->trigger();
        return;
      }
    }
    ADD_FAILURE() << "no button " << title;
  }

  // Lets queued rebuilds run.
  static void settle() { QCoreApplication::processEvents(); }

  // Runs the event loop until something quits it, starting with `first`.
  static void runLoop(std::function<void()> first) {
    QTimer::singleShot(0, std::move(first));
    QApplication::exec();
  }

  inline static const std::string kFingerprint = std::string(64, 'f');
  FakeWorld world;
  std::shared_ptr<BridgeController> controller;
  std::unique_ptr<app::ZelvanMacApp> app;
};

}  // namespace trovemark::companion::testing
