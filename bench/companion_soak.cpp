// companion-soak: runs the real ZelvanMac against a bridge script that exits
// at once, for a given time, and reports restarts, zombies, descriptors,
// memory and the menu's status texts. Run it inside scripts/with-desktop;
// scripts/soak-companion does that.
//
//   companion-soak --program PATH [--minutes N | --seconds N] [--json FILE]
//
// Exits 0 when the run held: no zombie lasting from one sample to the next,
// descriptors and memory flat after the warm-up, only the two expected texts
// on the status line, and nothing started after quitting.

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <map>
#include <set>

#include "testing/companion/desktop_panel.h"
#include "testing/desktop/processes.h"

namespace trovemark::bench {

// The programs and desktop services it runs come from the tests' support.
using namespace ::trovemark::testing;
namespace {

const QString kRunning = QStringLiteral("Bridge running on this computer");
const QString kRestarting = QString::fromUtf8("Bridge stopped. Restarting\u2026");
const QString kStarting = QString::fromUtf8("Starting bridge\u2026");
// Qt's first timers, fonts and D-Bus connections settle within this.
constexpr qint64 kWarmUpMs = 30000;
// Memory may move by allocator noise; a leak of a few hundred bytes per
// restart shows well above this over ten minutes.
constexpr long kRssToleranceKb = 1024;

// Runs Qt's events until `done` holds or `limit` has passed.
bool waitUntil(const std::function<bool()>& done,
               std::chrono::milliseconds limit = std::chrono::seconds(30)) {
  const QDeadlineTimer deadline(limit);
  while (!done()) {
    if (deadline.hasExpired()) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    QThread::msleep(20);
  }
  return true;
}

struct Sample {
  qint64 atMs = 0;
  int descriptors = 0;
  long rssKb = 0;
  long threads = 0;
  int zombies = 0;
  int starts = 0;

