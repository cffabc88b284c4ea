#include "tests/hardening/desktop_probe.h"

#include <unistd.h>

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusVariant>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QThread>
#include <fstream>
#include <sstream>

namespace trovemark::companion::hardening {

namespace {

constexpr auto kMenuInterface = "com.canonical.dbusmenu";

}  // namespace

// Names go with their objects, so a later case starts on a bare desktop.
StatusNotifierWatcher::~StatusNotifierWatcher() {
  bus_.unregisterService(QStringLiteral("org.kde.StatusNotifierWatcher"));
  bus_.unregisterObject(QStringLiteral("/StatusNotifierWatcher"));
}

bool StatusNotifierWatcher::publish() {
  return bus_.registerObject(QStringLiteral("/StatusNotifierWatcher"), this,
                             QDBusConnection::ExportAllContents) &&
         bus_.registerService(QStringLiteral("org.kde.StatusNotifierWatcher"));
}

void StatusNotifierWatcher::RegisterStatusNotifierItem(const QString& serviceOrPath,
                                                       const QDBusMessage& message) {
  items_.push_back(serviceOrPath.startsWith(QLatin1Char('/'))
                       ? message.service() + serviceOrPath
                       : serviceOrPath + QStringLiteral("/StatusNotifierItem"));
  emit StatusNotifierItemRegistered(items_.back());
}

MdnsDaemon::MdnsDaemon(QString hostName)
    : responder_(new MdnsResponder(std::move(hostName))),
      bus_(QDBusConnection::connectToBus(QDBusConnection::SessionBus,
                                         QStringLiteral("trovemark-mdns-stand-in"))) {
  responder_->moveToThread(&thread_);
  QObject::connect(&thread_, &QThread::finished, responder_, &QObject::deleteLater);
  thread_.start();
}

MdnsDaemon::~MdnsDaemon() {
  bus_.unregisterService(QStringLiteral("org.freedesktop.Avahi"));
  bus_.unregisterObject(QStringLiteral("/"));
  QDBusConnection::disconnectFromBus(QStringLiteral("trovemark-mdns-stand-in"));
  thread_.quit();
  thread_.wait();
}

bool MdnsDaemon::publish() {
  return bus_.registerObject(QStringLiteral("/"), responder_, QDBusConnection::ExportAllSlots) &&
         bus_.registerService(QStringLiteral("org.freedesktop.Avahi"));
}

TrayItem::TrayItem(QDBusConnection bus, const QString& item)
    : bus_(bus),
      service_(item.section(QLatin1Char('/'), 0, 0)),
      path_(QLatin1Char('/') + item.section(QLatin1Char('/'), 1)) {
  menuPath_ = property(QStringLiteral("Menu")).value<QDBusObjectPath>().path();
}

QDBusMessage TrayItem::call(const QString& path, const char* interface, const char* method,
                            const QVariantList& arguments) const {
  QDBusMessage message = QDBusMessage::createMethodCall(
      service_, path, QString::fromLatin1(interface), QString::fromLatin1(method));
  message.setArguments(arguments);
  return bus_.call(message, QDBus::BlockWithGui, 10000);
}

QVariant TrayItem::property(const QString& name) const {
  const QDBusMessage reply = call(path_, "org.freedesktop.DBus.Properties", "Get",
                                  {QStringLiteral("org.kde.StatusNotifierItem"), name});
  if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) return {};
  return reply.arguments().first().value<QDBusVariant>().variant();
}

std::vector<std::pair<int, QString>> TrayItem::parseLayout(const QDBusMessage& reply) {
  std::vector<std::pair<int, QString>> found;
  if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().size() < 2) return found;
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
    const bool divider = properties.value(QStringLiteral("type")) == QStringLiteral("separator");
    // The protocol marks a mnemonic with "_"; Qt puts one only where a title
    // has "&", and none has, so a label is read as it is (a path's "_" too).
    found.emplace_back(
        id, divider ? QStringLiteral("---") : properties.value(QStringLiteral("label")).toString());
  }
  layout.endArray();
  layout.endStructure();
  return found;
}

QDBusMessage TrayItem::layoutCall() const {
  QDBusMessage message = QDBusMessage::createMethodCall(
      service_, menuPath_, QString::fromLatin1(kMenuInterface), QStringLiteral("GetLayout"));
  message.setArguments({0, -1, QStringList()});
  return message;
}

