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
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QClipboard>
#include <QCursor>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QMimeData>
#include <QProcess>
#include <QScreen>
#include <QTemporaryDir>
#include <QThread>
#include <QUrl>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <optional>
#include <set>
#include <string>

// Readable failure messages for Qt strings.
QT_BEGIN_NAMESPACE
inline void PrintTo(const QString& text, std::ostream* out) {
  *out << '"' << text.toStdString() << '"';
}
QT_END_NAMESPACE

namespace trovemark::companion::app {
namespace {

using namespace std::chrono_literals;

constexpr auto kPrefixVariable = "TROVEMARK_E2E_PREFIX";
constexpr auto kHostName = "trovemark-test.local";
// Generous: these are limits on a shared machine, not speed goals.
constexpr auto kPatience = 30s;

// Runs a program to its end; returns its exit code and everything it printed.
std::pair<int, std::string> run(
    const QString& program, const QStringList& arguments,
    const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment()) {
  QProcess process;
  process.setProcessEnvironment(env);
  process.setProcessChannelMode(QProcess::MergedChannels);
  process.start(program, arguments);
  process.waitForFinished(-1);
  const int code = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
  return {code, process.readAll().toStdString()};
}

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

// --- Stand-ins for the desktop's services ----------------------------------

// What a panel offers tray items: they register here and are then driven
// through their D-Bus menu, as a panel would.
class StatusNotifierWatcher : public QObject {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierWatcher")
  Q_PROPERTY(bool IsStatusNotifierHostRegistered READ isHostRegistered)
  Q_PROPERTY(QStringList RegisteredStatusNotifierItems READ registeredItems)

 public:
  explicit StatusNotifierWatcher(QDBusConnection bus) : bus_(bus) {}
  // Names go with their objects, so a later case starts on a bare desktop.
  ~StatusNotifierWatcher() override {
    bus_.unregisterService(QStringLiteral("org.kde.StatusNotifierWatcher"));
    bus_.unregisterObject(QStringLiteral("/StatusNotifierWatcher"));
  }
  bool publish() {
    return bus_.registerObject(QStringLiteral("/StatusNotifierWatcher"), this,
                               QDBusConnection::ExportAllContents) &&
           bus_.registerService(QStringLiteral("org.kde.StatusNotifierWatcher"));
  }
  bool isHostRegistered() const { return true; }
  QStringList registeredItems() const { return items_; }

 public slots:
  // Items name their service, or an object path on their own connection.
  void RegisterStatusNotifierItem(const QString& serviceOrPath, const QDBusMessage& message) {
    items_.push_back(serviceOrPath.startsWith(QLatin1Char('/'))
                         ? message.service() + serviceOrPath
                         : serviceOrPath + QStringLiteral("/StatusNotifierItem"));
    emit StatusNotifierItemRegistered(items_.back());
  }

 signals:
  void StatusNotifierItemRegistered(const QString& item);

 private:
  QDBusConnection bus_;
  QStringList items_;  // "service/path"
};

// The mDNS daemon's answer to "what is this machine called on the network".
class MdnsDaemon : public QObject {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Avahi.Server")

 public:
  explicit MdnsDaemon(QDBusConnection bus) : bus_(bus) {}
  ~MdnsDaemon() override {
    bus_.unregisterService(QStringLiteral("org.freedesktop.Avahi"));
    bus_.unregisterObject(QStringLiteral("/"));
  }
  bool publish() {
    return bus_.registerObject(QStringLiteral("/"), this, QDBusConnection::ExportAllSlots) &&
           bus_.registerService(QStringLiteral("org.freedesktop.Avahi"));
  }

 public slots:
  QString GetHostNameFqdn() { return QString::fromLatin1(kHostName); }

 private:
  QDBusConnection bus_;
};

// The registered tray item, seen as a panel sees it. Calls let this process
// answer the companion's own calls (the mDNS question) while they wait.
class TrayItem {
 public:
  TrayItem(QDBusConnection bus, const QString& item)
      : bus_(bus),
        service_(item.section(QLatin1Char('/'), 0, 0)),
        path_(QLatin1Char('/') + item.section(QLatin1Char('/'), 1)) {}

  QVariant property(const QString& name) const {
    const QDBusMessage reply = call(path_, "org.freedesktop.DBus.Properties", "Get",
                                    {QStringLiteral("org.kde.StatusNotifierItem"), name});
    if (reply.arguments().isEmpty()) return {};
    return reply.arguments().first().value<QDBusVariant>().variant();
  }

