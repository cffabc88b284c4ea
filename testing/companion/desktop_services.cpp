#include "testing/companion/desktop_services.h"

#include <signal.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QThread>
#include <cstdlib>

#include "testing/wait.h"

namespace trovemark::companion::testing {

namespace {

QTemporaryDir* installed = nullptr;

// Set in the bridge's environment, so that whatever a case started is found
// and ended with it.
std::string tokenEntry(const QString& tokenFile) {
  return "ZELVAN_TOKEN_FILE=" + tokenFile.toStdString();
}

}  // namespace

bool waitUntil(const std::function<bool()>& done) {
  return trovemark::testing::eventually(done, [] {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    QThread::msleep(20);
  });
}

QByteArray readAll(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QString readTrimmed(const QString& path) { return QString::fromUtf8(readAll(path)).trimmed(); }

void CompanionOnADesktop::SetUpTestSuite() {
  static int argc = 1;
  static char name[] = "companion_desktop_test";
  static char* argv[] = {name, nullptr};
  static QApplication app(argc, argv);
  installed = new QTemporaryDir;
  const trovemark::testing::ProgramResult install = trovemark::testing::runProgram(
      {"cmake", "--install", TROVEMARK_BINARY_DIR, "--prefix", installed->path().toStdString()});
  ASSERT_EQ(install.status, 0) << install.out << install.err;
}

void CompanionOnADesktop::TearDownTestSuite() {
  delete installed;
  installed = nullptr;
}

QString CompanionOnADesktop::prefix() { return installed->path(); }

void CompanionOnADesktop::SetUp() {
  ASSERT_TRUE(root_.isValid());
  ASSERT_TRUE(bus_.isConnected());
  home = path("home");
  avahi_ = std::make_unique<trovemark::testing::BusServices>(
      qEnvironmentVariable("DBUS_SESSION_BUS_ADDRESS").toStdString(), kHostName, false);
  ASSERT_TRUE(avahi_->ready());
}

void CompanionOnADesktop::TearDown() {
  if (companion_.state() != QProcess::NotRunning) {
    companion_.kill();
    companion_.waitForFinished();
  }
  for (pid_t pid : trovemark::testing::processesWithEnvironment(tokenEntry(tokenFile())))
    ::kill(pid, SIGKILL);
  tray.reset();
  watcher_.reset();
  avahi_.reset();
}

void CompanionOnADesktop::startCompanion(const QByteArray& runtime, bool panel, mode_t mask) {
  tray.reset();
  watcher_.reset();
  if (!runtime.isEmpty()) {
    trovemark::testing::installStandInResolve(path("opt/resolve"), path("data"), runtime);
  }
  // What an earlier start's bridge wrote is not this one's.
  QFile::remove(tokenFile());
  QFile::remove(fingerprintFile());
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert(QStringLiteral("HOME"), home);
  env.insert(QStringLiteral("XDG_DATA_DIRS"), path("data"));
  for (const char* name : {"XDG_DATA_HOME", "XDG_CONFIG_HOME", "XDG_CACHE_HOME"}) {
    env.remove(QString::fromLatin1(name));
  }
  env.insert(QStringLiteral("TMPDIR"), path("tmp"));
  // The Avahi stand-in lives on the session bus; the companion asks it there.
  env.insert(QStringLiteral("DBUS_SYSTEM_BUS_ADDRESS"),
             env.value(QStringLiteral("DBUS_SESSION_BUS_ADDRESS")));
  env.insert(QStringLiteral("TROVEMARK_TRAY_WAIT_MS"), QString::number(kTrayWaitMs));
  // A case may make the home impossible to create, on purpose.
  QDir().mkpath(home);
  ASSERT_TRUE(QDir().mkpath(path("tmp")));
  companion_.setProcessEnvironment(env);
  companion_.setStandardOutputFile(path("companion.out"));
  companion_.setStandardErrorFile(path("companion.err"));
  // The shell sets the umask and becomes the program.
  command_ = {QStringLiteral("-c"),
              QStringLiteral("umask %1; exec \"$0\"").arg(mask, 3, 8, QLatin1Char('0')), program};
  if (panel) publishPanel();
  companion_.start(QStringLiteral("/bin/sh"), command_);
  ASSERT_TRUE(companion_.waitForStarted());
  if (panel) startPanel();
}

void CompanionOnADesktop::publishPanel(bool host) {
  watcher_ = std::make_unique<trovemark::testing::StatusNotifierWatcher>(bus_, host);
  ASSERT_TRUE(watcher_->publish());
}

void CompanionOnADesktop::startPanel() {
  if (!watcher_) {
    ASSERT_NO_FATAL_FAILURE(publishPanel());
  }
  ASSERT_TRUE(waitUntil([&] { return !watcher_->registeredItems().isEmpty(); }))
      << "no tray item; the companion said: " << readAll(path("companion.err")).toStdString();
  tray = std::make_unique<trovemark::testing::TrayItem>(bus_, watcher_->registeredItems().first());
}

int CompanionOnADesktop::startAgain() {
  QProcess again;
  again.setProcessEnvironment(companion_.processEnvironment());
  again.setStandardOutputFile(path("again.out"));
  again.setStandardErrorFile(path("again.err"));
  again.start(QStringLiteral("/bin/sh"), command_);
  if (!waitUntil([&] { return again.state() == QProcess::NotRunning; })) {
    again.kill();
    again.waitForFinished();
    return -1;
  }
  return again.exitStatus() == QProcess::NormalExit ? again.exitCode() : -1;
}

pid_t CompanionOnADesktop::waitForBridge() {
  pid_t bridge = 0;
  const bool up = waitUntil([&] {
    const auto children = trovemark::testing::childrenOf(companionPid());
    if (children.size() != 1) return false;
    bridge = *children.begin();
    return !readTrimmed(tokenFile()).isEmpty() && readTrimmed(fingerprintFile()).size() == 64;
  });
  EXPECT_TRUE(up) << "the bridge did not start; the companion said: "
                  << readAll(path("companion.err")).toStdString();
  return up ? bridge : 0;
}

void CompanionOnADesktop::expectEndsWithItsBridge(pid_t bridge) {
  ASSERT_TRUE(waitUntil([&] { return companion_.state() == QProcess::NotRunning; }));
  EXPECT_EQ(companion_.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(companion_.exitCode(), 0);
  EXPECT_TRUE(waitUntil([&] { return trovemark::testing::hasEnded(bridge); }))
      << "the bridge still runs";
  EXPECT_TRUE(trovemark::testing::processesWithEnvironment(tokenEntry(tokenFile())).empty())
      << "a bridge was started again";
}

}  // namespace trovemark::companion::testing
