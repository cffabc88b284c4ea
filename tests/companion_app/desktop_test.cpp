// The installed ZelvanMac on a private desktop, driven as a panel drives it:
// the pairing link reaches the clipboard and the token nothing else, all it
// creates is private even under a permissive umask, and quitting ends the
// bridge for good. Without a panel, its window read and pressed over the
// accessibility bus; one companion however often it is started; keyboard
// control bringing Qt 5 programs in; the error lines as a panel shows them. (The
// answers of each button are the controller's tests', the adapters' the
// adapters'.)

#include <signal.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QCursor>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QMimeData>
#include <QPixmap>
#include <QProcess>
#include <QScreen>
#include <QTemporaryDir>
#include <QThread>
#include <QUrl>
#include <algorithm>
#include <cstdlib>
#include <iostream>

#include "color_helper/accessibility/platform.h"
#include "companion/platform/x_root_property_linux.h"
#include "testing/companion/desktop_panel.h"
#include "testing/desktop/processes.h"
#include "testing/wait.h"

// Readable failure messages for Qt strings.
inline void PrintTo(const QString& text, std::ostream* out) {
  *out << '"' << text.toStdString() << '"';
}

namespace trovemark::companion::testing {
namespace {

using namespace trovemark::testing;
using Lines = std::vector<std::string>;

// Debian's interpreter by its path: a version manager's shim in PATH costs
// a second or more per bridge start on a loaded machine.
const QByteArray kPythonRuntime = "#!/bin/sh\nexec /usr/bin/python3 \"$@\"\n";
// The name the Avahi stand-in gives this machine.
constexpr const char* kHostName = "trovemark-test.local";
// How long the companion waits for a panel before it shows its window.
constexpr int kTrayWaitMs = 300;
// The application's name on the accessibility bus, and its window's title.
const std::string kTrovemark = "Trovemark";

// What the menu shows while the bridge runs, in a panel's labels.
// clang-format off
const std::vector<QString> kRunning = {
    "Trovemark Companion", "Bridge running on this computer", "---", "Copy iPad Pairing Link",
    "Restart Bridge", "Enable Keyboard Control", "---", "Turn Off Launch at Login", "---",
    "Quit Trovemark"};
// clang-format on

// Runs Qt's events until `done` holds, within the tests' patience.
bool waitUntil(const std::function<bool()>& done) {
  return eventually(done, [] {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    QThread::msleep(20);
  });
}

QByteArray readAll(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QString readTrimmed(const QString& path) { return QString::fromUtf8(readAll(path)).trimmed(); }

// Waits until the menu's line `line` reads `label`.
bool showsLine(TrayItem& tray, std::size_t line, const char* label) {
  return waitUntil([&] {
    const auto labels = tray.labels();
    return labels.size() > line && labels[line] == QString::fromUtf8(label);
  });
}

// The accessibility bus address on the private desktop's X root window.
std::optional<std::string> published() {
  return x11::readRootProperty(qEnvironmentVariable("DISPLAY").toStdString(), "AT_SPI_BUS");
}

// The accessibility bus as the Color helper reads it.
std::unique_ptr<ax::Accessibility> accessibilityBus() {
  static ax::SystemClock clock;
  return ax::makePlatformAccessibility(ax::currentEnvironment(), clock);
}

// Whether an application registered as `name` is on the accessibility bus.
bool listed(const std::string& name) {
  return !accessibilityBus()->runningApplications({{}, {name}}).empty();
}

// Whether the companion's window shows, as the X server sees it (Qt names
// another window of its own "Trovemark" too).
bool windowShows() {
  const std::string tree = runProgram({"xwininfo", "-root", "-tree"}).out;
  const auto at = tree.find("\"Trovemark\": (\"ZelvanMac\"");
  if (at == std::string::npos) return false;
  const auto start = tree.find_first_not_of(' ', tree.rfind('\n', at) + 1);
  const std::string id = tree.substr(start, tree.find(' ', start) - start);
  return runProgram({"xwininfo", "-id", id}).out.find("IsViewable") != std::string::npos;
}

// The companion's window as a screen reader meets it on the accessibility
// bus: "text:" and the text of each label, the name of each button, "---" for
// each separator; nothing while it does not show. The button named `press`,
// if any, is pressed on the way.
Lines windowLines(const std::string& press = "") {
  if (!windowShows()) return {};
  const auto bus = accessibilityBus();
  Lines lines;
  for (const ax::ProcessId pid : bus->runningApplications({{}, {kTrovemark}})) {
    const auto windows = bus->read(bus->applicationElement(pid), ax::Attribute::kWindows).windows;
    for (const auto& window : windows.value_or(std::vector<ax::ElementRef>{})) {
      const auto walk = bus->walk(window, 100, ax::ReadingPlan::everything());
      while (const auto element = walk->next()) {
        const std::string& role = element->role.name;
        const std::string& name = element->describedAs();
        if (role == "label") lines.push_back("text:" + name);
        if (role == "push button") lines.push_back(name);
        if (role == "separator") lines.push_back("---");
        if (role == "push button" && name == press) {
          EXPECT_TRUE(bus->press(element->ref));
        }
      }
    }
  }
  return lines;
}

// The build installed once into a temporary prefix; per case a temporary
// home with a stand-in Resolve, the Avahi daemon played on the session bus,
// and a panel played there when a case wants one.
class CompanionDesktop : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    static int argc = 1;
    static char name[] = "companion_desktop_test";
    static char* argv[] = {name, nullptr};
    static QApplication app(argc, argv);
    installed_ = new QTemporaryDir;
    const ProgramResult install = runProgram(
        {"cmake", "--install", TROVEMARK_BINARY_DIR, "--prefix", installed_->path().toStdString()});
    ASSERT_EQ(install.status, 0) << install.out << install.err;
  }
  static void TearDownTestSuite() { delete installed_; }

