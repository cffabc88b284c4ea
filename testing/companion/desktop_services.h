#pragma once

// The installed ZelvanMac on the private desktop a test runs in (see
// testing/desktop/desktop_test_main.cpp): the build installed once into a
// temporary prefix, a temporary home with a stand-in Resolve, the panel's
// tray watcher and the Avahi daemon played on the session bus, and the tray
// item read and clicked as a panel would. Without a panel the companion
// shows its window after kTrayWaitMs.

#include <sys/stat.h>
#include <sys/types.h>

#include <QByteArray>
#include <QDBusConnection>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>
#include <functional>
#include <memory>
#include <vector>

#include <gtest/gtest.h>

#include "testing/companion/bus_services.h"
#include "testing/companion/desktop_panel.h"
#include "testing/desktop/processes.h"

// Readable failure messages for Qt strings.
QT_BEGIN_NAMESPACE
inline void PrintTo(const QString& text, std::ostream* out) {
  *out << '"' << text.toStdString() << '"';
}
QT_END_NAMESPACE

namespace trovemark::companion::testing {

// The name the Avahi stand-in gives this machine.
inline constexpr const char* kHostName = "trovemark-test.local";
// How long the companion waits for a panel before it shows its window.
inline constexpr int kTrayWaitMs = 300;

// Runs Qt's events until `done` holds, within the tests' patience.
bool waitUntil(const std::function<bool()>& done);
QByteArray readAll(const QString& path);
QString readTrimmed(const QString& path);

class CompanionOnADesktop : public ::testing::Test {
 protected:
  static void SetUpTestSuite();
  static void TearDownTestSuite();
  void SetUp() override;
  void TearDown() override;

  // Where the build was installed.
  static QString prefix();
  QString path(const char* name) const { return root_.filePath(QString::fromLatin1(name)); }
  QString tokenFile() const { return home + QStringLiteral("/.local/share/Zelvan/.pairing-token"); }
  QString fingerprintFile() const {
    return home + QStringLiteral("/.local/share/Zelvan/bridge-fingerprint");
  }
  pid_t companionPid() const { return static_cast<pid_t>(companion_.processId()); }

  // Starts `program` (the installed one unless a case says otherwise), under
  // umask `mask`, with a stand-in Resolve whose runtime is `runtime` (none
  // when empty); with a panel, waits for its tray item.
  void startCompanion(const QByteArray& runtime, bool panel = true, mode_t mask = 022);
  // The panel starts (now, or later than the companion); waits for the item.
  void startPanel();
  // Its tray watcher takes its name on the bus, with its host registered or not.
  void publishPanel(bool host = true);
  // Runs the program again as it was started; its exit status, or -1 when
  // it does not end within the tests' patience.
  int startAgain();
  // Waits for the one bridge child and the two files it writes; its id.
  pid_t waitForBridge();
  // Once the companion has been asked to end: it exits cleanly, `bridge`
  // ends, and no bridge is left (with the companion gone, nothing can start
  // one again).
  void expectEndsWithItsBridge(pid_t bridge);

  QString home;
  QString program = prefix() + QStringLiteral("/bin/ZelvanMac");
  std::unique_ptr<trovemark::testing::TrayItem> tray;
  QProcess companion_;
  std::unique_ptr<trovemark::testing::StatusNotifierWatcher> watcher_;

 private:
  QTemporaryDir root_;
  QStringList command_;  // how the companion was started
  QDBusConnection bus_ = QDBusConnection::sessionBus();
  std::unique_ptr<trovemark::testing::BusServices> avahi_;
};

}  // namespace trovemark::companion::testing
