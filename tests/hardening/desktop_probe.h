#pragma once

// What the hardening checks need to watch the real ZelvanMac on a private
// desktop (scripts/with-desktop): stand-ins for the panel's tray watcher and
// for the mDNS daemon, the tray item's menu as a panel reads and clicks it, a
// stand-in Resolve install, and the process figures read from /proc.

#include <sys/types.h>

#include <QDBusConnection>
#include <QDBusMessage>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QThread>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace trovemark::companion::hardening {

// The panel side of tray items: items register here.
class StatusNotifierWatcher : public QObject {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierWatcher")
  Q_PROPERTY(bool IsStatusNotifierHostRegistered READ isHostRegistered)
  Q_PROPERTY(QStringList RegisteredStatusNotifierItems READ registeredItems)

 public:
  explicit StatusNotifierWatcher(QDBusConnection bus) : bus_(bus) {}
  ~StatusNotifierWatcher() override;
  bool publish();
  bool isHostRegistered() const { return true; }
  QStringList registeredItems() const { return items_; }

 public slots:
  void RegisterStatusNotifierItem(const QString& serviceOrPath, const QDBusMessage& message);

 signals:
  void StatusNotifierItemRegistered(const QString& item);

 private:
  QDBusConnection bus_;
  QStringList items_;  // "service/path"
};

// Names this machine on the local network, as the mDNS daemon would. It
// answers from a thread and a bus connection of its own: the companion waits
// at most a second for the name, and this process's main thread may be
// blocked meanwhile (reading a clipboard that the companion owns, say).
class MdnsResponder : public QObject {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Avahi.Server")

 public:
  explicit MdnsResponder(QString hostName) : hostName_(std::move(hostName)) {}

 public slots:
  QString GetHostNameFqdn() { return hostName_; }

 private:
  QString hostName_;
};

class MdnsDaemon {
 public:
  explicit MdnsDaemon(QString hostName);
  ~MdnsDaemon();
  bool publish();

 private:
  QThread thread_;
  MdnsResponder* responder_;
  QDBusConnection bus_;
};

// A registered tray item seen as a panel sees it. Calls keep this process's
// event loop turning, since the companion may ask the stand-ins above while
// it handles them.
class TrayItem : public QObject {
  Q_OBJECT

 public:
  TrayItem(QDBusConnection bus, const QString& item);

  QVariant property(const QString& name) const;
  // The top level of the menu: labels in order, "---" for dividers; empty
  // when the menu cannot be read.
  std::vector<QString> labels() const;
  // The same, delivered to `done` later without blocking this thread.
  void requestLabels(std::function<void(std::vector<QString>)> done) const;
  // Clicks the first top-level entry with this label.
  bool click(const QString& label) const;
  // Calls `changed` whenever the menu announces a change of its layout or of
  // its entries' properties.
  void watch(std::function<void()> changed);

 private slots:
  void onMenuSignal();

 private:
  QDBusMessage call(const QString& path, const char* interface, const char* method,
                    const QVariantList& arguments) const;
  QDBusMessage layoutCall() const;
  std::vector<std::pair<int, QString>> entries() const;
  static std::vector<std::pair<int, QString>> parseLayout(const QDBusMessage& reply);

  QDBusConnection bus_;
  QString service_;
  QString path_;
  QString menuPath_;
  std::function<void()> changed_;
};

// Waits, with the event loop turning, until `done` holds or `limitMs` passes.
bool waitUntil(const std::function<bool()>& done, int limitMs = 30000);

// Writes a file (parents created), optionally executable by its owner.
void writeFile(const QString& path, const QByteArray& content, bool executable = false);

// A Resolve install outside the home: `runtime` becomes its ResolvePython,
// and a desktop entry under `dataDir`/applications registers it. Point
// XDG_DATA_DIRS at `dataDir`.
void installStandInResolve(const QString& bundle, const QString& dataDir,
                           const QByteArray& runtime);

// --- /proc --------------------------------------------------------------

// The process's state letter ('R', 'S', 'Z', ...), or none once it is gone.
std::optional<char> processState(pid_t pid);
// Gone, or ended and waiting to be collected.
bool hasEnded(pid_t pid);
std::set<pid_t> childrenOf(pid_t pid);
int openDescriptors(pid_t pid);
// A "Name:  value kB" line of /proc/<pid>/status, as a number; -1 if absent.
long statusField(pid_t pid, const char* name);

}  // namespace trovemark::companion::hardening
