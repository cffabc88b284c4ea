// The tray application on Qt's offscreen platform: the menu model drawn as a
// Qt menu, and the application over a controller of recording fakes (the
// menu follows the controller, each click reaches its operation, the pairing
// link reaches the real clipboard adapter, every way out stops the bridge).

#include <gtest/gtest.h>
#include <signal.h>

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QMimeData>
#include <QThread>
#include <QTimer>
#include <QWidgetAction>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "companion/app/qt_main_thread.h"
#include "companion/app/tray_menu.h"
#include "companion/app/zelvan_mac_app.h"
#include "testing/companion/companion_fakes.h"
#include "testing/wait.h"

namespace trovemark::companion::app {
namespace {

using companion::testing::FakeWorld;

// The tray application over a controller of recording fakes, with Qt's
// clipboard as its pasteboard, on the offscreen platform.
class AppTest : public ::testing::Test {
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

  // The status line as the menu shows it.
  std::string status() { return app->menu().actions().at(1)->text().toStdString(); }

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

  FakeWorld world;
  std::shared_ptr<BridgeController> controller;
  std::unique_ptr<app::ZelvanMacApp> app;
};

// Which button runs which operation is EachButtonReachesItsOperation's and
// CopyPairingLinkPutsOnlyTheLinkOnTheClipboard's.
TEST_F(AppTest, DrawsTheModelAsQtActions) {
  QMenu menu;
  fillMenu(menu, menuEntries("R&D", "boom", true), [](MenuAction) {});

  std::vector<std::string> shown;
  std::vector<QColor> colors;  // of the text lines
  for (QAction* action : menu.actions()) {
    if (action->isSeparator()) {
      shown.push_back("---");
    } else if (auto* line = qobject_cast<QWidgetAction*>(action)) {
      auto* label = qobject_cast<QLabel*>(line->requestWidget(&menu));
      ASSERT_NE(label, nullptr);
      label->ensurePolished();
      shown.push_back("text:" + label->text().toStdString());
      colors.push_back(label->palette().color(label->foregroundRole()));
      EXPECT_FALSE(action->isEnabled()) << "a text line can be clicked";
      line->releaseWidget(label);
    } else {
      EXPECT_TRUE(action->isEnabled());
      shown.push_back(action->text().toStdString());
    }
  }
  EXPECT_EQ(shown, (std::vector<std::string>{
                       "text:Trovemark Mac Companion", "text:R&D", "---", "Copy iPad Pairing Link",
                       "Restart Bridge", "Enable Keyboard Control", "---",
                       "Turn Off Launch at Login", "text:boom", "---", "Quit Trovemark"}));
  ASSERT_EQ(colors.size(), 3u);
  EXPECT_NE(colors[1], colors[0]) << "the status line is not dimmed";
  EXPECT_EQ(colors[2], QColor(Qt::red));
  // "&" in an action's text would otherwise mark a mnemonic and vanish.
  EXPECT_EQ(menu.actions().at(1)->text(), "R&&D");
}

TEST_F(AppTest, EachButtonReachesItsOperation) {
  build();
  const auto first = world.launcher->last();

  click("Restart Bridge");
  EXPECT_EQ(first->terminateCalls, 1);
  EXPECT_EQ(world.launcher->children.size(), 2u);

  world.trust->trusted = true;
  click("Enable Keyboard Control");
  EXPECT_EQ(world.trust->prompts, std::vector<bool>{true});
  // Shown once the click is over: the notification comes before the value
  // is stored, so a menu rebuilt inside it would show the old one.
  settle();
  EXPECT_EQ(status(), "Keyboard control enabled");

  click("Turn Off Launch at Login");
  EXPECT_EQ(world.loginItem->calls.back(), "unregister");

  runLoop([&] { click("Quit Trovemark"); });
  EXPECT_EQ(world.launcher->last()->terminateCalls, 1);
  EXPECT_EQ(controller->process(), nullptr);
}

// The pairing link through the Qt clipboard adapter: exactly the controller's
// link, as plain text, in place of whatever was there.
TEST_F(AppTest, CopyPairingLinkPutsOnlyTheLinkOnTheClipboard) {
  world.files->files[companion::testing::kTokenFile] = "tok";
  world.files->files[companion::testing::kFingerprintFile] = std::string(64, 'f');
  build();
  auto* old = new QMimeData;
  old->setHtml(QStringLiteral("<b>older</b>"));
  old->setText(QStringLiteral("older"));
  QGuiApplication::clipboard()->setMimeData(old);
  click("Copy iPad Pairing Link");
  settle();
  EXPECT_EQ(status(), "Pairing link copied");
  const QMimeData* data = QGuiApplication::clipboard()->mimeData();
  ASSERT_NE(data, nullptr);
  EXPECT_EQ(data->text().toStdString(), controller->pairingLink());
  EXPECT_FALSE(data->hasHtml()) << "rich text left beside the link";
}

// Every way out stops the controller; what stopping does is the controller's
// (controller_test).
TEST_F(AppTest, EachTerminationSignalStopsTheBridge) {
  for (int signalNumber : {SIGTERM, SIGINT, SIGHUP}) {
    SCOPED_TRACE(strsignal(signalNumber));
    world = FakeWorld();
    build();
    const auto child = world.launcher->last();
    runLoop([signalNumber] { raise(signalNumber); });
    EXPECT_EQ(child->terminateCalls, 1);
    EXPECT_EQ(controller->process(), nullptr);
    app.reset();
  }
}

TEST_F(AppTest, ExecutorRunsPostedWorkOnTheEventLoopInOrder) {
  QtMainThreadExecutor executor;
  std::vector<int> ran;
  std::vector<bool> onMainThread;
  auto record = [&](int n) {
    ran.push_back(n);
    onMainThread.push_back(QThread::currentThread() == QCoreApplication::instance()->thread());
  };
  std::thread([&] {
    for (int n = 1; n <= 3; ++n) executor.post([&, n] { record(n); });
  }).join();
  executor.postAfter(std::chrono::milliseconds(30), [&] { record(4); });
  EXPECT_TRUE(ran.empty()) << "posted work ran inside post()";

  trovemark::testing::eventually(
      [&] { return ran.size() == 4; },
      [] { QCoreApplication::processEvents(QEventLoop::AllEvents, 50); });
  EXPECT_EQ(ran, (std::vector<int>{1, 2, 3, 4}));
  EXPECT_EQ(onMainThread, std::vector<bool>(4, true));
}

}  // namespace
}  // namespace trovemark::companion::app