std::vector<std::pair<int, QString>> TrayItem::entries() const {
  if (menuPath_.isEmpty()) return {};
  return parseLayout(bus_.call(layoutCall(), QDBus::BlockWithGui, 10000));
}

void TrayItem::requestLabels(std::function<void(std::vector<QString>)> done) const {
  auto* watcher = new QDBusPendingCallWatcher(bus_.asyncCall(layoutCall(), 10000));
  QObject::connect(watcher, &QDBusPendingCallWatcher::finished, watcher,
                   [done = std::move(done)](QDBusPendingCallWatcher* call) {
                     std::vector<QString> shown;
                     for (const auto& [id, label] : parseLayout(call->reply())) {
                       shown.push_back(label);
                     }
                     call->deleteLater();
                     done(std::move(shown));
                   });
}

std::vector<QString> TrayItem::labels() const {
  std::vector<QString> shown;
  for (const auto& [id, label] : entries()) shown.push_back(label);
  return shown;
}

bool TrayItem::click(const QString& label) const {
  for (const auto& [id, shown] : entries()) {
    if (shown != label) continue;
    const QDBusMessage reply =
        call(menuPath_, kMenuInterface, "Event",
             {id, QStringLiteral("clicked"), QVariant::fromValue(QDBusVariant(0)),
              static_cast<uint>(QDateTime::currentSecsSinceEpoch())});
    return reply.type() == QDBusMessage::ReplyMessage;
  }
  return false;
}

void TrayItem::watch(std::function<void()> changed) {
  changed_ = std::move(changed);
  for (const char* name : {"LayoutUpdated", "ItemsPropertiesUpdated"}) {
    bus_.connect(service_, menuPath_, QString::fromLatin1(kMenuInterface),
                 QString::fromLatin1(name), this, SLOT(onMenuSignal()));
  }
}

void TrayItem::onMenuSignal() {
  if (changed_) changed_();
}

bool waitUntil(const std::function<bool()>& done, int limitMs) {
  QElapsedTimer timer;
  timer.start();
  while (!done()) {
    if (timer.elapsed() > limitMs) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    QThread::msleep(10);
  }
  return true;
}

void writeFile(const QString& path, const QByteArray& content, bool executable) {
  QDir().mkpath(QFileInfo(path).absolutePath());
  QFile file(path);
  if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) return;
  file.write(content);
  file.close();
  if (executable) file.setPermissions(file.permissions() | QFile::ExeOwner | QFile::ExeUser);
}

void installStandInResolve(const QString& bundle, const QString& dataDir,
                           const QByteArray& runtime) {
  writeFile(bundle + QStringLiteral("/Contents/Applications/ResolvePython"), runtime, true);
  writeFile(dataDir + QStringLiteral("/applications/com.blackmagic-design.DaVinciResolve.desktop"),
            "[Desktop Entry]\nType=Application\nName=DaVinci Resolve\nPath=" + bundle.toUtf8() +
                "\nExec=/bin/true\n");
}

std::optional<char> processState(pid_t pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
  const auto close = text.rfind(')');
  if (close == std::string::npos || close + 2 >= text.size()) return std::nullopt;
  return text[close + 2];
}

bool hasEnded(pid_t pid) {
  const auto state = processState(pid);
  return !state || *state == 'Z' || *state == 'X';
}

std::set<pid_t> childrenOf(pid_t pid) {
  std::set<pid_t> children;
  QDir tasks(QStringLiteral("/proc/%1/task").arg(pid));
  for (const QString& task : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
    std::ifstream file(tasks.filePath(task + QStringLiteral("/children")).toStdString());
    pid_t child;
    while (file >> child) children.insert(child);
  }
  return children;
}

int openDescriptors(pid_t pid) {
  return static_cast<int>(QDir(QStringLiteral("/proc/%1/fd").arg(pid))
                              .entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System)
                              .size());
}

long statusField(pid_t pid, const char* name) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  const std::string prefix = std::string(name) + ":";
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind(prefix, 0) != 0) continue;
    std::istringstream value(line.substr(prefix.size()));
    long number = -1;
    value >> number;
    return number;
  }
  return -1;
}

}  // namespace trovemark::companion::hardening