  void SetUp() override {
    ASSERT_TRUE(root_.isValid());
    ASSERT_TRUE(bus_.isConnected());
    avahi_ = std::make_unique<AvahiServer>(bus_, QString::fromLatin1(kHostName));
    ASSERT_TRUE(avahi_->publish());
  }

  void TearDown() override {
    if (companion_.state() != QProcess::NotRunning) {
      companion_.kill();
      companion_.waitForFinished();
    }
    for (pid_t pid : processesWithEnvironment(tokenEntry())) ::kill(pid, SIGKILL);
  }

  static QString prefix() { return installed_->path(); }
  QString path(const char* name) const { return root_.filePath(QString::fromLatin1(name)); }
  QString tokenFile() const { return home + QStringLiteral("/.local/share/Zelvan/.pairing-token"); }
  QString fingerprintFile() const {
    return home + QStringLiteral("/.local/share/Zelvan/bridge-fingerprint");
  }
  pid_t companionPid() const { return static_cast<pid_t>(companion_.processId()); }
  // Set in the bridge's environment, so that whatever a case started is
  // found and ended with it.
  std::string tokenEntry() const { return "ZELVAN_TOKEN_FILE=" + tokenFile().toStdString(); }

  // Starts the installed program under umask `mask`, with a stand-in Resolve
  // whose runtime is `runtime` (none: no Resolve); with a panel, waits for
  // its tray item.
  void startCompanion(const QByteArray& runtime, bool panel = true, mode_t mask = 022) {
    tray.reset();
    watcher_.reset();
    if (!runtime.isEmpty()) installStandInResolve(path("opt/resolve"), path("data"), runtime);
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
                QStringLiteral("umask %1; exec \"$0\"").arg(mask, 3, 8, QLatin1Char('0')),
                program.isEmpty() ? prefix() + QStringLiteral("/bin/ZelvanMac") : program};
    if (panel) publishPanel();
    companion_.start(QStringLiteral("/bin/sh"), command_);
    ASSERT_TRUE(companion_.waitForStarted());
    if (panel) startPanel();
  }

