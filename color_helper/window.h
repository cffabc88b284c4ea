#pragma once

#include "color_helper/accessibility/accessibility.h"

namespace trovemark::color {

// The window of the first running Resolve that the request works in: its
// focused window, else the first of its windows. Throws ColorError when
// Resolve is not running or shows no window. Whether the window shows the
// Color page is for the palette switching to find out.
ax::ElementRef currentWindow(ax::Accessibility& ax);

// The same choice, saying which rule made it.
struct WindowChoice {
  ax::ElementRef window;
  bool focused = false;  // else the first of the windows listed
};
WindowChoice chooseWindow(ax::Accessibility& ax);

}  // namespace trovemark::color
