#pragma once

// The yardstick for reading Resolve's window: the plain way of walking an
// accessibility tree with the desktop's own client library, one synchronous
// call at a time, node by node in pre-order. Per node it reads the role, the
// name, the description, the interfaces, then the checked state of a check
// box, the current value where there is a Value interface, or else the text
// where there is a Text interface, then the child count and each child by
// index. It maps what it reads exactly as the helper's backend does, so the
// two lists can be compared element by element.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "color_helper/accessibility/accessibility.h"

struct _AtspiAccessible;  // libatspi's accessible object

namespace trovemark::testing {

struct ReferenceWalk {
  std::vector<ax::Element> elements;  // handles are ax::atspi::Object
  std::uint64_t calls = 0;            // accessibility calls made
};

class ReferenceWalker {
 public:
  ReferenceWalker();
  ~ReferenceWalker();
  ReferenceWalker(const ReferenceWalker&) = delete;
  ReferenceWalker& operator=(const ReferenceWalker&) = delete;

  // Finds the first running Resolve and its window (the active one, else the
  // first). False when there is none.
  bool findWindow();
  // The window found, as the helper's backend names elements.
  ax::ElementRef window() const;
  // The first `limit` nodes of the pre-order walk from the window.
  ReferenceWalk walk(std::size_t limit);

 private:
  _AtspiAccessible* window_ = nullptr;  // held by a reference
};

}  // namespace trovemark::testing
