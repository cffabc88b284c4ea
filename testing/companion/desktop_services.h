#pragma once

// Stand-ins for a desktop's services (a panel's tray watcher, the mDNS
// daemon) and a panel's view of a registered tray item, for tests that run
// the installed companion on a private desktop.

#include <sys/types.h>

#include <gtest/gtest.h>
#include <signal.h>

#include <QApplication>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusVariant>
#include <QDir>
#include <QFile>
#include <QObject>
#include <QPoint>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStringList>
#include <QTemporaryDir>
#include <QThread>
#include <QVariant>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

// Readable failure messages for Qt strings.
QT_BEGIN_NAMESPACE
inline void PrintTo(const QString& text, std::ostream* out) {
  *out << '"' << text.toStdString() << '"';
}
QT_END_NAMESPACE

namespace trovemark::companion::testing {

// Generous: these are limits on a shared machine, not speed goals.
inline constexpr std::chrono::milliseconds kPatience = std::chrono::seconds(30);
// Where the outer test installed the build.
inline constexpr const char* kPrefixVariable = "TROVEMARK_E2E_PREFIX";
inline constexpr const char* kHostName = "trovemark-test.local";

// Runs a program to its end; returns its exit code and everything it printed.
std::pair<int, std::string> run(
    const QString& program, const QStringList& arguments,
    const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment());

// Processes Qt events until `done` or the limit.
bool waitUntil(const std::function<bool()>& done, std::chrono::milliseconds limit = kPatience);
QString readTrimmed(const QString& path);
std::set<pid_t> childrenOf(pid_t pid);
// Gone, or ended and waiting for its new parent to collect it.
bool hasEnded(pid_t pid);
// Every live process whose environment names this token file.
std::set<pid_t> processesUsingTokenFile(const QString& tokenFile);
// The process's state letter ('R', 'S', 'Z', ...), or none once it is gone.
std::optional<char> processState(pid_t pid);
int openDescriptors(pid_t pid);
// A "Name:  value kB" line of /proc/<pid>/status, as a number; -1 if absent.
long statusField(pid_t pid, const char* name);

// Writes a file (parents created), optionally executable by its owner.
void writeFile(const QString& path, const QByteArray& content, bool executable = false);
// A Resolve laid out in `folder` as its Linux installer lays out /opt/resolve:
// `runtime` becomes its bin/ResolvePython, and the installer's desktop entry
// under `dataDir`/applications registers it. Point XDG_DATA_DIRS (or
// XDG_DATA_HOME) at `dataDir`.
void installStandInResolve(const QString& folder, const QString& dataDir,
                           const QByteArray& runtime);

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
  explicit MdnsDaemon(QDBusConnection bus, QString hostName = QString::fromLatin1(kHostName))
      : bus_(bus), hostName_(std::move(hostName)) {}
  ~MdnsDaemon() override {
    bus_.unregisterService(QStringLiteral("org.freedesktop.Avahi"));
    bus_.unregisterObject(QStringLiteral("/"));
  }
  bool publish() {
    return bus_.registerObject(QStringLiteral("/"), this, QDBusConnection::ExportAllSlots) &&
           bus_.registerService(QStringLiteral("org.freedesktop.Avahi"));
  }

 public slots:
  QString GetHostNameFqdn() { return hostName_; }

 private:
  QDBusConnection bus_;
  QString hostName_;
};

// The same daemon answering from a thread and a bus connection of its own:
// the companion waits at most a second for the name, and the test's main
// thread may be blocked meanwhile (reading a clipboard the companion owns).
class MdnsDaemonOnItsOwnThread {
 public:
  explicit MdnsDaemonOnItsOwnThread(QString hostName = QString::fromLatin1(kHostName));
  ~MdnsDaemonOnItsOwnThread();
  bool publish();

 private:
  QThread thread_;
  QDBusConnection bus_;
  std::unique_ptr<MdnsDaemon> daemon_;
};

// Relays a menu's change signals to a callback; D-Bus signals need a slot.
class MenuChanges : public QObject {
  Q_OBJECT

 public:
  explicit MenuChanges(std::function<void()> changed) : changed_(std::move(changed)) {}

