// The Qt drop-down menu built from the model, on Qt's offscreen platform.

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QMenu>
#include <QWidgetAction>
#include <optional>
#include <string>
#include <vector>

#include "companion/app/tray_menu.h"
#include "companion/menu.h"

namespace trovemark::companion::app {
namespace {

// What one QAction of the menu shows, read back from Qt.
struct Shown {
  std::string kind;  // "text", "divider" or "button"
  std::string title;
  bool enabled = false;
  QColor color = {};  // text lines only

  bool operator==(const Shown& other) const { return kind == other.kind && title == other.title; }
};

std::vector<Shown> readBack(QMenu& menu) {
  std::vector<Shown> shown;
  for (QAction* action : menu.actions()) {
    if (action->isSeparator()) {
      shown.push_back({"divider", "", action->isEnabled(), {}});
    } else if (auto* widgetAction = qobject_cast<QWidgetAction*>(action)) {
      auto* label = qobject_cast<QLabel*>(widgetAction->requestWidget(&menu));
      EXPECT_NE(label, nullptr);
      if (!label) continue;
      label->ensurePolished();
      const QColor color = label->palette().color(label->foregroundRole());
      shown.push_back({"text", label->text().toStdString(), action->isEnabled(), color});
      widgetAction->releaseWidget(label);
    } else {
      QString title = action->text();
      title.replace(QLatin1String("&&"), QLatin1String("&"));
      shown.push_back({"button", title.toStdString(), action->isEnabled(), {}});
    }
  }
  return shown;
}

class TrayMenuTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "tray_menu_test";
    static char* argv[] = {name, nullptr};
    static QApplication app(argc, argv);
  }

  std::vector<MenuAction> clicked;
  QMenu menu;

  void fill(const std::string& summary, const std::optional<std::string>& error, bool login) {
    fillMenu(menu, menuEntries(summary, error, login),
             [this](MenuAction action) { clicked.push_back(action); });
  }
};

TEST_F(TrayMenuTest, ShowsTitlesInOrderWithSeparators) {
  fill("Bridge running on this Mac", "Install Resolve Studio to run the Mac bridge.", true);
  const std::vector<Shown> expected = {
      {"text", "Trovemark Mac Companion"},
      {"text", "Bridge running on this Mac"},
      {"divider", ""},
      {"button", "Copy iPad Pairing Link"},
      {"button", "Restart Bridge"},
      {"button", "Enable Keyboard Control"},
      {"divider", ""},
      {"button", "Turn Off Launch at Login"},
      {"text", "Install Resolve Studio to run the Mac bridge."},
      {"divider", ""},
      {"button", "Quit Trovemark"},
  };
  EXPECT_EQ(readBack(menu), expected);
}

TEST_F(TrayMenuTest, ButtonsAreEnabledAndTextLinesAreInert) {
  fill("Starting bridge\u2026", "boom", false);
  for (const Shown& line : readBack(menu)) {
    if (line.kind == "button") {
      EXPECT_TRUE(line.enabled) << line.title;
    } else if (line.kind == "text") {
      EXPECT_FALSE(line.enabled) << line.title;
    }
  }
  for (QAction* action : menu.actions()) {
    if (qobject_cast<QWidgetAction*>(action)) action->trigger();
  }
  EXPECT_TRUE(clicked.empty());
}

TEST_F(TrayMenuTest, StatusIsDimmedAndErrorIsRed) {
  fill("Bridge running on this Mac", "boom", false);
  const std::vector<Shown> lines = readBack(menu);
  const QColor heading = lines[0].color;
  const QColor status = lines[1].color;
  const QColor error = lines[8].color;
  EXPECT_EQ(error, QColor(Qt::red));
  EXPECT_NE(status, heading);
  EXPECT_NE(status, error);
}

TEST_F(TrayMenuTest, EachButtonReportsItsAction) {
  fill("Bridge running on this Mac", std::nullopt, false);
  for (QAction* action : menu.actions()) {
    if (action->isSeparator() || qobject_cast<QWidgetAction*>(action)) continue;
    action->trigger();
  }
  EXPECT_EQ(clicked, (std::vector<MenuAction>{MenuAction::copyPairingLink, MenuAction::restart,
                                              MenuAction::enableKeyboardControl,
                                              MenuAction::toggleLaunchAtLogin, MenuAction::quit}));
}

TEST_F(TrayMenuTest, RebuildingReplacesTheOldLines) {
  fill("Bridge could not start", "boom", false);
  fill("Bridge running on this Mac", std::nullopt, true);
  const std::vector<Shown> lines = readBack(menu);
  ASSERT_EQ(lines.size(), 10u);
  EXPECT_EQ(lines[1].title, "Bridge running on this Mac");
  EXPECT_EQ(lines[7].title, "Turn Off Launch at Login");
  // Old actions are gone, so a click reaches only the new ones, once.
  menu.actions().at(4)->trigger();
  EXPECT_EQ(clicked, std::vector<MenuAction>{MenuAction::restart});
}

TEST_F(TrayMenuTest, AmpersandsAreShownNotTakenAsMnemonics) {
  fill("R&D", "a & b", false);
  const std::vector<Shown> lines = readBack(menu);
  EXPECT_EQ(lines[1].title, "R&D");
  EXPECT_EQ(lines[8].title, "a & b");
  EXPECT_EQ(menu.actions().at(1)->text(), "R&&D");
}

}  // namespace
}  // namespace trovemark::companion::app
