// The installed ZelvanMac on a private desktop, driven as a panel drives it:
// the pairing link reaches the clipboard and the token nothing else, all it
// creates is private even under a permissive umask, and quitting ends the
// bridge for good. Without a panel, its window read and clicked as a screen
// reader does; one companion however often it is started; the Linux texts
// where the user reads them. (Pairing files a broken bridge left are the
// controller's and the file adapter's to refuse.)

#include <signal.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <QClipboard>
#include <QCursor>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QDirIterator>
#include <QFile>
#include <QGuiApplication>
#include <QMimeData>
#include <QPixmap>
#include <QScreen>
#include <QThread>
#include <QUrl>
#include <algorithm>
#include <cstdlib>
#include <iostream>

#include "color_helper/accessibility/platform.h"
#include "companion/platform/x_root_property_linux.h"
#include "testing/companion/desktop_services.h"
#include "testing/companion/screen_reader.h"

namespace trovemark::companion::testing {
namespace {

using CompanionDesktop = CompanionOnADesktop;

const QByteArray kPythonRuntime = "#!/bin/sh\nexec python3 \"$@\"\n";
// The application's name on the accessibility bus, and its window's title.
const std::string kTrovemark = "Trovemark";
using Lines = std::vector<std::string>;
using trovemark::testing::ScreenReader;

// What the menu shows while the bridge runs, in a panel's labels.
// clang-format off
const std::vector<QString> kRunning = {
    "Trovemark Companion", "Bridge running on this computer", "---", "Copy iPad Pairing Link",
    "Restart Bridge", "Enable Keyboard Control", "---", "Turn Off Launch at Login", "---",
    "Quit Trovemark"};
// clang-format on

bool setAccessibilitySwitch(bool on) {
  // A plain message: an interface object would introspect the bus and keep
  // what it learnt in Qt's cache for good.
  QDBusMessage set = QDBusMessage::createMethodCall(
      QStringLiteral("org.a11y.Bus"), QStringLiteral("/org/a11y/bus"),
      QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Set"));
  set << QStringLiteral("org.a11y.Status") << QStringLiteral("IsEnabled")
      << QVariant::fromValue(QDBusVariant(on));
  return QDBusConnection::sessionBus().call(set).type() == QDBusMessage::ReplyMessage;
}

// Waits until the menu's line `line` reads `label`.
bool showsLine(trovemark::testing::TrayItem& tray, std::size_t line, const char* label) {
  return waitUntil([&] {
    const auto labels = tray.labels();
    return labels.size() > line && labels[line] == QString::fromUtf8(label);
  });
}

// The accessibility bus address on the private desktop's X root window.
std::optional<std::string> published() {
  return x11::readRootProperty(qEnvironmentVariable("DISPLAY").toStdString(), "AT_SPI_BUS");
}

// Whether an application registered as `name` is on the accessibility bus,
// as the Color helper reads the registry.
bool listed(const std::string& name) {
  ax::SystemClock clock;
  const auto port = ax::makePlatformAccessibility(ax::currentEnvironment(), clock);
  ax::Application application;
  application.registeredNames = {name};
  return !port->runningApplications(application).empty();
}

TEST_F(CompanionDesktop, PairsPrivatelyAndQuitsWithItsBridge) {
  for (const char* file :
       {"bin/ZelvanMac", "bin/TrovemarkColorAX", "share/trovemark/zelvan_bridge.py",
        "share/icons/hicolor/scalable/apps/trovemark.svg",
        "share/icons/hicolor/64x64/apps/trovemark.png"}) {
    EXPECT_TRUE(QFile::exists(prefix() + "/" + file)) << file << " is not installed";
  }
  EXPECT_TRUE(readAll(prefix() + "/share/applications/trovemark-companion.desktop")
                  .contains("\nExec=\"" + prefix().toUtf8() + "/bin/ZelvanMac\"\n"));

  QClipboard* clipboard = QGuiApplication::clipboard();
  auto* older = new QMimeData;
  older->setHtml(QStringLiteral("<b>older</b>"));
  clipboard->setMimeData(older, QClipboard::Clipboard);
  clipboard->setText(QStringLiteral("older selection"), QClipboard::Selection);
  // The real bridge script, under a umask that would leave anything that
  // relies on it open to everyone.
  startCompanion(kPythonRuntime, true, 0);
  ASSERT_NE(waitForBridge(), 0);
  EXPECT_EQ(tray->property(QStringLiteral("Title")).toString(), QStringLiteral("Trovemark"));
  // The start-up registration of the login item succeeds in a writable home.
  EXPECT_TRUE(waitUntil([&] { return tray->labels() == kRunning; }));

  std::vector<QString> tokens;
  QStringList shown;  // everything the companion showed or handed on, besides the clipboard
  auto copyLink = [&] {
    tokens.push_back(readTrimmed(tokenFile()));
    ASSERT_TRUE(tray->click(QStringLiteral("Copy iPad Pairing Link")));
    const QString link = QStringLiteral("zelvan://pair?host=%1&token=%2&fingerprint=%3")
                             .arg(QString::fromLatin1(kHostName),
                                  QString::fromLatin1(QUrl::toPercentEncoding(tokens.back())),
                                  readTrimmed(fingerprintFile()));
    EXPECT_TRUE(waitUntil([&] { return clipboard->text() == link; }))
        << "the clipboard holds " << clipboard->text().toStdString();
    const QMimeData* data = clipboard->mimeData();
    ASSERT_NE(data, nullptr);
    EXPECT_FALSE(data->hasHtml() || data->hasUrls()) << "more than plain text";
    std::vector<QString> labels;
    EXPECT_TRUE(waitUntil([&] {
      labels = tray->labels();
      return labels.size() > 1 && labels[1] == QStringLiteral("Pairing link copied");
    }));
    for (const QString& label : labels) shown << label;
  };
  copyLink();

  // The other buttons reach their operations; each outcome shows once the
  // click is over. The desktop's accessibility switch starts off here.
  ASSERT_TRUE(setAccessibilitySwitch(false));
  ASSERT_TRUE(tray->click(QStringLiteral("Enable Keyboard Control")));
  EXPECT_TRUE(showsLine(*tray, 1, "Keyboard control enabled"));
  // A switch that does not answer cannot be turned on.
  const pid_t launcher = static_cast<pid_t>(
      QDBusConnection::sessionBus().interface()->servicePid(QStringLiteral("org.a11y.Bus")));
  ASSERT_GT(launcher, 0);
  ASSERT_EQ(::kill(launcher, SIGSTOP), 0);
  const bool clicked = tray->click(QStringLiteral("Enable Keyboard Control"));
  const bool refused = showsLine(*tray, 1, "Turn on accessibility in your desktop's settings");
  ::kill(launcher, SIGCONT);
  EXPECT_TRUE(clicked && refused);
  ASSERT_TRUE(tray->click(QStringLiteral("Turn Off Launch at Login")));
  EXPECT_TRUE(showsLine(*tray, 7, "Launch at Login"));
  ASSERT_TRUE(tray->click(QStringLiteral("Launch at Login")));
  EXPECT_TRUE(showsLine(*tray, 7, "Turn Off Launch at Login"));

  // A new bridge writes a new token; the next link carries it.
  ASSERT_TRUE(tray->click(QStringLiteral("Restart Bridge")));
  ASSERT_TRUE(waitUntil([&] {
    const QString now = readTrimmed(tokenFile());
    return !now.isEmpty() && now != tokens.back() && readTrimmed(fingerprintFile()).size() == 64;
  }));
  copyLink();

  // For the README: a click on the item opens the drop-down, which opens at
  // the pointer without a panel to anchor to; grabbed from the screen.
  if (const char* shot = std::getenv("TROVEMARK_MENU_SCREENSHOT")) {
    const QPoint pointer = QCursor::pos();
    tray->activate(pointer);
    // Another process draws the drop-down and says nothing when it is done.
    QThread::msleep(1500);
    const QPixmap screen = QGuiApplication::primaryScreen()->grabWindow(0);
    EXPECT_TRUE(screen.copy(pointer.x() - 16, pointer.y() - 16, 240, 190).save(shot));
  }

  // With a panel there is no window.
  EXPECT_EQ(ScreenReader().lines(kTrovemark, kTrovemark), Lines{});

  for (const char* name : {"Title", "ToolTip", "Status", "Id", "IconName"}) {
    shown << tray->property(QString::fromLatin1(name)).toString();
  }
  std::set<pid_t> processes = trovemark::testing::childrenOf(companionPid());
  ASSERT_EQ(processes.size(), 1u);
  const pid_t bridge = *processes.begin();
  processes.insert(companionPid());
  for (pid_t pid : processes) {
    shown << QString::fromUtf8(readAll(QStringLiteral("/proc/%1/cmdline").arg(pid)))
          << QString::fromUtf8(readAll(QStringLiteral("/proc/%1/environ").arg(pid)));
  }
  ASSERT_TRUE(tray->click(QStringLiteral("Quit Trovemark")));
  expectEndsWithItsBridge(bridge);
  shown << QString::fromUtf8(readAll(path("companion.out")))
        << QString::fromUtf8(readAll(path("companion.err")));
  EXPECT_FALSE(clipboard->text(QClipboard::Selection).contains(tokens.back()));

  // Every file the run left, in the case's folders and the desktop's runtime
  // folder, except the token file itself.
  QStringList files;
  for (const QString& top : {path(""), qEnvironmentVariable("XDG_RUNTIME_DIR")}) {
    QDirIterator it(top, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
      const QString file = it.next();
      if (file != tokenFile()) files << file;
    }
  }
  // The search would find a token where one is.
  ASSERT_TRUE(files.contains(home + QStringLiteral("/.config/autostart/ZelvanMac.desktop")));
  ASSERT_TRUE(readAll(tokenFile()).contains(tokens.back().toUtf8()));
  for (const QString& token : tokens) {
    for (const QString& text : shown) EXPECT_FALSE(text.contains(token)) << text.toStdString();
    for (const QString& file : files) {
      EXPECT_FALSE(readAll(file).contains(token.toUtf8())) << file.toStdString();
    }
  }

  // What the companion created in the home, under umask 000: nothing of it
  // open to the group or to others.
  QStringList created;
  QDirIterator it(home, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                  QDirIterator::Subdirectories);
  while (it.hasNext()) {
    const QString entry = it.next();
    created << entry.mid(home.size() + 1);
    struct stat st {};
    ASSERT_EQ(::lstat(entry.toLocal8Bit().constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 077, 0u)
        << entry.toStdString() << " has mode " << std::oct << (st.st_mode & 07777);
  }
  for (const char* expected : {".local/share/Zelvan", ".config/autostart/ZelvanMac.desktop"}) {
    EXPECT_TRUE(created.contains(QString::fromLatin1(expected))) << expected;
  }
  std::cout << "[ figure ] token searched in " << files.size() << " files and " << shown.size()
            << " texts; " << created.size() << " entries created under umask 000\n";
}

// A desktop whose launcher published no bus address on the X root window, as
// on a Wayland session where Resolve runs under XWayland: the click publishes
// it, a Qt 5 program started afterwards joins as the Qt 6 stand-in does, and
// quitting takes it back. A later start with the switch on (a login start)
// publishes it again by itself.
TEST_F(CompanionDesktop, KeyboardControlBringsInQt5ProgramsStartedAfterwards) {
  const auto launchers = published();
  ASSERT_TRUE(launchers);
  ASSERT_EQ(trovemark::testing::runProgram({"xprop", "-root", "-remove", "AT_SPI_BUS"}).status, 0);
  ASSERT_TRUE(setAccessibilitySwitch(false));
  startCompanion(kPythonRuntime);
  ASSERT_TRUE(tray->click(QStringLiteral("Enable Keyboard Control")));
  EXPECT_TRUE(showsLine(*tray, 1, "Keyboard control enabled"));
  EXPECT_EQ(published(), launchers);

  const auto probe = trovemark::testing::Process::start({TROVEMARK_QT5_PROBE});
  ASSERT_EQ(probe->readLine(), "ready");
  const auto standin =
      trovemark::testing::Standin::start({TROVEMARK_BINARY_DIR "/bin/resolve-standin",
                                          TROVEMARK_SOURCE_DIR "/scenes/color-page.json"});
  EXPECT_TRUE(waitUntil([] { return listed("trovemark-qt5-probe"); })) << "Qt 5 stayed out";
  EXPECT_TRUE(waitUntil([] { return listed("DaVinci Resolve"); })) << "the stand-in stayed out";

  ASSERT_TRUE(tray->click(QStringLiteral("Quit Trovemark")));
  ASSERT_TRUE(waitUntil([&] { return companion_.state() == QProcess::NotRunning; }));
  EXPECT_EQ(published(), std::nullopt);

  startCompanion(kPythonRuntime, false);
  EXPECT_TRUE(waitUntil([&] { return published() == launchers; }));
  ASSERT_EQ(::kill(companionPid(), SIGTERM), 0);
  ASSERT_TRUE(waitUntil([&] { return companion_.state() == QProcess::NotRunning; }));
  EXPECT_EQ(published(), std::nullopt);
}

TEST_F(CompanionDesktop, WithoutAPanelTheWindowHoldsTheMenuUntilAPanelStarts) {
  startCompanion(kPythonRuntime, false);
  const pid_t first = waitForBridge();
  ASSERT_NE(first, 0);
  // The same lines in the window, where the first two are labels.
  Lines running;
  for (const QString& label : kRunning) {
    running.push_back((running.size() < 2 ? "text:" : "") + label.toStdString());
  }
  ScreenReader reader;
  std::optional<Lines> seen;
  EXPECT_TRUE(waitUntil([&] { return (seen = reader.lines(kTrovemark, kTrovemark)) == running; }))
      << (seen ? ::testing::PrintToString(*seen) : "not on the accessibility bus");

  // Its buttons do what the menu's do.
  QFile::remove(tokenFile());
  ASSERT_TRUE(reader.press(kTrovemark, kTrovemark, "Restart Bridge"));
  const pid_t bridge = waitForBridge();
  ASSERT_NE(bridge, first);

  // Started again, it hands over to the one running and starts nothing.
  EXPECT_EQ(startAgain(), 0) << readAll(path("again.err")).toStdString();
  EXPECT_EQ(trovemark::testing::childrenOf(companionPid()), std::set<pid_t>{bridge});
  EXPECT_EQ(companion_.state(), QProcess::Running);

  // A panel that starts later takes the menu over, and the window hides; its
  // watcher may come before its host does (KDE Plasma at login).
  ASSERT_NO_FATAL_FAILURE(publishPanel(false));
  const auto later = std::chrono::steady_clock::now() + std::chrono::milliseconds(3 * kTrayWaitMs);
  waitUntil([&] { return std::chrono::steady_clock::now() > later; });
  EXPECT_TRUE(watcher_->registeredItems().isEmpty()) << "an item where no host shows it";
  EXPECT_EQ(reader.lines(kTrovemark, kTrovemark), running);
  watcher_->registerHost();
  ASSERT_NO_FATAL_FAILURE(startPanel());
  EXPECT_TRUE(waitUntil([&] { return reader.lines(kTrovemark, kTrovemark) == Lines{}; }));
  ASSERT_TRUE(tray->click(QStringLiteral("Quit Trovemark")));
  expectEndsWithItsBridge(bridge);
}

TEST_F(CompanionDesktop, WithoutAPanelItSaysSoOnceAndKeepsTheBridgeUntilTerminated) {
  for (int signalNumber : {SIGTERM, SIGINT, SIGHUP}) {
    SCOPED_TRACE(strsignal(signalNumber));
    startCompanion(kPythonRuntime, false);
    const pid_t bridge = waitForBridge();
    ASSERT_NE(bridge, 0);
    // Said once the companion has waited for a panel in vain.
    ASSERT_TRUE(
        waitUntil([&] { return readAll(path("companion.err")).contains("no system tray"); }));
    ASSERT_EQ(::kill(companionPid(), signalNumber), 0);
    expectEndsWithItsBridge(bridge);
    const QString said = QString::fromUtf8(readAll(path("companion.err")));
    EXPECT_EQ(said.count(QStringLiteral("no system tray")), 1) << said.toStdString();
  }
}

TEST_F(CompanionDesktop, APanelShowsEachErrorLineAsWritten) {
  // A regular file where the home's folder should be: no write succeeds below
  // it, even for root. The message names the path, and a panel, which reads a
  // single "_" as an access-key mark, must show it as the controller wrote it.
  trovemark::testing::writeFile(path("plain_file"), "not a folder");
  const QString noHome = path("plain_file/jo_doe");
  // The program alone, without the bridge script beside it.
  const QString bare = path("bare/bin/ZelvanMac");
  ASSERT_TRUE(QDir().mkpath(path("bare/bin")) && QFile::copy(program, bare));
  struct Case {
    QString home;
    QByteArray runtime;  // none: no Resolve
    QString program;
    QString line;
  };
  const Case cases[] = {
      {home, "", program, "Install Resolve Studio to run the bridge."},
      {noHome, "#!/bin/sh\nexec sleep 300\n", program,
       "Enable Launch at Login from this menu: Could not create the folder " + noHome +
           "/.config/autostart: Not a directory."},
      {home, kPythonRuntime, bare, "The bridge script is missing. Reinstall Trovemark."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line.toStdString());
    home = c.home;
    program = c.program;
    ASSERT_NO_FATAL_FAILURE(startCompanion(c.runtime));
    std::vector<QString> labels;
    EXPECT_TRUE(waitUntil([&] {
      labels = tray->labels();
      return std::find(labels.begin(), labels.end(), c.line) != labels.end();
    })) << "the panel shows: "
        << QStringList(labels.begin(), labels.end()).join(" | ").toStdString();
    ASSERT_TRUE(tray->click(QStringLiteral("Quit Trovemark")));
    EXPECT_TRUE(waitUntil([&] { return companion_.state() == QProcess::NotRunning; }));
  }
}

}  // namespace
}  // namespace trovemark::companion::testing