 public slots:
  void onChange() { changed_(); }

 private:
  std::function<void()> changed_;
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

  // The top level of the menu: (id, label as shown) per entry, "---" for
  // separators.
  std::vector<std::pair<int, QString>> menu() const {
    return parseLayout(bus_.call(layoutCall(), QDBus::BlockWithGui));
  }

  // The labels, delivered to `done` later without blocking this thread.
  void requestLabels(std::function<void(std::vector<QString>)> done) const {
    auto* watcher = new QDBusPendingCallWatcher(bus_.asyncCall(layoutCall()));
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, watcher,
                     [done = std::move(done)](QDBusPendingCallWatcher* reply) {
                       reply->deleteLater();
                       done(labelsOf(parseLayout(reply->reply())));
                     });
  }

  // Calls `changed` whenever the menu announces a change of its layout or of
  // its entries' properties.
  void watch(std::function<void()> changed) {
    changes_ = std::make_shared<MenuChanges>(std::move(changed));
    const QString menu = menuPath();
    for (const char* name : {"LayoutUpdated", "ItemsPropertiesUpdated"}) {
      bus_.connect(service_, menu, QStringLiteral("com.canonical.dbusmenu"),
                   QString::fromLatin1(name), changes_.get(), SLOT(onChange()));
    }
  }

  std::vector<QString> labels() const { return labelsOf(menu()); }

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
  QDBusMessage layoutCall() const {
    QDBusMessage message = QDBusMessage::createMethodCall(service_, menuPath(),
                                                          QStringLiteral("com.canonical.dbusmenu"),
                                                          QStringLiteral("GetLayout"));
    message.setArguments({0, -1, QStringList()});
    return message;
  }

  // A label as a panel shows it: "__" is one "_", any other "_" marks an
  // access key and is not shown.
  static QString shown(const QString& label) {
    QString text;
    for (qsizetype i = 0; i < label.size(); ++i) {
      if (label[i] != QLatin1Char('_')) {
        text += label[i];
      } else if (i + 1 < label.size() && label[i + 1] == QLatin1Char('_')) {
        text += label[++i];
      }
    }
    return text;
  }

  // The top level of a GetLayout reply: (id, label), "---" for separators.
  static std::vector<std::pair<int, QString>> parseLayout(const QDBusMessage& reply) {
    std::vector<std::pair<int, QString>> entries;
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
      const QString label = shown(properties.value(QStringLiteral("label")).toString());
      entries.emplace_back(id, separator ? QStringLiteral("---") : label);
    }
    // Each open level holds a reader of the reply; closing frees them.
    layout.endArray();
    layout.endStructure();
    return entries;
  }

  static std::vector<QString> labelsOf(const std::vector<std::pair<int, QString>>& entries) {
    std::vector<QString> shown;
    for (const auto& [id, label] : entries) shown.push_back(label);
    return shown;
  }

  // An item keeps its menu's path; asking once keeps later reads to one call.
  QString menuPath() const {
    if (menuPath_.isEmpty()) {
      menuPath_ = property(QStringLiteral("Menu")).value<QDBusObjectPath>().path();
    }
    return menuPath_;
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
  mutable QString menuPath_;
  std::shared_ptr<MenuChanges> changes_;
};

// The installed program in a temporary home with a stand-in Resolve, as the
// cases run inside scripts/with-desktop see it.
class InstalledCompanionSession : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    static int argc = 1;
    static char name[] = "companion_desktop_session";
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
    installStandInResolve(home_.filePath(QStringLiteral("opt/resolve")),
                          home_.filePath(QStringLiteral(".local/share")),
                          "#!/bin/sh\nexec python3 \"$@\"\n");
    folder_ = home_.filePath(QStringLiteral(".local/share/Zelvan"));
  }

  void TearDown() override {
    if (companion_.state() != QProcess::NotRunning) {
      companion_.kill();
      companion_.waitForFinished();
    }
    for (pid_t pid : processesUsingTokenFile(tokenFile())) kill(pid, SIGKILL);
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
    ASSERT_TRUE(companion_.waitForFinished(static_cast<int>(kPatience.count())));
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

}  // namespace trovemark::companion::testing
