#include "standin/standin_main.h"

#include <sys/socket.h>
#include <unistd.h>

#include <clocale>
#include <csignal>
#include <cstddef>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include <QAccessible>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusReply>
#include <QDBusVariant>
#include <QGuiApplication>
#include <QSocketNotifier>
#include <QTimer>

#include "standin/accessible_tree.h"
#include "standin/operation_log.h"

namespace trovemark::standin {

namespace {

constexpr const char* kUsage = "usage: resolve-standin SCENE.json [--application N] [--log FILE]";
// How long the accessibility bridge may take to come up before the stand-in
// gives up: far beyond its usual few milliseconds, for loaded machines.
constexpr int kBridgeTimeoutMs = 20000;

struct Arguments {
  std::filesystem::path scene;
  std::size_t application = 0;
  std::optional<std::filesystem::path> log;
};

int fail(const std::string& message, int status = 1) {
  std::fprintf(stderr, "resolve-standin: %s\n", message.c_str());
  return status;
}

std::optional<std::size_t> parseIndex(std::string_view text) {
  if (text.empty() || text.size() > 9) return std::nullopt;
  std::size_t value = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + static_cast<std::size_t>(c - '0');
  }
  return value;
}

// Nullopt, after printing why, when the arguments are not usable.
std::optional<Arguments> parseArguments(int argc, char** argv) {
  Arguments arguments;
  bool haveScene = false;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "--application" || arg == "--log") {
      if (i + 1 >= argc) {
        fail(std::string(arg) + " needs a value\n" + kUsage);
        return std::nullopt;
      }
      const std::string_view value = argv[++i];
      if (arg == "--log") {
        arguments.log = std::filesystem::path(value);
      } else if (const std::optional<std::size_t> index = parseIndex(value)) {
        arguments.application = *index;
      } else {
        fail("--application needs a whole number, not \"" + std::string(value) + "\"");
        return std::nullopt;
      }
    } else if (!arg.empty() && arg[0] == '-') {
      fail("unknown option " + std::string(arg) + "\n" + kUsage);
      return std::nullopt;
    } else if (haveScene) {
      fail(std::string("only one scene file, please\n") + kUsage);
      return std::nullopt;
    } else {
      arguments.scene = std::filesystem::path(arg);
      haveScene = true;
    }
  }
  if (!haveScene) {
    fail(kUsage);
    return std::nullopt;
  }
  return arguments;
}

// Whether Qt's bridge will come up: it decides once, at start, from the same
// switches (the session's accessibility status, or Qt's own overrides).
bool accessibilityExpected() {
  if (qEnvironmentVariableIsSet("QT_LINUX_ACCESSIBILITY_ALWAYS_ON") ||
      qEnvironmentVariableIsSet("AT_SPI_BUS_ADDRESS")) {
    return true;
  }
  QDBusConnection bus = QDBusConnection::sessionBus();
  if (!bus.isConnected()) return false;
  // Plain calls: a QDBusInterface would introspect the bus first and leave
  // what it learnt in a cache that Qt never frees.
  for (const char* property : {"IsEnabled", "ScreenReaderEnabled"}) {
    QDBusMessage get = QDBusMessage::createMethodCall("org.a11y.Bus", "/org/a11y/bus",
                                                      "org.freedesktop.DBus.Properties", "Get");
    get << QStringLiteral("org.a11y.Status") << QString::fromLatin1(property);
    const QDBusReply<QDBusVariant> reply = bus.call(get);
    if (reply.isValid() && reply.value().variant().toBool()) return true;
  }
  return false;
}

int signalPipe[2] = {-1, -1};

void onTerminationSignal(int) {
  const char byte = 1;
  [[maybe_unused]] const ssize_t written = ::write(signalPipe[1], &byte, 1);
}

// Quits the application on SIGTERM or SIGINT. The handler only writes to a
// socket; the quit itself happens on the event loop.
std::unique_ptr<QSocketNotifier> quitOnTermination() {
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, signalPipe) != 0) return nullptr;
  auto notifier = std::make_unique<QSocketNotifier>(signalPipe[0], QSocketNotifier::Read);
  QObject::connect(notifier.get(), &QSocketNotifier::activated, qApp,
                   [] { QCoreApplication::quit(); });
  struct sigaction action {};
  action.sa_handler = onTerminationSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  sigaction(SIGTERM, &action, nullptr);
  sigaction(SIGINT, &action, nullptr);
  return notifier;
}

void announceReady() {
  std::fputs("ready\n", stdout);
  std::fflush(stdout);
}

}  // namespace

int runStandin(int argc, char** argv) {
  const std::optional<Arguments> arguments = parseArguments(argc, argv);
  if (!arguments) return 2;

  ax::SystemClock clock;
  std::unique_ptr<scene::SceneModel> model;
  try {
    model = scene::SceneModel::load(arguments->scene, clock);
  } catch (const scene::SceneError& error) {
    return fail(error.what());
  }
  if (arguments->application >= model->applicationCount()) {
    return fail("the scene " + arguments->scene.string() + " has " +
                std::to_string(model->applicationCount()) +
                " application(s); there is no application " +
                std::to_string(arguments->application));
  }
  std::unique_ptr<OperationLog> log;
  if (arguments->log) {
    try {
      log = std::make_unique<OperationLog>(*arguments->log);
    } catch (const std::exception& error) {
      return fail(error.what());
    }
  }

  // Qt's accessibility bridge only comes up on the X11 platform.
  if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "xcb");
  installAccessibleFactory();
  int qtArgc = 1;
  char* qtArgv[] = {argv[0], nullptr};
  QGuiApplication app(qtArgc, qtArgv);
  // Qt has set the user's locale; readouts are printf-formatted and must show
  // "." as the decimal point, as Resolve's do.
  std::setlocale(LC_NUMERIC, "C");
  QGuiApplication::setApplicationName("DaVinci Resolve");
  QGuiApplication::setQuitOnLastWindowClosed(false);

  AccessibleTree tree(*model, arguments->application, clock, log.get());
  tree.start();
  const std::unique_ptr<QSocketNotifier> termination = quitOnTermination();
  if (!termination) return fail("cannot watch for SIGTERM");

  int status = 0;
  if (accessibilityExpected()) {
    // Ready once the bridge is active: it registers the application with the
    // desktop in the same step, so the tree can then be read.
    auto* poll = new QTimer(&app);
    QTimer::singleShot(kBridgeTimeoutMs, &app, [&status] {
      if (QAccessible::isActive()) return;
      fail("the accessibility bridge did not come up");
      status = 1;
      QCoreApplication::quit();
    });
    QObject::connect(poll, &QTimer::timeout, &app, [poll] {
      if (!QAccessible::isActive()) return;
      poll->stop();
      announceReady();
    });
    poll->start(5);
  } else {
    // Nothing will read the tree; the windows are all there is to wait for.
    QTimer::singleShot(0, &app, announceReady);
  }
  const int loop = app.exec();
  return status != 0 ? status : loop;
}

}  // namespace trovemark::standin
