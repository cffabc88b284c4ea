#pragma once

// One companion per session, as a port. A second one would run a second
// bridge beside the first, both writing the same pairing files; a second
// start (a second click in the applications menu, or a manual start after
// the one at login) hands over to the running companion instead.

#include <functional>
#include <memory>

namespace trovemark::companion::app {

class SingleInstance {
 public:
  virtual ~SingleInstance() = default;
  // False when another companion runs already: it has been asked to show
  // itself, and this process must end without starting anything. True when
  // this is the session's one companion, or when there is no way to tell.
  virtual bool first() const = 0;
  // From now on, a later start's request to show runs `show` on the UI
  // thread.
  virtual void onShowRequest(std::function<void()> show) = 0;
};

// Claims the session's one companion (single_instance_<platform>.cpp). Needs
// a QApplication; holds the claim while it lives.
std::unique_ptr<SingleInstance> claimSingleInstance();

}  // namespace trovemark::companion::app
