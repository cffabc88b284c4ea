#include "companion/platform/processes_posix.h"

#include <signal.h>
#include <sys/types.h>
#include <sys/wait.h>

#include <cerrno>
#include <cstring>
#include <mutex>
#include <system_error>
#include <thread>

namespace trovemark::companion::posix {
namespace {

class WatchedChild final : public ChildProcess, public std::enable_shared_from_this<WatchedChild> {
 public:
  WatchedChild(pid_t pid, TerminationHandler onExit) : pid_(pid), onExit_(std::move(onExit)) {}

  bool isRunning() const override {
    std::lock_guard lock(mutex_);
    return !ended_;
  }

  void terminate() override {
    std::lock_guard lock(mutex_);
    // While `ended_` is false the child has not been reaped, so its pid
    // cannot have been given to another process.
    if (ended_ || terminated_) return;
    terminated_ = true;
    ::kill(pid_, SIGTERM);
  }

  void clearTerminationHandler() override {
    std::lock_guard lock(mutex_);
    onExit_ = nullptr;
  }

  // On the watcher thread: waits for the end without reaping, marks it,
  // reaps, then reports outside the lock.
  void watch() {
    siginfo_t info{};
    while (::waitid(P_PID, static_cast<id_t>(pid_), &info, WEXITED | WNOWAIT) != 0 &&
           errno == EINTR) {
    }
    TerminationHandler handler;
    {
      std::lock_guard lock(mutex_);
      ended_ = true;
      while (::waitpid(pid_, nullptr, 0) < 0 && errno == EINTR) {
      }
      handler = std::move(onExit_);
      onExit_ = nullptr;
    }
    if (handler) handler(shared_from_this());
  }

 private:
  const pid_t pid_;
  mutable std::mutex mutex_;
  TerminationHandler onExit_;
  bool ended_ = false;
  bool terminated_ = false;
};

std::string describe(const std::string& executable, int error) {
  return "Could not run " + executable + ": " + std::strerror(error) + ".";
}

}  // namespace

SpawnSetup::SpawnSetup() {
  posix_spawn_file_actions_init(&actions);
  posix_spawnattr_init(&attributes);
}

SpawnSetup::~SpawnSetup() {
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
}

void resetSignals(posix_spawnattr_t& attributes, short flags) {
  sigset_t none;
  sigemptyset(&none);
  sigset_t defaults;
  sigemptyset(&defaults);
  for (int sig = 1; sig < NSIG; ++sig) {
    if (sig != SIGKILL && sig != SIGSTOP) sigaddset(&defaults, sig);
  }
  posix_spawnattr_setsigmask(&attributes, &none);
  posix_spawnattr_setsigdefault(&attributes, &defaults);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF | flags);
}

LaunchResult spawnWatched(const LaunchRequest& request, TerminationHandler onExit,
                          const SpawnSetup& setup) {
  std::vector<std::string> argStrings{request.executable};
  argStrings.insert(argStrings.end(), request.arguments.begin(), request.arguments.end());
  std::vector<char*> argv;
  for (auto& a : argStrings) argv.push_back(a.data());
  argv.push_back(nullptr);

  std::vector<std::string> envStrings;
  for (const auto& [name, value] : request.environment) envStrings.push_back(name + "=" + value);
  std::vector<char*> envp;
  for (auto& e : envStrings) envp.push_back(e.data());
  envp.push_back(nullptr);

  pid_t pid = 0;
  const int rc = posix_spawn(&pid, request.executable.c_str(), &setup.actions, &setup.attributes,
                             argv.data(), envp.data());
  if (rc != 0) return describe(request.executable, rc);

  auto child = std::make_shared<WatchedChild>(pid, std::move(onExit));
  try {
    std::thread([child] { child->watch(); }).detach();
  } catch (const std::system_error& e) {
    // Unwatched, the child would never be reaped nor restarted: undo it.
    ::kill(pid, SIGKILL);
    while (::waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
    }
    return describe(request.executable, e.code().value());
  }
  return std::shared_ptr<ChildProcess>(child);
}

}  // namespace trovemark::companion::posix
