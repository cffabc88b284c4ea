// The installed ZelvanMac on a private desktop: it finds a stand-in Resolve in
// a temporary home, starts the bridge, puts the pairing link on the clipboard
// when its menu is clicked through the panel protocol, and on a termination
// signal stops the bridge for good.
//
// The outer test installs the build into a temporary prefix and runs the
// DesktopSession cases inside scripts/with-desktop (they are disabled when run
// on their own, as they need that desktop).

#include <gtest/gtest.h>
#include <signal.h>

#include <QApplication>
#include <QClipboard>
#include <QCursor>
#include <QElapsedTimer>
#include <QFile>
#include <QMimeData>
#include <QScreen>
#include <QTemporaryDir>
#include <QUrl>
#include <cstdlib>

#include "testing/companion/desktop_services.h"

namespace trovemark::companion::app {
namespace {

using namespace companion::testing;

TEST(InstalledCompanion, RunsOnAPrivateDesktop) {
  QTemporaryDir prefix;
  ASSERT_TRUE(prefix.isValid());
  const auto [installed, installLog] =
      run(QStringLiteral("cmake"), {QStringLiteral("--install"), TROVEMARK_BINARY_DIR,
                                    QStringLiteral("--prefix"), prefix.path()});
  ASSERT_EQ(installed, 0) << installLog;
  for (const char* file :
       {"bin/ZelvanMac", "bin/TrovemarkColorAX", "share/trovemark/zelvan_bridge.py",
        "share/icons/hicolor/scalable/apps/trovemark.svg",
        "share/icons/hicolor/64x64/apps/trovemark.png"}) {
    EXPECT_TRUE(QFile::exists(prefix.filePath(file))) << file << " is not installed";
  }
  QFile entry(prefix.filePath(QStringLiteral("share/applications/trovemark-companion.desktop")));
  ASSERT_TRUE(entry.open(QIODevice::ReadOnly));
  EXPECT_TRUE(
      entry.readAll().contains("\nExec=\"" + prefix.filePath("bin/ZelvanMac").toUtf8() + "\"\n"));

  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert(kPrefixVariable, prefix.path());
  const auto [status, output] = run(QStringLiteral(TROVEMARK_SOURCE_DIR "/scripts/with-desktop"),
                                    {QFile::symLinkTarget(QStringLiteral("/proc/self/exe")),
                                     QStringLiteral("--gtest_also_run_disabled_tests"),
                                     QStringLiteral("--gtest_filter=DesktopSession.*")},
                                    env);
  EXPECT_EQ(status, 0) << output;
  EXPECT_NE(output.find("[  PASSED  ] 2 tests"), std::string::npos) << output;
}

using DesktopSession = InstalledCompanionSession;

TEST_F(DesktopSession, DISABLED_PairingLinkReachesTheClipboardAndSigtermStopsTheBridge) {
  QDBusConnection bus = QDBusConnection::sessionBus();
  ASSERT_TRUE(bus.isConnected());
  StatusNotifierWatcher watcher(bus);
  MdnsDaemon mdns(bus);
  ASSERT_TRUE(watcher.publish());
  ASSERT_TRUE(mdns.publish());

  QGuiApplication::clipboard()->setText(QStringLiteral("something older"));
  startCompanion();
  ASSERT_TRUE(waitUntil([&] { return !watcher.registeredItems().isEmpty(); }))
      << "no tray item registered";
  const TrayItem tray(bus, watcher.registeredItems().first());
  EXPECT_EQ(tray.property(QStringLiteral("Title")).toString(), QStringLiteral("Trovemark"));

  const pid_t bridge = waitForBridge();
  ASSERT_NE(bridge, 0);

  const std::vector<QString> running = {"Trovemark Mac Companion",
                                        "Bridge running on this Mac",
                                        "---",
                                        "Copy iPad Pairing Link",
                                        "Restart Bridge",
                                        "Enable Keyboard Control",
                                        "---",
                                        "Turn Off Launch at Login",
                                        "---",
                                        "Quit Trovemark"};
  // The start-up registration of the login item succeeds in a writable home.
  EXPECT_TRUE(waitUntil([&] { return tray.labels() == running; }));

  ASSERT_TRUE(tray.click(QStringLiteral("Copy iPad Pairing Link")));
  const QString expected =
      QStringLiteral("zelvan://pair?host=%1&token=%2&fingerprint=%3")
          .arg(QString::fromLatin1(kHostName),
               QString::fromLatin1(QUrl::toPercentEncoding(readTrimmed(tokenFile()))),
               readTrimmed(folder_ + QStringLiteral("/bridge-fingerprint")));
  QClipboard* clipboard = QGuiApplication::clipboard();
  EXPECT_TRUE(waitUntil([&] { return clipboard->text() == expected; }))
      << "clipboard holds: " << clipboard->text().toStdString();
  const QMimeData* data = clipboard->mimeData();
  ASSERT_NE(data, nullptr);
  EXPECT_TRUE(data->hasText());
  EXPECT_FALSE(data->hasHtml());
  EXPECT_FALSE(data->hasUrls());
  EXPECT_TRUE(waitUntil([&] {
    const auto shown = tray.labels();
    return shown.size() > 1 && shown[1] == QStringLiteral("Pairing link copied");
  }));

  // For the README: a click on the item opens the drop-down, grabbed from the screen.
  if (const char* shot = std::getenv("TROVEMARK_MENU_SCREENSHOT")) {
    // Without a panel to anchor to, the drop-down opens at the pointer.
    const QPoint pointer = QCursor::pos();
    tray.activate(pointer);
    QElapsedTimer settle;
    settle.start();
    waitUntil([&] { return settle.elapsed() > 1500; });
    const QPixmap screen = QGuiApplication::primaryScreen()->grabWindow(0);
    EXPECT_TRUE(screen.copy(pointer.x() - 16, pointer.y() - 16, 240, 190).save(shot));
  }

  terminateWith(SIGTERM, bridge);
}

TEST_F(DesktopSession, DISABLED_WithoutATrayHostItWarnsOnceAndKeepsTheBridgeUntilHangUp) {
  startCompanion();
  const pid_t bridge = waitForBridge();
  ASSERT_NE(bridge, 0);
  terminateWith(SIGHUP, bridge);
  const QString said = QString::fromUtf8(companion_.readAllStandardError());
  EXPECT_EQ(said.count(QStringLiteral("no system tray")), 1) << said.toStdString();
}

}  // namespace
}  // namespace trovemark::companion::app
