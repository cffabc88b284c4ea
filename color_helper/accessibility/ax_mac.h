#pragma once

// The macOS accessibility interface (ApplicationServices) behind the helper's
// port.
//
// Every read is a round trip to the application, so a read of more than one
// of a node's attributes asks for all four (role, description, value,
// children) in one AXUIElementCopyMultipleAttributeValues call; only where
// the application does not implement that call are the attributes asked for
// read one by one. Every object obtained under the Create or Copy rule is
// released exactly once, and a handle keeps its element retained for as long
// as it lives.
//
// Every call to the application waits at most the process's messaging
// timeout, set to kCallDeadline by setUpProcess(). The time calls wait is
// charged to the request's WaitBudget; a call that waited the timeout out
// and could not complete means the application did not answer, and it then
// counts as not answering for the rest of the request, as on Linux.

#include <chrono>
#include <string>
#include <vector>

#include "color_helper/accessibility/accessibility.h"

namespace trovemark::ax::mac {

// The process identifiers of the running instances of an application, in the
// order NSRunningApplication lists them. Objective-C on a Mac
// (running_applications_mac.mm).
std::vector<ProcessId> runningProcessIds(const std::string& bundleIdentifier);

// A call that fails with kAXErrorCannotComplete after waiting at least this
// long ran into the messaging timeout: the application did not answer. Nine
// tenths of the timeout, because the system keeps the timeout in its own
// units and times the wait on its own clock, while an ordinary failure comes
// back within milliseconds.
inline constexpr std::chrono::milliseconds kTimedOut = kCallDeadline * 9 / 10;

class Accessibility final : public ax::Accessibility {
 public:
  // Times every call to the application on `clock`.
  explicit Accessibility(Clock& clock, Clock::Duration waitBudget = kRequestWaitBudget)
      : clock_(clock), budget_(waitBudget) {}

  bool isProcessTrusted() override;
  std::vector<ProcessId> runningApplications(const Application& application) override;
  std::string registeredName(ProcessId pid) override;
  ElementRef applicationElement(ProcessId pid) override;
  Reading read(const ElementRef& element, Attributes attributes) override;
  bool setValue(const ElementRef& element, double value) override;
  bool press(const ElementRef& element) override;
  bool sameElement(const ElementRef& a, const ElementRef& b) override;

 private:
  Clock& clock_;
  WaitBudget budget_;
  // The last listing: its application's identifier and the instances found.
  std::string listedIdentifier_;
  std::vector<ProcessId> listed_;
};

}  // namespace trovemark::ax::mac
