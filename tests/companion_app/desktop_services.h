#pragma once

// Stand-ins for the desktop services the installed companion talks to, for
// the end-to-end test: a status-notifier watcher and host (what a desktop's
// panel offers to tray items) and an mDNS daemon that names this machine.
// Each records what it was told, and the test drives the tray item's menu
// through the same D-Bus menu protocol a panel uses.

#include <QDBusConnection>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariantMap>
#include <optional>
#include <vector>

namespace trovemark::companion::testing {

class StatusNotifierWatcher : public QObject {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierWatcher")
  Q_PROPERTY(bool IsStatusNotifierHostRegistered READ isHostRegistered)
  Q_PROPERTY(QStringList RegisteredStatusNotifierItems READ registeredItems)

 public:
  ~StatusNotifierWatcher() override;
  // Takes the watcher's well-known name on `bus`; returns false when taken.
  bool registerOn(QDBusConnection bus);

  bool isHostRegistered() const { return true; }
  QStringList registeredItems() const { return items_; }

 public slots:
  // Items pass their service name, or an object path on their own connection.
  void RegisterStatusNotifierItem(const QString& serviceOrPath, const QDBusMessage& message);

 signals:
  void StatusNotifierItemRegistered(const QString& item);

 private:
  QStringList items_;  // "service/path"
  std::optional<QDBusConnection> bus_;
};

// Answers the host-name question of the mDNS daemon's server interface.
class MdnsDaemon : public QObject {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Avahi.Server")

 public:
  explicit MdnsDaemon(QString hostName) : hostName_(std::move(hostName)) {}
  ~MdnsDaemon() override;
  bool registerOn(QDBusConnection bus);

 public slots:
  QString GetHostNameFqdn() { return hostName_; }

 private:
  QString hostName_;
  std::optional<QDBusConnection> bus_;
};

// One node of a tray item's exported menu.
struct MenuNode {
  int id = 0;
  QVariantMap properties;
  std::vector<MenuNode> children;

  QString label() const;  // mnemonic marks removed
  bool isSeparator() const;
};

// The tray item that registered with the watcher, seen as a panel sees it.
class TrayItem {
 public:
  TrayItem(QDBusConnection bus, QString service, QString path)
      : bus_(std::move(bus)), service_(std::move(service)), path_(std::move(path)) {}

  QVariant property(const QString& name) const;
  // The whole menu, fetched afresh.
  std::optional<MenuNode> menu() const;
  // Clicks the first menu entry with this label; false if there is none.
  bool click(const QString& label) const;
  // A plain click on the item at a screen position.
  void activate(int x, int y) const;

 private:
  QDBusConnection bus_;
  QString service_;
  QString path_;
};

}  // namespace trovemark::companion::testing
