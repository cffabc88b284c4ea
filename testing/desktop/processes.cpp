#include "testing/desktop/processes.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>

extern char** environ;

namespace trovemark::testing {

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

[[noreturn]] void failed(const std::string& what, int error) {
  throw std::runtime_error(what + ": " + std::strerror(error));
}

// Starts `argv` with standard input from /dev/null and the other two streams
// on the given descriptors, which are closed here.
pid_t spawn(const std::vector<std::string>& argv, int out, int err) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, out, 1);
  posix_spawn_file_actions_adddup2(&actions, err, 2);
  pid_t pid = -1;
  auto args = cArgs(argv);
  const int spawned = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(out);
  close(err);
  if (spawned != 0) failed("cannot run " + argv.at(0), spawned);
  return pid;
}

std::string procFile(const std::string& pid, const char* name) {
  std::ifstream in("/proc/" + pid + "/" + name, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

int waitFor(pid_t pid) {
  int raw = 0;
  while (waitpid(pid, &raw, 0) < 0 && errno == EINTR) {
  }
  return decodeStatus(raw);
}

}  // namespace

ProgramResult runProgram(const std::vector<std::string>& argv, std::chrono::milliseconds timeout) {
  int out[2], err[2];
  if (pipe2(out, O_CLOEXEC) != 0) failed("pipe", errno);
  if (pipe2(err, O_CLOEXEC) != 0) {
    close(out[0]);
    close(out[1]);
    failed("pipe", errno);
  }
  pid_t pid = -1;
  try {
    pid = spawn(argv, out[1], err[1]);
  } catch (...) {
    close(out[0]);
    close(err[0]);
    throw;
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
  result.status = waitFor(pid);
  return result;
}

Process::Started Process::launch(const std::vector<std::string>& argv) {
  char errTemplate[] = "/tmp/trovemark-child-err.XXXXXX";
  const int errFd = mkostemp(errTemplate, O_CLOEXEC);
  if (errFd < 0) failed("mkstemp", errno);
  int out[2];
  if (pipe2(out, O_CLOEXEC) != 0) {
    close(errFd);
    unlink(errTemplate);
    failed("pipe", errno);
  }
  pid_t pid = -1;
  try {
    pid = spawn(argv, out[1], errFd);
  } catch (...) {
    close(out[0]);
    unlink(errTemplate);
    throw;
  }
  return {pid, out[0], errTemplate};
}

std::unique_ptr<Process> Process::start(const std::vector<std::string>& argv) {
  return std::unique_ptr<Process>(new Process(launch(argv)));
}

Process::Process(Started started)
    : pid_(started.pid), stdoutFd_(started.stdoutFd), errFile_(std::move(started.errFile)) {}

Process::~Process() {
  stop();
  close(stdoutFd_);
  unlink(errFile_.c_str());
}

std::optional<std::string> Process::readLine(std::chrono::milliseconds timeout) {
  const auto deadline = Clock::now() + timeout;
  for (;;) {
    const std::size_t end = buffered_.find('\n');
    if (end != std::string::npos) {
      std::string line = buffered_.substr(0, end);
      buffered_.erase(0, end + 1);
      return line;
    }
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    pollfd fd{stdoutFd_, POLLIN, 0};
    const int polled = left.count() > 0 ? poll(&fd, 1, static_cast<int>(left.count())) : 0;
    if (polled < 0 && errno == EINTR) continue;
    char chunk[256];
    const ssize_t n = polled > 0 ? read(stdoutFd_, chunk, sizeof chunk) : 0;
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return std::nullopt;
    buffered_.append(chunk, static_cast<std::size_t>(n));
  }
}

std::string Process::errors() const {
  std::ifstream in(errFile_);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

void Process::signal(int number) {
  if (!status_) kill(pid_, number);
}

int Process::stop() {
  if (status_) return *status_;
  kill(pid_, SIGCONT);  // a stopped process would not see SIGTERM
  kill(pid_, SIGTERM);
  // A program that ignores SIGTERM for 10 s is killed.
  for (int i = 0; i < 1000; ++i) {
    int raw = 0;
    const pid_t done = waitpid(pid_, &raw, WNOHANG);
    if (done == pid_) return *(status_ = decodeStatus(raw));
    if (done < 0 && errno != EINTR) break;
    usleep(10000);
  }
  kill(pid_, SIGKILL);
  return *(status_ = waitFor(pid_));
}

int Process::wait() {
  if (!status_) status_ = waitFor(pid_);
  return *status_;
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
  std::unique_ptr<Standin> standin(new Standin(launch(argv)));
  const std::optional<std::string> said = standin->readLine(options.readyTimeout);
  if (said != "ready") {
    standin->stop();
    throw std::runtime_error("resolve-standin did not get ready: " + said.value_or("") +
                             standin->errors());
  }
  return standin;
}

std::set<pid_t> childrenOf(pid_t pid) {
  std::set<pid_t> children;
  const std::string tasks = "/proc/" + std::to_string(pid) + "/task";
  std::error_code error;
  for (const auto& task : std::filesystem::directory_iterator(tasks, error)) {
    std::ifstream file(task.path() / "children");
    for (pid_t child; file >> child;) children.insert(child);
  }
  return children;
}

std::optional<char> processState(pid_t pid) {
  const std::string text = procFile(std::to_string(pid), "stat");
  const auto close = text.rfind(')');
  if (close == std::string::npos || close + 2 >= text.size()) return std::nullopt;
  return text[close + 2];
}

bool hasEnded(pid_t pid) {
  const auto state = processState(pid);
  return !state || *state == 'Z' || *state == 'X';
}

std::set<pid_t> processesWithEnvironment(const std::string& entry) {
  std::set<pid_t> found;
  for (const auto& process : std::filesystem::directory_iterator("/proc")) {
    const std::string name = process.path().filename();
    if (name.find_first_not_of("0123456789") != std::string::npos) continue;
    const pid_t pid = std::stoi(name);
    if (hasEnded(pid)) continue;
    const std::string environment = procFile(name, "environ");
    for (std::size_t at = 0; at < environment.size();) {
      const std::size_t end = std::min(environment.find('\0', at), environment.size());
      if (environment.compare(at, end - at, entry) == 0) found.insert(pid);
      at = end + 1;
    }
  }
  return found;
}

int openDescriptors(pid_t pid) {
  std::error_code error;
  const std::filesystem::directory_iterator fds("/proc/" + std::to_string(pid) + "/fd", error);
  return static_cast<int>(std::distance(fds, std::filesystem::directory_iterator()));
}

long statusField(pid_t pid, const char* name) {
  std::istringstream status(procFile(std::to_string(pid), "status"));
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

}  // namespace trovemark::testing
