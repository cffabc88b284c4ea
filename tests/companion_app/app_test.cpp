// The tray menu on Qt's offscreen platform: the menu model drawn as Qt
// actions, and the executor that brings work onto Qt's event loop.

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QThread>
#include <QWidgetAction>
#include <string>
#include <thread>
#include <vector>

#include "companion/app/qt_main_thread.h"
#include "companion/app/tray_menu.h"
#include "testing/wait.h"

namespace trovemark::companion::app {
namespace {

class AppTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "companion_app_fixture";
    static char* argv[] = {name, nullptr};
    static QApplication app(argc, argv);
  }
};

// Which button runs which operation, and the menu's labels over D-Bus, are
// the desktop test's; here, what a panel's export does not carry.
TEST_F(AppTest, DrawsTheModelAsQtActions) {
  QMenu menu;
  fillMenu(menu, menuEntries("Trovemark Companion", "R&D", "boom", true), [](MenuAction) {});

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
                       "text:Trovemark Companion", "text:R&D", "---", "Copy iPad Pairing Link",
                       "Restart Bridge", "Enable Keyboard Control", "---",
                       "Turn Off Launch at Login", "text:boom", "---", "Quit Trovemark"}));
  ASSERT_EQ(colors.size(), 3u);
  EXPECT_NE(colors[1], colors[0]) << "the status line is not dimmed";
  EXPECT_EQ(colors[2], QColor(Qt::red));
  // "&" in an action's text would otherwise mark a mnemonic and vanish.
  EXPECT_EQ(menu.actions().at(1)->text(), "R&&D");
}

// The window's lines as a screen reader reads them are the desktop test's;
// here, that a refill which keeps the lines' kinds keeps their widgets, so
// keyboard focus and a screen reader's place stay where they were.
TEST_F(AppTest, TheWindowChangesOnlyTextsWhileTheLinesKeepTheirKinds) {
  MenuWindow window;
  const auto button = [&](const char* title) {
    for (auto* b : window.findChildren<QPushButton*>()) {
      if (b->text() == QString::fromUtf8(title)) return b;
    }
    return static_cast<QPushButton*>(nullptr);
  };
  const auto texts = [&] {
    std::vector<std::string> shown;
    for (auto* label : window.findChildren<QLabel*>()) shown.push_back(label->text().toStdString());
    return shown;
  };
  window.fill(menuEntries("Trovemark Companion", "Starting", std::nullopt, false), {});
  QPushButton* restart = button("Restart Bridge");
  ASSERT_NE(restart, nullptr);
  window.fill(menuEntries("Trovemark Companion", "R&D", std::nullopt, true), {});
  EXPECT_EQ(button("Restart Bridge"), restart);
  EXPECT_NE(button("Turn Off Launch at Login"), nullptr);
  EXPECT_EQ(texts(), (std::vector<std::string>{"Trovemark Companion", "R&D"}));
  window.fill(menuEntries("Trovemark Companion", "R&D", "boom", true), {});
  EXPECT_EQ(texts(), (std::vector<std::string>{"Trovemark Companion", "R&D", "boom"}));
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
