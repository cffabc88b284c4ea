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
#include <utility>

#include "testing/temp_dir.h"

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

int decodeStatus(int raw) { return WIFSIGNALED(raw) ? 128 + WTERMSIG(raw) : WEXITSTATUS(raw); }

[[noreturn]] void failed(const std::string& what, int error) {
  throw std::runtime_error(what + ": " + std::strerror(error));
}

std::string procFile(pid_t pid, const char* name) {
  return readFile("/proc/" + std::to_string(pid) + "/" + name);
}

}  // namespace

std::ostream& operator<<(std::ostream& os, const ProgramResult& result) {
  return os << "status " << result.status << ", out \"" << result.out << "\", err \"" << result.err
            << "\"";
}

ProgramResult runProgram(const std::vector<std::string>& argv, std::chrono::milliseconds timeout) {
  const auto process = Process::start(argv);
  std::string out = process->readAll(timeout);
  const int status = process->wait();
  return {status, std::move(out), process->errors()};
}

// Standard input from /dev/null, standard output to a pipe, standard error to
// a temporary file.
Process::Process(const std::vector<std::string>& argv) {
  char errTemplate[] = "/tmp/trovemark-child-err.XXXXXX";
  const int errFd = mkostemp(errTemplate, O_CLOEXEC);
  if (errFd < 0) failed("mkstemp", errno);
  errFile_ = errTemplate;
  int out[2];
  if (pipe2(out, O_CLOEXEC) != 0) {
    close(errFd);
    unlink(errTemplate);
    failed("pipe", errno);
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, out[1], 1);
  posix_spawn_file_actions_adddup2(&actions, errFd, 2);
  auto args = cArgs(argv);
  const int spawned = posix_spawnp(&pid_, args[0], &actions, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(out[1]);
  close(errFd);
  stdoutFd_ = out[0];
  if (spawned != 0) {
    close(stdoutFd_);
    unlink(errTemplate);
    failed("cannot run " + argv.at(0), spawned);
  }
}

std::unique_ptr<Process> Process::start(const std::vector<std::string>& argv) {
  return std::unique_ptr<Process>(new Process(argv));
}

Process::~Process() {
  stop();
  close(stdoutFd_);
  unlink(errFile_.c_str());
}

bool Process::fill(Clock::time_point deadline) {
  for (;;) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
    pollfd fd{stdoutFd_, POLLIN, 0};
    const int polled = left.count() > 0 ? poll(&fd, 1, static_cast<int>(left.count())) : 0;
    char chunk[4096];
    const ssize_t n = polled > 0 ? read(stdoutFd_, chunk, sizeof chunk) : polled;
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    buffered_.append(chunk, static_cast<std::size_t>(n));
    return true;
  }
}

std::optional<std::string> Process::readLine(std::chrono::milliseconds timeout) {
  const auto deadline = Clock::now() + timeout;
  std::size_t end;
  while ((end = buffered_.find('\n')) == std::string::npos) {
    if (!fill(deadline)) return std::nullopt;
  }
  std::string line = buffered_.substr(0, end);
  buffered_.erase(0, end + 1);
  return line;
}

std::string Process::readAll(std::chrono::milliseconds timeout) {
  const auto deadline = Clock::now() + timeout;
  while (fill(deadline)) {
  }
  if (Clock::now() >= deadline) signal(SIGKILL);
  return std::exchange(buffered_, {});
}

std::string Process::errors() const { return readFile(errFile_); }

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
  return wait();
}

int Process::wait() {
  int raw = 0;
  while (!status_) {
    if (waitpid(pid_, &raw, 0) == pid_ || errno != EINTR) status_ = decodeStatus(raw);
  }
  return *status_;
}

std::unique_ptr<Standin> Standin::start(const std::vector<std::string>& argv,
                                        std::chrono::milliseconds readyTimeout) {
  std::unique_ptr<Standin> standin(new Standin(argv));
  const std::optional<std::string> said = standin->readLine(readyTimeout);
  if (said != "ready") {
    standin->stop();
    throw std::runtime_error(argv.at(0) + " did not get ready: " + said.value_or("") +
                             standin->errors());
  }
  return standin;
}

std::set<pid_t> childrenOf(pid_t pid) {
  std::set<pid_t> children;
  std::error_code error;
  for (const auto& task :
       std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/task", error)) {
    std::ifstream file(task.path() / "children");
    for (pid_t child; file >> child;) children.insert(child);
  }
  return children;
}

std::optional<char> processState(pid_t pid) {
  const std::string text = procFile(pid, "stat");
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
    std::istringstream environment(procFile(pid, "environ"));
    for (std::string variable; std::getline(environment, variable, '\0');) {
      if (variable == entry && !hasEnded(pid)) found.insert(pid);
    }
  }
  return found;
}

bool setAccessibilitySwitch(bool on) {
  return runProgram({"dbus-send", "--session", "--print-reply", "--dest=org.a11y.Bus",
                     "/org/a11y/bus", "org.freedesktop.DBus.Properties.Set",
                     "string:org.a11y.Status", "string:IsEnabled",
                     on ? "variant:boolean:true" : "variant:boolean:false"})
             .status == 0;
}

void reexecInsideDesktop(const std::string& withDesktop, int argc, char** argv) {
  if (std::getenv("TROVEMARK_DESKTOP") != nullptr) return;
  std::vector<std::string> args{withDesktop, std::filesystem::read_symlink("/proc/self/exe")};
  args.insert(args.end(), argv + std::min(argc, 1), argv + argc);
  auto c = cArgs(args);
  execv(c[0], c.data());
  failed("cannot run " + withDesktop, errno);
}

}  // namespace trovemark::testing
