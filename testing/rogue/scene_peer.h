#pragma once

// A scene answered as an application on the accessibility bus answers: the
// protocol's replies to the calls the helper makes, built from any port (the
// in-process scene). The reply fuzzer hands them, or something else, straight
// to the helper's D-Bus client; the bent tree test hands them over as they
// are, from a tree bent as a hostile peer may bend it.

#include <dbus/dbus.h>

#include <cstdint>
#include <functional>
#include <string>
#include <unordered_map>
#include <vector>

#include "color_helper/accessibility/accessibility.h"
#include "color_helper/accessibility/dbus_linux.h"

namespace trovemark::testing {

class ScenePeer {
 public:
  static constexpr const char* kRootPath = "/org/a11y/atspi/accessible/root";

  // Serves the first running application of `scene` under the bus name `name`.
  ScenePeer(ax::Accessibility& scene, std::string name);

  // The reply to a method call; an UnknownMethod error for anything the
  // helper never asks.
  ax::dbus::Message answer(DBusMessage* call);
  // The reply of the whole desktop: the bus daemon, the accessibility bus
  // with its switch on, the registry listing this one application, and the
  // application (answer()).
  ax::dbus::Message answerAsDesktop(DBusMessage* call);

  // The children of the object at `path` (an application's are its windows).
  // Paths the scene does not know answer as empty, enabled panels.
  std::vector<std::string> children(const std::string& path);
  // Called on every child list before it is sent, to bend the tree.
  std::function<void(const std::string& path, std::vector<std::string>& children)> editChildren;

 private:
  std::string pathOf(const ax::ElementRef& element);
  ax::ElementRef elementAt(const std::string& path) const;
  std::uint32_t role(const ax::ElementRef& element);
  std::uint32_t state(const ax::ElementRef& element);
  ax::Value value(const ax::ElementRef& element);

  ax::Accessibility& scene_;
  std::string name_;
  ax::ElementRef application_;
  std::vector<ax::ElementRef> elements_;
  std::unordered_map<const ax::ElementHandle*, std::size_t> indices_;
};

}  // namespace trovemark::testing