  // The top level of the menu: (id, label) per entry, "---" for separators.
  std::vector<std::pair<int, QString>> menu() const {
    std::vector<std::pair<int, QString>> entries;
    const QDBusMessage reply =
        call(menuPath(), "com.canonical.dbusmenu", "GetLayout", {0, -1, QStringList()});
    if (reply.arguments().size() < 2) return entries;
    const QDBusArgument layout = reply.arguments().at(1).value<QDBusArgument>();
    int id = 0;
    QVariantMap properties;
    layout.beginStructure();
    layout >> id >> properties;
    layout.beginArray();
    while (!layout.atEnd()) {
      QDBusVariant child;
      layout >> child;
      const QDBusArgument node = child.variant().value<QDBusArgument>();
      node.beginStructure();
      node >> id >> properties;
      node.endStructure();
      const bool separator =
          properties.value(QStringLiteral("type")) == QStringLiteral("separator");
      // "_" marks a mnemonic in this protocol; none of the titles has one.
      entries.emplace_back(
          id, separator
                  ? QStringLiteral("---")
                  : properties.value(QStringLiteral("label")).toString().remove(QLatin1Char('_')));
    }
    return entries;
  }

  std::vector<QString> labels() const {
    std::vector<QString> shown;
    for (const auto& [id, label] : menu()) shown.push_back(label);
    return shown;
  }

  bool click(const QString& label) const {
    for (const auto& [id, shown] : menu()) {
      if (shown != label) continue;
      return call(menuPath(), "com.canonical.dbusmenu", "Event",
                  {id, QStringLiteral("clicked"), QVariant::fromValue(QDBusVariant(0)), 0u})
                 .type() == QDBusMessage::ReplyMessage;
    }
    return false;
  }

  // A plain click on the item at a screen position.
  void activate(QPoint at) const {
    call(path_, "org.kde.StatusNotifierItem", "Activate", {at.x(), at.y()});
  }

 private:
  QString menuPath() const {
    return property(QStringLiteral("Menu")).value<QDBusObjectPath>().path();
  }

  QDBusMessage call(const QString& path, const char* interface, const char* method,
                    const QVariantList& arguments) const {
    QDBusMessage message = QDBusMessage::createMethodCall(
        service_, path, QString::fromLatin1(interface), QString::fromLatin1(method));
    message.setArguments(arguments);
    return bus_.call(message, QDBus::BlockWithGui);
  }

  QDBusConnection bus_;
  QString service_;
  QString path_;
};

// --- Inside the private desktop -------------------------------------------

bool waitUntil(const std::function<bool()>& done, std::chrono::milliseconds limit = kPatience) {
  QElapsedTimer timer;
  timer.start();
  while (!done()) {
    if (timer.elapsed() > limit.count()) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    QThread::msleep(20);
  }
  return true;
}

QString readTrimmed(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return {};
  return QString::fromUtf8(file.readAll()).trimmed();
}

std::set<pid_t> childrenOf(pid_t pid) {
  std::set<pid_t> children;
  QDir tasks(QStringLiteral("/proc/%1/task").arg(pid));
  for (const QString& task : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
    std::ifstream file(tasks.filePath(task + "/children").toStdString());
    pid_t child;
    while (file >> child) children.insert(child);
  }
  return children;
}

// Gone, or ended and waiting for its new parent to collect it.
bool hasEnded(pid_t pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  if (!stat) return true;
  std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
  const auto close = text.rfind(')');
  return close != std::string::npos && close + 2 < text.size() && text[close + 2] == 'Z';
}

// Every live process whose environment names this token file.
std::set<pid_t> processesUsingTokenFile(const QString& tokenFile) {
  std::set<pid_t> found;
  const QByteArray needle = "ZELVAN_TOKEN_FILE=" + tokenFile.toUtf8();
  for (const QString& entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
    bool numeric = false;
    const pid_t pid = entry.toInt(&numeric);
    if (!numeric || hasEnded(pid)) continue;
    QFile environ(QStringLiteral("/proc/%1/environ").arg(pid));
    if (!environ.open(QIODevice::ReadOnly)) continue;
    if (environ.readAll().split('\0').contains(needle)) found.insert(pid);
  }
  return found;
}

class DesktopSession : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    static int argc = 1;
    static char name[] = "installed_companion_test";
    static char* argv[] = {name, nullptr};
    static QApplication app(argc, argv);
  }