  QJsonObject json() const {
    return {{"at_s", atMs / 1000.0},      {"descriptors", descriptors}, {"rss_kb", qint64(rssKb)},
            {"threads", qint64(threads)}, {"zombies", zombies},         {"starts", starts}};
  }
};

struct Options {
  QString program;
  qint64 durationMs = 10 * 60 * 1000;
  QString json;
};

std::optional<Options> parse(const QStringList& args) {
  Options options;
  for (int i = 1; i < args.size(); ++i) {
    const QString& arg = args[i];
    const bool hasValue = i + 1 < args.size();
    if (arg == QStringLiteral("--program") && hasValue) {
      options.program = args[++i];
    } else if (arg == QStringLiteral("--minutes") && hasValue) {
      options.durationMs = args[++i].toLongLong() * 60 * 1000;
    } else if (arg == QStringLiteral("--seconds") && hasValue) {
      options.durationMs = args[++i].toLongLong() * 1000;
    } else if (arg == QStringLiteral("--json") && hasValue) {
      options.json = args[++i];
    } else {
      return std::nullopt;
    }
  }
  if (options.program.isEmpty() || options.durationMs <= 0) return std::nullopt;
  return options;
}

int openDescriptors(pid_t pid) {
  std::error_code error;
  const std::filesystem::directory_iterator fds("/proc/" + std::to_string(pid) + "/fd", error);
  return static_cast<int>(std::distance(fds, std::filesystem::directory_iterator()));
}

// A "Name:  value kB" line of /proc/<pid>/status, as a number; -1 if absent.
long statusField(pid_t pid, const char* name) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  const std::string prefix = std::string(name) + ":";
  for (std::string line; std::getline(status, line);) {
    if (line.rfind(prefix, 0) == 0) return std::strtol(line.c_str() + prefix.size(), nullptr, 10);
  }
  return -1;
}

int countLines(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return 0;
  return static_cast<int>(file.readAll().count('\n'));
}

int soak(const Options& options) {
  QTemporaryDir root;
  if (!root.isValid()) return 2;
  const QString home = root.filePath(QStringLiteral("home"));
  const QString starts = root.filePath(QStringLiteral("starts"));
  QDir().mkpath(home);
  // A shell script: an interpreter that starts in milliseconds even on a busy
  // machine keeps the restarts about 3 seconds apart.
  writeFile(root.filePath(QStringLiteral("quick_exit_bridge.sh")), "exit 0\n");
  installStandInResolve(root.filePath(QStringLiteral("opt/resolve")),
                        root.filePath(QStringLiteral("data")),
                        "#!/bin/sh\n"
                        "# Notes the start, then runs a bridge script that exits at once.\n"
                        "echo \"$$ $(date +%s.%N)\" >> \"$SOAK_STARTS\"\n"
                        "exec /bin/sh \"$SOAK_BRIDGE\"\n");

  QDBusConnection bus = QDBusConnection::sessionBus();
  StatusNotifierWatcher watcher(bus);
  AvahiServer mdns(bus, QStringLiteral("soak-test.local"));
  if (!bus.isConnected() || !watcher.publish() || !mdns.publish()) {
    std::cerr << "companion-soak: no private session bus; run it inside scripts/with-desktop\n";
    return 2;
  }

  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert(QStringLiteral("HOME"), home);
  env.insert(QStringLiteral("XDG_DATA_DIRS"), root.filePath(QStringLiteral("data")));
  env.remove(QStringLiteral("XDG_DATA_HOME"));
  env.remove(QStringLiteral("XDG_CONFIG_HOME"));
  env.insert(QStringLiteral("DBUS_SYSTEM_BUS_ADDRESS"),
             env.value(QStringLiteral("DBUS_SESSION_BUS_ADDRESS")));
  env.insert(QStringLiteral("SOAK_STARTS"), starts);
  env.insert(QStringLiteral("SOAK_BRIDGE"), root.filePath(QStringLiteral("quick_exit_bridge.sh")));
  QProcess companion;
  companion.setProcessEnvironment(env);
  companion.setStandardOutputFile(root.filePath(QStringLiteral("companion.out")));
  companion.setStandardErrorFile(root.filePath(QStringLiteral("companion.err")));
  companion.start(options.program, {});
  if (!companion.waitForStarted()) {
    std::cerr << "companion-soak: cannot start " << options.program.toStdString() << "\n";
    return 2;
  }
  const pid_t pid = static_cast<pid_t>(companion.processId());

  if (!waitUntil([&] { return !watcher.registeredItems().isEmpty(); })) {
    std::cerr << "companion-soak: the companion registered no tray item\n";
    return 1;
  }
  TrayItem item(bus, watcher.registeredItems().first());

  // The status line as the panel sees it, each change once. One read is in
  // flight at a time, and signals that arrive meanwhile ask for one more, so
  // a burst of updates costs two reads and nothing waits for an answer.
  std::vector<std::pair<qint64, QString>> texts;
  QElapsedTimer clock;
  clock.start();
  bool inFlight = false;
  bool again = false;
  std::function<void()> readStatus = [&] {
    if (inFlight) {
      again = true;
      return;
    }
    inFlight = true;
    item.requestLabels([&](std::vector<QString> labels) {
      inFlight = false;
      if (labels.size() > 1 && (texts.empty() || texts.back().second != labels[1])) {
        texts.emplace_back(clock.elapsed(), labels[1]);
      }
      if (again) {
        again = false;
        readStatus();
      }
    });
  };
  item.watch(readStatus);
  readStatus();

  std::vector<Sample> samples;
  std::set<pid_t> zombiesBefore;
  int lastingZombies = 0;
  int maxZombies = 0;
  auto sample = [&] {
    Sample s;
    s.atMs = clock.elapsed();
    s.descriptors = openDescriptors(pid);
    s.rssKb = statusField(pid, "VmRSS");
    s.threads = statusField(pid, "Threads");
    s.starts = countLines(starts);
    std::set<pid_t> zombies;
    for (pid_t child : childrenOf(pid)) {
      if (processState(child) == 'Z') zombies.insert(child);
    }
    s.zombies = static_cast<int>(zombies.size());
    maxZombies = std::max(maxZombies, s.zombies);
    for (pid_t z : zombies) lastingZombies += zombiesBefore.count(z) ? 1 : 0;
    zombiesBefore = zombies;
    samples.push_back(s);
  };
  sample();
  QTimer sampler;
  QObject::connect(&sampler, &QTimer::timeout, sample);
  sampler.start(1000);
  std::cout << "companion-soak: running for " << options.durationMs / 1000 << " s" << std::endl;
  waitUntil([&] { return clock.elapsed() >= options.durationMs; },
            std::chrono::milliseconds(options.durationMs + 1000));
  sampler.stop();
  sample();
  const Sample first = samples.front();
  const Sample end = samples.back();
  Sample warm = end;
  for (const Sample& s : samples) {
    if (s.atMs >= std::min(kWarmUpMs, options.durationMs / 2)) {
      warm = s;
      break;
    }
  }

  // Quit as a user would, then make sure nothing comes back.
  const bool quitClicked = item.click(QStringLiteral("Quit Trovemark"));
  const bool exited = waitUntil([&] { return companion.state() == QProcess::NotRunning; });
  if (!exited) {
    companion.kill();
    companion.waitForFinished();
  }
  const int startsAtQuit = countLines(starts);
  waitUntil([] { return false; }, std::chrono::seconds(4));
  const int startsAfterQuit = countLines(starts) - startsAtQuit;

  std::map<QString, int> seen;
  int unexpected = 0;
  for (const auto& [at, text] : texts) {
    ++seen[text];
    if (text != kRunning && text != kRestarting && text != kStarting) ++unexpected;
  }
  const int restarts = std::max(0, startsAtQuit - 1);
  const bool descriptorsFlat = end.descriptors <= warm.descriptors;
  const bool memoryFlat = end.rssKb - warm.rssKb <= kRssToleranceKb;
  const bool quitClean = quitClicked && exited && companion.exitStatus() == QProcess::NormalExit &&
                         companion.exitCode() == 0 && startsAfterQuit == 0;
  const bool held = lastingZombies == 0 && descriptorsFlat && memoryFlat && unexpected == 0 &&
                    seen[kRestarting] > 0 && quitClean;

  std::cout << "companion-soak: " << end.atMs / 1000 << " s, " << restarts << " restarts ("
            << startsAtQuit << " starts)\n"
            << "  descriptors: start " << first.descriptors << ", after warm-up "
            << warm.descriptors << ", end " << end.descriptors << "\n"
            << "  RSS kB: start " << first.rssKb << ", after warm-up " << warm.rssKb << ", end "
            << end.rssKb << "\n"
            << "  threads: start " << first.threads << ", after warm-up " << warm.threads
            << ", end " << end.threads << "\n"
            << "  zombies: at most " << maxZombies << " at a sample, " << lastingZombies
            << " lasting from one sample to the next (" << samples.size() << " samples)\n"
            << "  status line changes seen: " << texts.size() << "\n";
  for (const auto& [text, count] : seen) {
    std::cout << "    \"" << text.toStdString() << "\": " << count << "\n";
  }
  std::cout << "  quit: " << (quitClean ? "clean" : "NOT clean") << " (exit "
            << companion.exitCode() << "), starts after quit " << startsAfterQuit << "\n"
            << "companion-soak: " << (held ? "PASS" : "FAIL") << std::endl;

  if (!options.json.isEmpty()) {
    QJsonObject seenJson;
    for (const auto& [text, count] : seen) seenJson[text] = count;
    QJsonArray all;
    for (const Sample& s : samples) all.append(s.json());
    QJsonArray changes;
    for (const auto& [at, text] : texts)
      changes.append(QJsonObject{{"at_s", at / 1000.0}, {"text", text}});
    QJsonObject report{{"seconds", end.atMs / 1000.0},
                       {"restarts", restarts},
                       {"start", first.json()},
                       {"after_warm_up", warm.json()},
                       {"end", end.json()},
                       {"zombies_max_at_a_sample", maxZombies},
                       {"zombies_lasting", lastingZombies},
                       {"status_texts", seenJson},
                       {"starts_after_quit", startsAfterQuit},
                       {"passed", held},
                       {"status_changes", changes},
                       {"samples", all}};
    QFile out(options.json);
    if (out.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
      out.write(QJsonDocument(report).toJson());
    }
  }
  return held ? 0 : 1;
}

}  // namespace
}  // namespace trovemark::bench

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  const auto options = trovemark::bench::parse(QCoreApplication::arguments());
  if (!options) {
    std::cerr << "usage: companion-soak --program PATH [--minutes N | --seconds N] [--json FILE]\n";
    return 2;
  }
  return trovemark::bench::soak(*options);
}
