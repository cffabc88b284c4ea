#pragma once

// The macOS accessibility interface (ApplicationServices) behind the helper's
// port.
//
// Every read is a round trip to the application, so a read of more than one
// of a node's attributes asks for all four (role, description, value,
// children) in one AXUIElementCopyMultipleAttributeValues call; when that
// call fails as a whole, the attributes asked for are read one by one, which
// gives the reading single reads give. Every object obtained under the Create or Copy
// rule is released exactly once, and a handle keeps its element retained for
// as long as it lives.

#include <string>
#include <vector>

#include "color_helper/accessibility/accessibility.h"

namespace trovemark::ax::mac {

// The process identifiers of the running instances of an application, in the
// order NSRunningApplication lists them. Objective-C on a Mac
// (running_applications_mac.mm).
std::vector<ProcessId> runningProcessIds(const std::string& bundleIdentifier);

class Accessibility final : public ax::Accessibility {
 public:
  bool isProcessTrusted() override;
  std::vector<ProcessId> runningApplications(const Application& application) override;
  ElementRef applicationElement(ProcessId pid) override;
  Reading read(const ElementRef& element, Attributes attributes) override;
  bool setValue(const ElementRef& element, double value) override;
  bool press(const ElementRef& element) override;
  bool sameElement(const ElementRef& a, const ElementRef& b) override;
};

}  // namespace trovemark::ax::mac
