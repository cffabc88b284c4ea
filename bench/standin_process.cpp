#include "bench/standin_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>

extern char** environ;

namespace trovemark::bench {

namespace {

using Clock = std::chrono::steady_clock;

std::vector<char*> cArgs(const std::vector<std::string>& argv) {
  std::vector<char*> out;
  for (const auto& a : argv) out.push_back(const_cast<char*>(a.c_str()));
  out.push_back(nullptr);
  return out;
}

int decodeStatus(int raw) {
  if (WIFEXITED(raw)) return WEXITSTATUS(raw);
  if (WIFSIGNALED(raw)) return 128 + WTERMSIG(raw);
  return -1;
}

std::string readFile(const std::string& path) {
  std::ifstream in(path);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

}  // namespace

ProgramResult runProgram(const std::vector<std::string>& argv, std::chrono::milliseconds timeout) {
  int out[2], err[2];
  if (pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0) {
    throw std::runtime_error("pipe: " + std::string(std::strerror(errno)));
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, out[1], 1);
  posix_spawn_file_actions_adddup2(&actions, err[1], 2);
  pid_t pid = -1;
  auto args = cArgs(argv);
  const int spawned = posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(out[1]);
  close(err[1]);
  if (spawned != 0) {
    close(out[0]);
    close(err[0]);
    throw std::runtime_error("cannot run " + argv[0] + ": " + std::strerror(spawned));
  }
  ProgramResult result;
  const auto deadline = Clock::now() + timeout;
  pollfd fds[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
  std::string* sinks[2] = {&result.out, &result.err};
  int open = 2;
  bool killed = false;
  while (open > 0) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0 && !killed) {
      kill(pid, SIGKILL);
      killed = true;
    }
    poll(fds, 2, killed ? 1000 : static_cast<int>(left.count()));
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || fds[i].revents == 0) continue;
      char buffer[4096];
      const ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
      if (n > 0) {
        sinks[i]->append(buffer, static_cast<std::size_t>(n));
      } else if (n == 0 || errno != EINTR) {
        close(fds[i].fd);
        fds[i].fd = -1;
        --open;
      }
    }
  }
  int raw = 0;
  while (waitpid(pid, &raw, 0) < 0 && errno == EINTR) {
  }
  result.status = decodeStatus(raw);
  return result;
}

std::unique_ptr<Standin> Standin::start(const StandinOptions& options) {
  std::vector<std::string> argv{options.program, options.scene};
  if (options.application) {
    argv.push_back("--application");
    argv.push_back(std::to_string(*options.application));
  }
  if (options.log) {
    argv.push_back("--log");
    argv.push_back(*options.log);
  }
  char errTemplate[] = "/tmp/trovemark-standin-err.XXXXXX";
  const int errFd = mkstemp(errTemplate);
  if (errFd < 0) throw std::runtime_error("mkstemp: " + std::string(std::strerror(errno)));
  int out[2];
  if (pipe2(out, O_CLOEXEC) != 0) {
    close(errFd);
    throw std::runtime_error("pipe: " + std::string(std::strerror(errno)));
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, out[1], 1);
  posix_spawn_file_actions_adddup2(&actions, errFd, 2);
  pid_t pid = -1;
  auto args = cArgs(argv);
  const int spawned = posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(out[1]);
  close(errFd);
  if (spawned != 0) {
    close(out[0]);
    unlink(errTemplate);
    throw std::runtime_error("cannot run " + options.program + ": " + std::strerror(spawned));
  }
  // From here the destructor stops it, whatever happens next.
  std::unique_ptr<Standin> standin(new Standin(pid, out[0], errTemplate));
  std::string said;
  const auto deadline = Clock::now() + options.readyTimeout;
  while (said.find("ready\n") == std::string::npos) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    pollfd fd{out[0], POLLIN, 0};
    const int polled = left.count() > 0 ? poll(&fd, 1, static_cast<int>(left.count())) : 0;
    if (polled < 0 && errno == EINTR) continue;
    char buffer[256];
    const ssize_t n = polled > 0 ? read(out[0], buffer, sizeof buffer) : 0;
    if (n <= 0) {
      standin->stop();
      throw std::runtime_error("resolve-standin did not get ready: " + said +
                               readFile(standin->errFile_));
    }
    said.append(buffer, static_cast<std::size_t>(n));
  }
  return standin;
}

Standin::Standin(pid_t pid, int stdoutFd, std::string errFile)
    : pid_(pid), stdoutFd_(stdoutFd), errFile_(std::move(errFile)) {}

Standin::~Standin() {
  stop();
  close(stdoutFd_);
  unlink(errFile_.c_str());
}

void Standin::signal(int number) {
  if (!status_) kill(pid_, number);
}

int Standin::stop() {
  if (status_) return *status_;
  kill(pid_, SIGCONT);  // a stopped process would not see SIGTERM
  kill(pid_, SIGTERM);
  int raw = 0;
  // A stand-in that ignores SIGTERM for 10 s is killed.
  for (int i = 0; i < 1000; ++i) {
    const pid_t done = waitpid(pid_, &raw, WNOHANG);
    if (done == pid_) {
      status_ = decodeStatus(raw);
      return *status_;
    }
    if (done < 0 && errno != EINTR) break;
    usleep(10000);
  }
  kill(pid_, SIGKILL);
  while (waitpid(pid_, &raw, 0) < 0 && errno == EINTR) {
  }
  status_ = decodeStatus(raw);
  return *status_;
}

bool insideDesktop() { return std::getenv("TROVEMARK_DESKTOP") != nullptr; }

void reexecInsideDesktop(const std::string& withDesktop, int argc, char** argv) {
  if (insideDesktop()) return;
  std::vector<std::string> args{withDesktop};
  char self[4096];
  const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
  args.push_back(n > 0 ? std::string(self, static_cast<std::size_t>(n))
                       : std::string(argc > 0 ? argv[0] : ""));
  for (int i = 1; i < argc; ++i) args.push_back(argv[i]);
  auto c = cArgs(args);
  execv(c[0], c.data());
  throw std::runtime_error("cannot run " + withDesktop + ": " + std::strerror(errno));
}

std::string executableDir() {
  char path[4096];
  const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
  if (n <= 0) return ".";
  std::string self(path, static_cast<std::size_t>(n));
  return self.substr(0, self.rfind('/'));
}

}  // namespace trovemark::bench
