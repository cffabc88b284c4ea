#pragma once

// Running the stand-in Resolve and the helper as child processes, for the
// benchmark, the end-to-end tests and the demo.

#include <sys/types.h>

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace trovemark::bench {

// What a finished program left behind.
struct ProgramResult {
  int status = -1;  // exit status, or 128 + signal
  std::string out;
  std::string err;
};

// Runs `argv` to its end with empty standard input; kills it after `timeout`.
ProgramResult runProgram(const std::vector<std::string>& argv,
                         std::chrono::milliseconds timeout = std::chrono::seconds(60));

struct StandinOptions {
  std::string program;             // path of resolve-standin
  std::string scene;               // scene file
  std::optional<int> application;  // --application N
  std::optional<std::string> log;  // --log FILE
  std::chrono::milliseconds readyTimeout{std::chrono::seconds(30)};
};

// One running stand-in, from its "ready" line until SIGTERM.
class Standin {
 public:
  // Starts it and waits for "ready". Throws std::runtime_error, with what the
  // stand-in said, when it does not get there.
  static std::unique_ptr<Standin> start(const StandinOptions& options);
  ~Standin();
  Standin(const Standin&) = delete;
  Standin& operator=(const Standin&) = delete;

  pid_t pid() const { return pid_; }
  // Sends a signal (SIGSTOP, SIGCONT, SIGKILL, ...) to the stand-in.
  void signal(int number);
  // Ends it with SIGTERM and waits; its exit status, or 128 + signal.
  int stop();

 private:
  Standin(pid_t pid, int stdoutFd, std::string errFile);
  pid_t pid_;
  int stdoutFd_;
  std::string errFile_;
  std::optional<int> status_;
};

// Inside a private desktop (scripts/with-desktop)?
bool insideDesktop();

// Unless already inside a private desktop, replaces this process with
// `withDesktop argv...`; returns only when nothing needed to be done.
// Throws std::runtime_error when the script cannot be started.
void reexecInsideDesktop(const std::string& withDesktop, int argc, char** argv);

// The directory holding the running executable.
std::string executableDir();

}  // namespace trovemark::bench