  // A panel's tray watcher takes its name on the bus, with its host
  // registered or (as KDE Plasma's at login) not yet.
  void publishPanel(bool host = true) {
    watcher_ = std::make_unique<StatusNotifierWatcher>(bus_, host);
    ASSERT_TRUE(watcher_->publish());
  }

  // Waits for the companion's tray item on the panel's watcher.
  void startPanel() {
    ASSERT_TRUE(waitUntil([&] { return !watcher_->registeredItems().isEmpty(); }))
        << "no tray item; the companion said: " << readAll(path("companion.err")).toStdString();
    tray = std::make_unique<TrayItem>(bus_, watcher_->registeredItems().first());
  }

  // Waits for the one bridge child and the two files it writes; its id.
  pid_t waitForBridge() {
    pid_t bridge = 0;
    std::set<pid_t> children;
    const bool up = waitUntil([&] {
      children = childrenOf(companionPid());
      if (children.size() != 1) return false;
      bridge = *children.begin();
      return !readTrimmed(tokenFile()).isEmpty() && readTrimmed(fingerprintFile()).size() == 64;
    });
    EXPECT_TRUE(up) << "the bridge did not start (" << children.size()
                    << " children); the companion said: "
                    << readAll(path("companion.err")).toStdString();
    return up ? bridge : 0;
  }

