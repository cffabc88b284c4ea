#include "testing/companion/desktop_services.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QThread>
#include <fstream>
#include <sstream>

namespace trovemark::companion::testing {

std::pair<int, std::string> run(const QString& program, const QStringList& arguments,
                                const QProcessEnvironment& env) {
  QProcess process;
  process.setProcessEnvironment(env);
  process.setProcessChannelMode(QProcess::MergedChannels);
  process.start(program, arguments);
  process.waitForFinished(-1);
  const int code = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
  return {code, process.readAll().toStdString()};
}

bool waitUntil(const std::function<bool()>& done, std::chrono::milliseconds limit) {
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

bool hasEnded(pid_t pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  if (!stat) return true;
  std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
  const auto close = text.rfind(')');
  return close != std::string::npos && close + 2 < text.size() && text[close + 2] == 'Z';
}

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

std::optional<char> processState(pid_t pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
  const auto close = text.rfind(')');
  if (close == std::string::npos || close + 2 >= text.size()) return std::nullopt;
  return text[close + 2];
}

int openDescriptors(pid_t pid) {
  return static_cast<int>(QDir(QStringLiteral("/proc/%1/fd").arg(pid))
                              .entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System)
                              .size());
}

long statusField(pid_t pid, const char* name) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  const std::string prefix = std::string(name) + ":";
  for (std::string line; std::getline(status, line);) {
    if (line.rfind(prefix, 0) != 0) continue;
    std::istringstream value(line.substr(prefix.size()));
    long number = -1;
    value >> number;
    return number;
  }
  return -1;
}

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

namespace {
constexpr auto kOwnThreadBus = "trovemark-mdns-stand-in";
}  // namespace

MdnsDaemonOnItsOwnThread::MdnsDaemonOnItsOwnThread(QString hostName)
    : bus_(QDBusConnection::connectToBus(QDBusConnection::SessionBus,
                                         QString::fromLatin1(kOwnThreadBus))),
      daemon_(std::make_unique<MdnsDaemon>(bus_, std::move(hostName))) {
  daemon_->moveToThread(&thread_);
  thread_.start();
}

MdnsDaemonOnItsOwnThread::~MdnsDaemonOnItsOwnThread() {
  thread_.quit();
  thread_.wait();
  daemon_.reset();
  QDBusConnection::disconnectFromBus(QString::fromLatin1(kOwnThreadBus));
}

bool MdnsDaemonOnItsOwnThread::publish() { return daemon_->publish(); }

}  // namespace trovemark::companion::testing
