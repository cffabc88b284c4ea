#pragma once

// Programs run as children, for the benchmarks, the demo's tools and the
// tests: one run to its end with its output captured, or one kept running
// (the stand-in Resolve, a private desktop) and read line by line.

#include <sys/types.h>

#include <chrono>
#include <memory>
#include <optional>
#include <ostream>
#include <set>
#include <string>
#include <vector>

namespace trovemark::testing {

// What a finished program left behind.
struct ProgramResult {
  int status = -1;  // exit status, or 128 + signal
  std::string out;
  std::string err;
  bool operator==(const ProgramResult&) const = default;
};
std::ostream& operator<<(std::ostream& os, const ProgramResult& result);

// Runs `argv` (the program looked up in PATH) to its end with empty standard
// input; kills it after `timeout`.
ProgramResult runProgram(const std::vector<std::string>& argv,
                         std::chrono::milliseconds timeout = std::chrono::seconds(60));

// One running program: standard input empty, standard output read line by
// line, standard error kept in a file. Going out of scope stops it.
class Process {
 public:
  // Throws std::runtime_error when the program cannot be started.
  static std::unique_ptr<Process> start(const std::vector<std::string>& argv);
  ~Process();
  Process(const Process&) = delete;
  Process& operator=(const Process&) = delete;

  pid_t pid() const { return pid_; }
  // The next line of standard output; nullopt at its end, or when none comes
  // within `timeout` (a hung program then fails the caller).
  std::optional<std::string> readLine(std::chrono::milliseconds timeout = std::chrono::seconds(60));
  // The rest of standard output, up to its end; after `timeout` the program
  // is killed and what came so far is returned.
  std::string readAll(std::chrono::milliseconds timeout);
  // What it wrote on standard error so far.
  std::string errors() const;
  // Sends a signal (SIGSTOP, SIGCONT, SIGKILL, ...).
  void signal(int number);
  // Ends it with SIGTERM (SIGKILL after 10 s) and waits; its exit status, or
  // 128 + signal.
  int stop();
  // Waits for it to end by itself; its exit status, or 128 + signal.
  int wait();

 protected:
  explicit Process(const std::vector<std::string>& argv);

 private:
  // Adds what standard output has to the buffer; false at its end or once
  // `deadline` has passed.
  bool fill(std::chrono::steady_clock::time_point deadline);

  pid_t pid_ = -1;
  int stdoutFd_ = -1;
  std::string errFile_;
  std::string buffered_;
  std::optional<int> status_;
};

// One running stand-in Resolve, from the line "ready" on (it says so once it
// serves).
class Standin : public Process {
 public:
  // Starts `argv` and waits for "ready". Throws std::runtime_error, with what
  // the program said, when it does not get there.
  static std::unique_ptr<Standin> start(
      const std::vector<std::string>& argv,
      std::chrono::milliseconds readyTimeout = std::chrono::seconds(30));

 private:
  using Process::Process;
};

// A look at processes through /proc.
// The live children of a process.
std::set<pid_t> childrenOf(pid_t pid);
// The process's state letter ('R', 'S', 'Z', ...); none once it is gone.
std::optional<char> processState(pid_t pid);
// Gone, or ended and waiting to be collected.
bool hasEnded(pid_t pid);
// Every live process whose environment holds this "NAME=value" entry.
std::set<pid_t> processesWithEnvironment(const std::string& entry);

// Turns the desktop's accessibility switch (IsEnabled of org.a11y.Status)
// on or off over the session bus, as its settings would; whether it took.
bool setAccessibilitySwitch(bool on);

// Unless already inside a private desktop (scripts/with-desktop), replaces
// this process with `withDesktop argv...`; returns only when nothing needed
// to be done. Throws std::runtime_error when the script cannot be started.
void reexecInsideDesktop(const std::string& withDesktop, int argc, char** argv);

}  // namespace trovemark::testing
