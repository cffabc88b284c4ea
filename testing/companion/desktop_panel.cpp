#include "testing/companion/desktop_panel.h"

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusVariant>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QThread>

namespace trovemark::testing {

namespace {

// A label as a panel shows it: "__" is one "_", any other "_" marks an
// access key and is not shown.
QString shown(const QString& label) {
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

// The top level of a GetLayout reply: (id, label as shown), "---" for
// separators.
std::vector<std::pair<int, QString>> parseLayout(const QDBusMessage& reply) {
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
    const bool separator = properties.value(QStringLiteral("type")) == QStringLiteral("separator");
    const QString label = shown(properties.value(QStringLiteral("label")).toString());
    entries.emplace_back(id, separator ? QStringLiteral("---") : label);
  }
  // Each open level holds a reader of the reply; closing frees them.
  layout.endArray();
  layout.endStructure();
  return entries;
}

// A call whose answer may need this thread: the panel's own objects live
// here, and the companion calls them. Qt 6.4's QDBus::BlockWithGui was seen
// to wait for good on an answer that had come (the companion answered the
// same call from outside at once), so this waits on the pending call itself,
// which libdbus ends with an error after `timeout` at the latest.
QDBusMessage callRunningEvents(const QDBusConnection& bus, const QDBusMessage& message) {
  constexpr int kTimeoutMs = 10000;
  QDBusPendingCall pending = bus.asyncCall(message, kTimeoutMs);
  while (!pending.isFinished()) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    QThread::msleep(1);
  }
  return pending.reply();
}

std::vector<QString> labelsOf(const std::vector<std::pair<int, QString>>& entries) {
  std::vector<QString> shown;
  for (const auto& [id, label] : entries) shown.push_back(label);
  return shown;
}

}  // namespace

void writeFile(const QString& path, const QByteArray& content, bool executable) {
  QDir().mkpath(QFileInfo(path).absolutePath());
  QFile file(path);
  if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) return;
  file.write(content);
  file.close();
  if (executable) file.setPermissions(file.permissions() | QFile::ExeOwner | QFile::ExeUser);
}

void installStandInResolve(const QString& folder, const QString& dataDir,
                           const QByteArray& runtime) {
  writeFile(folder + QStringLiteral("/bin/resolve"), "#!/bin/sh\n", true);
  writeFile(folder + QStringLiteral("/bin/ResolvePython"), runtime, true);
  writeFile(dataDir + QStringLiteral("/applications/com.blackmagicdesign.resolve.desktop"),
            "[Desktop Entry]\nType=Application\nName=DaVinci Resolve\nExec=\"" + folder.toUtf8() +
                "/bin/resolve\" %u\n");
}

TrayItem::TrayItem(QDBusConnection bus, const QString& item)
    : bus_(bus),
      service_(item.section(QLatin1Char('/'), 0, 0)),
      path_(QLatin1Char('/') + item.section(QLatin1Char('/'), 1)) {}

QVariant TrayItem::property(const QString& name) const {
  const QDBusMessage reply = call(path_, "org.freedesktop.DBus.Properties", "Get",
                                  {QStringLiteral("org.kde.StatusNotifierItem"), name});
  if (reply.arguments().isEmpty()) return {};
  return reply.arguments().first().value<QDBusVariant>().variant();
}

std::vector<QString> TrayItem::labels() const {
  return labelsOf(parseLayout(callRunningEvents(bus_, layoutCall())));
}

void TrayItem::requestLabels(std::function<void(std::vector<QString>)> done) const {
  auto* watcher = new QDBusPendingCallWatcher(bus_.asyncCall(layoutCall()));
  QObject::connect(watcher, &QDBusPendingCallWatcher::finished, watcher,
                   [done = std::move(done)](QDBusPendingCallWatcher* reply) {
                     reply->deleteLater();
                     done(labelsOf(parseLayout(reply->reply())));
                   });
}

void TrayItem::watch(std::function<void()> changed) {
  changes_ = std::make_shared<MenuChanges>(std::move(changed));
  const QString menu = menuPath();
  for (const char* name : {"LayoutUpdated", "ItemsPropertiesUpdated"}) {
    bus_.connect(service_, menu, QStringLiteral("com.canonical.dbusmenu"),
                 QString::fromLatin1(name), changes_.get(), SLOT(onChange()));
  }
}

bool TrayItem::click(const QString& label) const {
  for (const auto& [id, shown] : parseLayout(callRunningEvents(bus_, layoutCall()))) {
    if (shown != label) continue;
    return call(menuPath(), "com.canonical.dbusmenu", "Event",
                {id, QStringLiteral("clicked"), QVariant::fromValue(QDBusVariant(0)), 0u})
               .type() == QDBusMessage::ReplyMessage;
  }
  return false;
}

void TrayItem::activate(QPoint at) const {
  call(path_, "org.kde.StatusNotifierItem", "Activate", {at.x(), at.y()});
}

QDBusMessage TrayItem::layoutCall() const {
  QDBusMessage message = QDBusMessage::createMethodCall(
      service_, menuPath(), QStringLiteral("com.canonical.dbusmenu"), QStringLiteral("GetLayout"));
  message.setArguments({0, -1, QStringList()});
  return message;
}

// An item keeps its menu's path; asking once keeps later reads to one call.
QString TrayItem::menuPath() const {
  if (menuPath_.isEmpty()) {
    menuPath_ = property(QStringLiteral("Menu")).value<QDBusObjectPath>().path();
  }
  return menuPath_;
}

QDBusMessage TrayItem::call(const QString& path, const char* interface, const char* method,
                            const QVariantList& arguments) const {
  QDBusMessage message = QDBusMessage::createMethodCall(
      service_, path, QString::fromLatin1(interface), QString::fromLatin1(method));
  message.setArguments(arguments);
  return callRunningEvents(bus_, message);
}

}  // namespace trovemark::testing
