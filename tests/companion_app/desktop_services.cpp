#include "desktop_services.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QDateTime>

namespace trovemark::companion::testing {

namespace {

constexpr auto kProperties = "org.freedesktop.DBus.Properties";
constexpr auto kItemInterface = "org.kde.StatusNotifierItem";
constexpr auto kMenuInterface = "com.canonical.dbusmenu";

MenuNode readNode(const QDBusArgument& argument) {
  MenuNode node;
  argument.beginStructure();
  argument >> node.id >> node.properties;
  argument.beginArray();
  while (!argument.atEnd()) {
    QDBusVariant child;
    argument >> child;
    node.children.push_back(readNode(child.variant().value<QDBusArgument>()));
  }
  argument.endArray();
  argument.endStructure();
  return node;
}

const MenuNode* find(const MenuNode& node, const QString& label) {
  if (node.label() == label) return &node;
  for (const MenuNode& child : node.children) {
    if (const MenuNode* found = find(child, label)) return found;
  }
  return nullptr;
}

}  // namespace

// Names go with their objects, so a later case starts on a bare desktop.
StatusNotifierWatcher::~StatusNotifierWatcher() {
  if (!bus_) return;
  bus_->unregisterService(QStringLiteral("org.kde.StatusNotifierWatcher"));
  bus_->unregisterObject(QStringLiteral("/StatusNotifierWatcher"));
}

MdnsDaemon::~MdnsDaemon() {
  if (!bus_) return;
  bus_->unregisterService(QStringLiteral("org.freedesktop.Avahi"));
  bus_->unregisterObject(QStringLiteral("/"));
}

bool StatusNotifierWatcher::registerOn(QDBusConnection bus) {
  bus_ = bus;
  return bus.registerObject(QStringLiteral("/StatusNotifierWatcher"), this,
                            QDBusConnection::ExportAllSlots | QDBusConnection::ExportAllSignals |
                                QDBusConnection::ExportAllProperties) &&
         bus.registerService(QStringLiteral("org.kde.StatusNotifierWatcher"));
}

void StatusNotifierWatcher::RegisterStatusNotifierItem(const QString& serviceOrPath,
                                                       const QDBusMessage& message) {
  const QString item = serviceOrPath.startsWith(QLatin1Char('/'))
                           ? message.service() + serviceOrPath
                           : serviceOrPath + QStringLiteral("/StatusNotifierItem");
  items_.push_back(item);
  emit StatusNotifierItemRegistered(item);
}

bool MdnsDaemon::registerOn(QDBusConnection bus) {
  bus_ = bus;
  return bus.registerObject(QStringLiteral("/"), this, QDBusConnection::ExportAllSlots) &&
         bus.registerService(QStringLiteral("org.freedesktop.Avahi"));
}

QString MenuNode::label() const {
  // The menu protocol marks a mnemonic with "_"; none of the titles has one.
  return properties.value(QStringLiteral("label")).toString().remove(QLatin1Char('_'));
}

bool MenuNode::isSeparator() const {
  return properties.value(QStringLiteral("type")).toString() == QStringLiteral("separator");
}

QVariant TrayItem::property(const QString& name) const {
  QDBusMessage call =
      QDBusMessage::createMethodCall(service_, path_, kProperties, QStringLiteral("Get"));
  call << QString::fromLatin1(kItemInterface) << name;
  const QDBusMessage reply = bus_.call(call);
  if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) return {};
  return reply.arguments().first().value<QDBusVariant>().variant();
}

std::optional<MenuNode> TrayItem::menu() const {
  const QString menuPath = property(QStringLiteral("Menu")).value<QDBusObjectPath>().path();
  if (menuPath.isEmpty()) return std::nullopt;
  QDBusMessage call = QDBusMessage::createMethodCall(service_, menuPath, kMenuInterface,
                                                     QStringLiteral("GetLayout"));
  call << 0 << -1 << QStringList();
  const QDBusMessage reply = bus_.call(call);
  if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().size() < 2) {
    return std::nullopt;
  }
  return readNode(reply.arguments().at(1).value<QDBusArgument>());
}

bool TrayItem::click(const QString& label) const {
  const auto root = menu();
  if (!root) return false;
  const MenuNode* node = find(*root, label);
  if (!node) return false;
  const QString menuPath = property(QStringLiteral("Menu")).value<QDBusObjectPath>().path();
  QDBusMessage call =
      QDBusMessage::createMethodCall(service_, menuPath, kMenuInterface, QStringLiteral("Event"));
  call << node->id << QStringLiteral("clicked") << QVariant::fromValue(QDBusVariant(0))
       << static_cast<uint>(QDateTime::currentSecsSinceEpoch());
  return bus_.call(call).type() == QDBusMessage::ReplyMessage;
}

void TrayItem::activate(int x, int y) const {
  QDBusMessage call =
      QDBusMessage::createMethodCall(service_, path_, kItemInterface, QStringLiteral("Activate"));
  call << x << y;
  bus_.call(call);
}

}  // namespace trovemark::companion::testing
