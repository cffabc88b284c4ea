#pragma once

// What the companion meets on a desktop, played by us: a panel's tray watcher
// and a panel's view of a registered tray item (over the same D-Bus protocols
// a real panel uses), the Avahi daemon's host name, and a Resolve
// installation. For the companion's soak and its desktop tests.

#include <QDBusConnection>
#include <QDBusMessage>
#include <QObject>
#include <QPoint>
#include <QString>
#include <QStringList>
#include <QThread>
#include <QVariant>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

namespace trovemark::testing {

// Writes a file (parents made), optionally executable by its owner.
void writeFile(const QString& path, const QByteArray& content, bool executable = false);
// A Resolve laid out in `folder` as its Linux installer lays out /opt/resolve:
// `runtime` becomes its bin/ResolvePython, and the installer's desktop entry
// under `dataDir`/applications registers it. Point XDG_DATA_DIRS (or
// XDG_DATA_HOME) at `dataDir`.
void installStandInResolve(const QString& folder, const QString& dataDir,
                           const QByteArray& runtime);

// An object served on a bus under a well-known name, both given up with it,
// so that a later run starts on a bare desktop.
class BusService : public QObject {
 public:
  BusService(QDBusConnection bus, QString path, QString name)
      : bus_(bus), path_(std::move(path)), name_(std::move(name)) {}
  ~BusService() override {
    bus_.unregisterService(name_);
    bus_.unregisterObject(path_);
  }
  bool publish(QDBusConnection::RegisterOptions what) {
    return bus_.registerObject(path_, this, what) && bus_.registerService(name_);
  }

 private:
  QDBusConnection bus_;
  QString path_;
  QString name_;
};

// What a panel offers tray items: they register here, and are then driven
// through their D-Bus menu as a panel would.
class StatusNotifierWatcher : public BusService {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierWatcher")
  Q_PROPERTY(bool IsStatusNotifierHostRegistered MEMBER host_)
  Q_PROPERTY(QStringList RegisteredStatusNotifierItems MEMBER items_)

 public:
  // A watcher whose panel has registered its host, or (`host` false) one
  // that is up before its host, as KDE Plasma's may be at login.
  explicit StatusNotifierWatcher(QDBusConnection bus, bool host = true)
      : BusService(bus, QStringLiteral("/StatusNotifierWatcher"),
                   QStringLiteral("org.kde.StatusNotifierWatcher")),
        host_(host) {}
  bool publish() { return BusService::publish(QDBusConnection::ExportAllContents); }
  QStringList registeredItems() const { return items_; }
  // The panel's host registers, and the watcher says so.
  void registerHost() {
    host_ = true;
    emit StatusNotifierHostRegistered();
  }

 public slots:
  // Items name their service, or an object path on their own connection.
  void RegisterStatusNotifierItem(const QString& serviceOrPath, const QDBusMessage& message) {
    items_.push_back(serviceOrPath.startsWith(QLatin1Char('/'))
                         ? message.service() + serviceOrPath
                         : serviceOrPath + QStringLiteral("/StatusNotifierItem"));
  }

 signals:
  void StatusNotifierHostRegistered();

 private:
  bool host_;
  QStringList items_;  // "service/path"
};

// The Avahi daemon's one call the companion makes (GetHostNameFqdn of
// org.freedesktop.Avahi.Server at "/"), on a bus that the companion is told
// is its system bus. It answers from a thread of its own, so that it answers
// while the caller's thread waits on a call of its own.
class AvahiServer : public BusService {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Avahi.Server")

 public:
  AvahiServer(QDBusConnection bus, QString hostName)
      : BusService(bus, QStringLiteral("/"), QStringLiteral("org.freedesktop.Avahi")),
        hostName_(std::move(hostName)) {
    thread_.start();
    moveToThread(&thread_);
  }
  ~AvahiServer() override {
    thread_.quit();
    thread_.wait();
  }
  bool publish() { return BusService::publish(QDBusConnection::ExportAllSlots); }

 public slots:
  QString GetHostNameFqdn() const { return hostName_; }

 private:
  QString hostName_;
  QThread thread_;
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

// A registered tray item, seen as a panel sees it. Calls let this process
// answer calls meanwhile.
class TrayItem {
 public:
  TrayItem(QDBusConnection bus, const QString& item);

  QVariant property(const QString& name) const;
  // The top level of the menu as a panel shows it, "---" for separators.
  std::vector<QString> labels() const;
  // The labels, delivered to `done` later without blocking this thread.
  void requestLabels(std::function<void(std::vector<QString>)> done) const;
  // Calls `changed` whenever the menu announces a change of its layout or of
  // its entries' properties.
  void watch(std::function<void()> changed);
  bool click(const QString& label) const;
  // A plain click on the item at a screen position.
  void activate(QPoint at) const;

 private:
  QDBusMessage layoutCall() const;
  QString menuPath() const;
  QDBusMessage call(const QString& path, const char* interface, const char* method,
                    const QVariantList& arguments) const;

  QDBusConnection bus_;
  QString service_;
  QString path_;
  mutable QString menuPath_;
  std::shared_ptr<MenuChanges> changes_;
};

}  // namespace trovemark::testing
