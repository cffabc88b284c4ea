// One companion per session on Linux: the first owns a well-known name on
// the session bus, and a later start finds it taken, calls the owner's Show
// and ends. The bus hands the name to exactly one of two that start at once,
// and takes it back when its owner ends, however it ends. Without a session
// bus there is nothing to share, and the companion runs alone as before.

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QObject>

#include "companion/app/single_instance.h"

namespace trovemark::companion::app {
namespace {

const QString kName = QStringLiteral("com.trovemark.ZelvanMac");
const QString kPath = QStringLiteral("/com/trovemark/ZelvanMac");
// Long enough for a busy first companion to take the call.
constexpr int kShowTimeoutMs = 5000;

// What the first companion offers a later start.
class ShowRequests : public QObject {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "com.trovemark.ZelvanMac")

 public:
  std::function<void()> show;

 public slots:
  Q_SCRIPTABLE void Show() {
    if (show) show();
  }
};

class SessionBusInstance final : public SingleInstance {
 public:
  SessionBusInstance() {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) return;
    // The object first, so that whoever sees the name finds it.
    bus.registerObject(kPath, &requests_, QDBusConnection::ExportScriptableSlots);
    const auto claimed =
        bus.interface()->registerService(kName, QDBusConnectionInterface::DontQueueService,
                                         QDBusConnectionInterface::DontAllowReplacement);
    if (!claimed.isValid() || claimed.value() == QDBusConnectionInterface::ServiceRegistered) {
      return;
    }
    bus.unregisterObject(kPath);
    first_ = false;
    bus.call(QDBusMessage::createMethodCall(kName, kPath, kName, QStringLiteral("Show")),
             QDBus::Block, kShowTimeoutMs);
  }

  bool first() const override { return first_; }
  void onShowRequest(std::function<void()> show) override { requests_.show = std::move(show); }

 private:
  ShowRequests requests_;
  bool first_ = true;
};

}  // namespace

std::unique_ptr<SingleInstance> claimSingleInstance() {
  return std::make_unique<SessionBusInstance>();
}

}  // namespace trovemark::companion::app

#include "single_instance_linux.moc"
