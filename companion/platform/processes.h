#pragma once

// Child processes, as a port: how the bridge script is started, watched and
// asked to stop. Abstract so that the controller's supervision can be driven
// by a scripted fake in tests and by real processes on each platform.

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <variant>
#include <vector>

namespace trovemark::companion {

// One launched child. The handle is its identity: two reports about the same
// child carry the same handle object.
class ChildProcess {
 public:
  virtual ~ChildProcess() = default;
  // True until the child's end has been observed.
  virtual bool isRunning() const = 0;
  // Sends the terminate request (SIGTERM) and returns at once. Does nothing
  // for a child that has ended, and nothing on a second call.
  virtual void terminate() = 0;
  // After this returns the child's end is not reported any more (a report
  // already under way may still arrive).
  virtual void clearTerminationHandler() = 0;
};

// Called once, on a thread of the platform's choosing, with the child that ended.
using TerminationHandler = std::function<void(const std::shared_ptr<ChildProcess>&)>;

struct LaunchRequest {
  std::string executable;                          // absolute path, run directly (no shell)
  std::vector<std::string> arguments;              // after the program name, which is `executable`
  std::map<std::string, std::string> environment;  // the child's whole environment
};

// A launched child, or the platform's readable description of why not.
using LaunchResult = std::variant<std::shared_ptr<ChildProcess>, std::string>;

class ProcessLauncher {
 public:
  virtual ~ProcessLauncher() = default;
  // Starts the child with exactly the request's executable, arguments and
  // environment; standard output and error go to the null device, standard
  // input and the working directory are inherited, and no other descriptor of
  // the caller reaches the child. `onExit` is installed before the start. Every
  // child is reaped.
  virtual LaunchResult launch(const LaunchRequest& request, TerminationHandler onExit) = 0;
};

}  // namespace trovemark::companion