  void SetUp() override {
    const char* prefix = std::getenv(kPrefixVariable);
    ASSERT_NE(prefix, nullptr) << "run through InstalledCompanion.RunsOnAPrivateDesktop";
    program_ = QString::fromUtf8(prefix) + QStringLiteral("/bin/ZelvanMac");
    ASSERT_TRUE(home_.isValid());

    // A stand-in Resolve whose runtime is plain python3, registered through a
    // desktop entry in the user's applications folder.
    const QString bundle = home_.filePath(QStringLiteral("Apps/DaVinci Resolve.app"));
    ASSERT_TRUE(QDir().mkpath(bundle + QStringLiteral("/Contents/Applications")));
    writeFile(bundle + QStringLiteral("/Contents/Applications/ResolvePython"),
              "#!/bin/sh\nexec python3 \"$@\"\n", true);
    ASSERT_TRUE(QDir().mkpath(home_.filePath(QStringLiteral(".local/share/applications"))));
    writeFile(home_.filePath(QStringLiteral(
                  ".local/share/applications/com.blackmagic-design.DaVinciResolve.desktop")),
              "[Desktop Entry]\nType=Application\nName=DaVinci Resolve\nPath=" + bundle.toUtf8() +
                  "\nExec=/bin/true\n",
              false);
    folder_ = home_.filePath(QStringLiteral(".local/share/Zelvan"));
  }

  void TearDown() override {
    if (companion_.state() != QProcess::NotRunning) {
      companion_.kill();
      companion_.waitForFinished();
    }
    for (pid_t pid : processesUsingTokenFile(tokenFile())) kill(pid, SIGKILL);
  }

  static void writeFile(const QString& path, const QByteArray& content, bool executable) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(content);
    file.close();
    if (executable) file.setPermissions(file.permissions() | QFile::ExeOwner | QFile::ExeUser);
  }

  QString tokenFile() const { return folder_ + QStringLiteral("/.pairing-token"); }

  void startCompanion() {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("HOME"), home_.path());
    env.remove(QStringLiteral("XDG_DATA_HOME"));
    env.remove(QStringLiteral("XDG_CONFIG_HOME"));
    env.remove(QStringLiteral("XDG_DATA_DIRS"));
    env.remove(kPrefixVariable);
    // The mDNS stand-in lives on the session bus; the companion asks it there.
    env.insert(QStringLiteral("DBUS_SYSTEM_BUS_ADDRESS"),
               env.value(QStringLiteral("DBUS_SESSION_BUS_ADDRESS")));
    companion_.setProcessEnvironment(env);
    companion_.setProgram(program_);
    companion_.start();
    ASSERT_TRUE(companion_.waitForStarted()) << companion_.errorString().toStdString();
  }

  // Waits for the bridge child and the two files it writes; returns its id.
  pid_t waitForBridge() {
    pid_t bridge = 0;
    const bool up = waitUntil([&] {
      const auto children = childrenOf(static_cast<pid_t>(companion_.processId()));
      if (children.size() != 1) return false;
      bridge = *children.begin();
      return !readTrimmed(tokenFile()).isEmpty() &&
             readTrimmed(folder_ + QStringLiteral("/bridge-fingerprint")).size() == 64;
    });
    EXPECT_TRUE(up) << "the bridge did not start; companion said: "
                    << companion_.readAllStandardError().toStdString();
    return up ? bridge : 0;
  }

  // Sends `signalNumber` to the companion and checks that it and its bridge
  // end and that nothing starts the bridge again.
  void terminateWith(int signalNumber, pid_t bridge) {
    ASSERT_EQ(kill(static_cast<pid_t>(companion_.processId()), signalNumber), 0);
    ASSERT_TRUE(companion_.waitForFinished(static_cast<int>(
        std::chrono::duration_cast<std::chrono::milliseconds>(kPatience).count())));
    EXPECT_EQ(companion_.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(companion_.exitCode(), 0);
    EXPECT_TRUE(waitUntil([&] { return hasEnded(bridge); })) << "the bridge still runs";
    // A restart would come 3 seconds after the bridge's end; give it longer.
    QThread::sleep(4);
    EXPECT_TRUE(processesUsingTokenFile(tokenFile()).empty()) << "a bridge was started again";
  }

  QTemporaryDir home_;
  QString program_;
  QString folder_;
  QProcess companion_;
};

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

#include "installed_companion_test.moc"