  // Once the companion has been asked to end: it exits cleanly, `bridge`
  // ends, and no bridge is left (with the companion gone, nothing can start
  // one again).
  void expectEndsWithItsBridge(pid_t bridge) {
    ASSERT_TRUE(waitUntil([&] { return companion_.state() == QProcess::NotRunning; }));
    EXPECT_EQ(companion_.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(companion_.exitCode(), 0);
    EXPECT_TRUE(waitUntil([&] { return hasEnded(bridge); })) << "the bridge still runs";
    EXPECT_TRUE(processesWithEnvironment(tokenEntry()).empty()) << "a bridge was started again";
  }

  bool quitEnds() {
    return tray->click(QStringLiteral("Quit Trovemark")) &&
           waitUntil([&] { return companion_.state() == QProcess::NotRunning; });
  }

  static inline QTemporaryDir* installed_ = nullptr;
  QTemporaryDir root_;
  QString home = path("home");
  QString program;  // when not the installed one
  QDBusConnection bus_ = QDBusConnection::sessionBus();
  std::unique_ptr<AvahiServer> avahi_;
  std::unique_ptr<StatusNotifierWatcher> watcher_;
  std::unique_ptr<TrayItem> tray;
  QStringList command_;  // how the companion was started
  QProcess companion_;
};

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
    EXPECT_TRUE(showsLine(*tray, 1, "Pairing link copied"));
    for (const QString& label : tray->labels()) shown << label;
  };
  copyLink();

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
  EXPECT_EQ(windowLines(), Lines{});

  for (const char* name : {"Title", "ToolTip", "Status", "Id", "IconName"}) {
    shown << tray->property(QString::fromLatin1(name)).toString();
  }
  std::set<pid_t> processes = childrenOf(companionPid());
  ASSERT_EQ(processes.size(), 1u);
  const pid_t bridge = *processes.begin();
  processes.insert(companionPid());
  for (pid_t pid : processes) {
    for (const char* what : {"cmdline", "environ"})
      shown << QString::fromUtf8(readAll(QStringLiteral("/proc/%1/%2").arg(pid).arg(what)));
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
      if (const QString file = it.next(); file != tokenFile()) files << file;
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
  ASSERT_EQ(runProgram({"xprop", "-root", "-remove", "AT_SPI_BUS"}).status, 0);
  ASSERT_TRUE(setAccessibilitySwitch(false));
  startCompanion(kPythonRuntime);
  // A switch that does not answer cannot be turned on; the menu says what to do.
  const pid_t launcher = static_cast<pid_t>(
      QDBusConnection::sessionBus().interface()->servicePid(QStringLiteral("org.a11y.Bus")));
  ASSERT_GT(launcher, 0);
  ASSERT_EQ(::kill(launcher, SIGSTOP), 0);
  const bool clicked = tray->click(QStringLiteral("Enable Keyboard Control"));
  const bool refused = showsLine(*tray, 1, "Turn on accessibility in your desktop's settings");
  ::kill(launcher, SIGCONT);
  EXPECT_TRUE(clicked && refused);
  EXPECT_EQ(published(), std::nullopt);

  ASSERT_TRUE(tray->click(QStringLiteral("Enable Keyboard Control")));
  EXPECT_TRUE(showsLine(*tray, 1, "Keyboard control enabled"));
  EXPECT_EQ(published(), launchers);

  const auto probe = Process::start({TROVEMARK_QT5_PROBE});
  ASSERT_EQ(probe->readLine(), "ready");
  const auto standin = Standin::start({TROVEMARK_BINARY_DIR "/bin/resolve-standin",
                                       TROVEMARK_SOURCE_DIR "/scenes/color-page.json"});
  EXPECT_TRUE(waitUntil([] { return listed("trovemark-qt5-probe"); })) << "Qt 5 stayed out";
  EXPECT_TRUE(waitUntil([] { return listed("DaVinci Resolve"); })) << "the stand-in stayed out";

  ASSERT_TRUE(quitEnds());
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
  Lines seen;
  EXPECT_TRUE(waitUntil([&] { return (seen = windowLines()) == running; }))
      << ::testing::PrintToString(seen);

  // Its buttons do what the menu's do.
  QFile::remove(tokenFile());
  windowLines("Restart Bridge");
  const pid_t bridge = waitForBridge();
  ASSERT_NE(bridge, first);

  // Started again, it hands over to the one running and starts nothing.
  QProcess again;
  again.setProcessEnvironment(companion_.processEnvironment());
  again.start(QStringLiteral("/bin/sh"), command_);
  ASSERT_TRUE(again.waitForFinished());
  EXPECT_EQ(again.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(again.exitCode(), 0) << again.readAllStandardError().toStdString();
  EXPECT_EQ(childrenOf(companionPid()), std::set<pid_t>{bridge});
  EXPECT_EQ(companion_.state(), QProcess::Running);

  // A panel that starts later takes the menu over, and the window hides; its
  // watcher may come before its host does (KDE Plasma at login).
  ASSERT_NO_FATAL_FAILURE(publishPanel(false));
  const auto later = std::chrono::steady_clock::now() + std::chrono::milliseconds(3 * kTrayWaitMs);
  waitUntil([&] { return std::chrono::steady_clock::now() > later; });
  EXPECT_TRUE(watcher_->registeredItems().isEmpty()) << "an item where no host shows it";
  EXPECT_EQ(windowLines(), running);
  watcher_->registerHost();
  ASSERT_NO_FATAL_FAILURE(startPanel());
  EXPECT_TRUE(waitUntil([&] { return windowLines().empty(); }));
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
  writeFile(path("plain_file"), "not a folder");
  const QString noHome = path("plain_file/jo_doe");
  // The program alone, without the bridge script beside it.
  const QString bare = path("bare/bin/ZelvanMac");
  ASSERT_TRUE(QDir().mkpath(path("bare/bin")) &&
              QFile::copy(prefix() + QStringLiteral("/bin/ZelvanMac"), bare));
  struct Case {
    QString home;
    QByteArray runtime;  // none: no Resolve
    QString program;
    QString line;
  };
  const Case cases[] = {
      {home, "", "", "Install Resolve Studio to run the bridge."},
      {noHome, "#!/bin/sh\nexec sleep 300\n", "",
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
    EXPECT_TRUE(quitEnds());
  }
}

}  // namespace
}  // namespace trovemark::companion::testing
