#pragma once

// A window as a scene file: what a person sees of Resolve's window through
// the accessibility interface, replayable by the stand-in. Roles,
// descriptions and values as read, the tree as walked, and no effects: a
// capture records what is seen, not what the controls do.

#include <cstddef>
#include <string>

#include "color_helper/accessibility/accessibility.h"

namespace trovemark::diagnosis {

// A person waits for a capture: it may read this many elements by default.
inline constexpr std::size_t kCaptureLimit = 20000;

struct Capture {
  std::string sceneText;     // the scene file's text
  std::size_t elements = 0;  // how many elements it holds
  bool cut = false;          // the window had more than the limit
};

// Reads `window` node by node in pre-order, at most `limit` elements, into
// a scene of one application with that one window, focused.
Capture capture(ax::Accessibility& ax, const ax::ElementRef& window, std::size_t limit);

}  // namespace trovemark::diagnosis
