// Child processes on Linux: posix_spawn without a shell, one watcher thread per
// child that waits for its end, reports it once and reaps it.

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/types.h>
#include <sys/wait.h>

#include <cerrno>
#include <cstring>
#include <mutex>
#include <thread>

#include "companion/platform/adapters_linux.h"

namespace trovemark::companion::linux_adapters {
namespace {

class LinuxChild final : public ChildProcess, public std::enable_shared_from_this<LinuxChild> {
 public:
  LinuxChild(pid_t pid, TerminationHandler onExit) : pid_(pid), onExit_(std::move(onExit)) {}

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

  // Runs on the watcher thread: waits for the end without reaping, marks it,
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

// Owns the C structures posix_spawn needs, freed on every path.
struct SpawnSetup {
  posix_spawn_file_actions_t actions;
  posix_spawnattr_t attributes;
  SpawnSetup() {
    posix_spawn_file_actions_init(&actions);
    posix_spawnattr_init(&attributes);
  }
  ~SpawnSetup() {
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
  }
};

std::string describe(const std::string& executable, int error) {
  return "Could not run " + executable + ": " + std::strerror(error) + ".";
}

class LinuxProcessLauncher final : public ProcessLauncher {
 public:
  LaunchResult launch(const LaunchRequest& request, TerminationHandler onExit) override {
    SpawnSetup setup;
    // Output to the null device, and nothing of ours beyond the three
    // standard streams reaches the child.
    posix_spawn_file_actions_addopen(&setup.actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_adddup2(&setup.actions, STDOUT_FILENO, STDERR_FILENO);
    posix_spawn_file_actions_addclosefrom_np(&setup.actions, STDERR_FILENO + 1);

    // The child starts with no blocked signals and default dispositions,
    // whatever the companion's own signal handling.
    sigset_t none;
    sigemptyset(&none);
    sigset_t defaults;
    sigemptyset(&defaults);
    for (int sig = 1; sig < NSIG; ++sig) {
      if (sig != SIGKILL && sig != SIGSTOP) sigaddset(&defaults, sig);
    }
    posix_spawnattr_setsigmask(&setup.attributes, &none);
    posix_spawnattr_setsigdefault(&setup.attributes, &defaults);
    posix_spawnattr_setflags(&setup.attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

    std::vector<std::string> argStrings;
    argStrings.push_back(request.executable);
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

    auto child = std::make_shared<LinuxChild>(pid, std::move(onExit));
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
};

}  // namespace

std::shared_ptr<ProcessLauncher> makeProcessLauncher() {
  return std::make_shared<LinuxProcessLauncher>();
}

}  // namespace trovemark::companion::linux_adapters
