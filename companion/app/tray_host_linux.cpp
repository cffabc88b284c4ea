// Tray hosts on Linux, as Qt's own tray item tells them apart: a
// status-notifier watcher on the session bus that reports a host (KDE Plasma,
// GNOME with an AppIndicator extension), or an XEmbed system tray, the owner
// of the X selection _NET_SYSTEM_TRAY_S<screen>. The bus announces the
// watcher's comings and goings; the X selection's owner is looked at once a
// second, since X announces it only through an extension.

#include <xcb/xcb.h>

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusServiceWatcher>
#include <QDBusVariant>
#include <QGuiApplication>
#include <QTimer>
#include <cstdlib>
#include <string>
#include <vector>

#include "companion/app/tray_host.h"

namespace trovemark::companion::app {
namespace {

const QString kWatcher = QStringLiteral("org.kde.StatusNotifierWatcher");
constexpr int kWatcherTimeoutMs = 1000;
constexpr int kTrayPollMs = 1000;

// Whether the watcher reports a host, as Qt decides it; a watcher that does
// not answer within the bound counts as none.
bool watcherHasHost(QDBusConnection& bus) {
  if (!bus.isConnected() || !bus.interface()->isServiceRegistered(kWatcher)) return false;
  QDBusMessage get = QDBusMessage::createMethodCall(
      kWatcher, QStringLiteral("/StatusNotifierWatcher"),
      QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
  get << kWatcher << QStringLiteral("IsStatusNotifierHostRegistered");
  const QDBusMessage reply = bus.call(get, QDBus::Block, kWatcherTimeoutMs);
  return reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty() &&
         reply.arguments().first().value<QDBusVariant>().variant().toBool();
}

// The tray selection of each screen of the X display, interned once.
std::vector<xcb_atom_t> traySelections(xcb_connection_t* x) {
  std::vector<xcb_atom_t> atoms;
  const int screens = xcb_setup_roots_length(xcb_get_setup(x));
  for (int screen = 0; screen < screens; ++screen) {
    const std::string name = "_NET_SYSTEM_TRAY_S" + std::to_string(screen);
    xcb_intern_atom_reply_t* atom = xcb_intern_atom_reply(
        x, xcb_intern_atom(x, 0, static_cast<std::uint16_t>(name.size()), name.c_str()), nullptr);
    if (atom) atoms.push_back(atom->atom);
    std::free(atom);
  }
  return atoms;
}

class LinuxTrayHost final : public QObject, public TrayHost {
  Q_OBJECT

 public:
  LinuxTrayHost()
      : bus_(QDBusConnection::sessionBus()),
        watcher_(kWatcher, bus_, QDBusServiceWatcher::WatchForOwnerChange) {
    connect(&watcher_, &QDBusServiceWatcher::serviceOwnerChanged, this, &LinuxTrayHost::askWatcher);
    // A panel may take the watcher's name before its host registers (KDE
    // Plasma at login), so the watcher's word on hosts counts too.
    for (const char* change : {"StatusNotifierHostRegistered", "StatusNotifierHostUnregistered"}) {
      bus_.connect(kWatcher, QStringLiteral("/StatusNotifierWatcher"), kWatcher,
                   QString::fromLatin1(change), this, SLOT(askWatcher()));
    }
    notifier_ = watcherHasHost(bus_);
    if (auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>()) {
      x_ = x11->connection();
      selections_ = traySelections(x_);
      xembed_ = xembedOwned();
      connect(&poll_, &QTimer::timeout, this, [this] {
        const bool owned = xembedOwned();
        if (owned == xembed_) return;
        xembed_ = owned;
        announce();
      });
      poll_.start(kTrayPollMs);
    }
  }

  bool available() const override { return notifier_ || xembed_; }
  void onChange(std::function<void()> changed) override { changed_ = std::move(changed); }

 private slots:
  void askWatcher() {
    notifier_ = watcherHasHost(bus_);
    announce();
  }

 private:
  bool xembedOwned() {
    for (const xcb_atom_t selection : selections_) {
      xcb_get_selection_owner_reply_t* owner =
          xcb_get_selection_owner_reply(x_, xcb_get_selection_owner(x_, selection), nullptr);
      const bool owned = owner && owner->owner != XCB_NONE;
      std::free(owner);
      if (owned) return true;
    }
    return false;
  }

  void announce() {
    if (changed_) changed_();
  }

  QDBusConnection bus_;
  QDBusServiceWatcher watcher_;
  QTimer poll_;
  xcb_connection_t* x_ = nullptr;
  std::vector<xcb_atom_t> selections_;
  bool notifier_ = false;
  bool xembed_ = false;
  std::function<void()> changed_;
};

}  // namespace

std::unique_ptr<TrayHost> makeTrayHost() { return std::make_unique<LinuxTrayHost>(); }

}  // namespace trovemark::companion::app

#include "tray_host_linux.moc"
