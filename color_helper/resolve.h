#pragma once

// DaVinci Resolve as the Color helper finds it: the one place that knows how
// each platform names the application. Everything else about Resolve's Color
// page (its labels, roles and counts) lives with the logic that reads it.

#include "color_helper/accessibility/accessibility.h"

namespace trovemark::color {

inline const ax::Application& resolveApplication() {
  static const ax::Application resolve{
      // macOS: the bundle identifier of its running instances.
      "com.blackmagic-design.DaVinciResolve",
      // Linux: the names Resolve's window registers on the accessibility bus
      // (its application name, and its program's name).
      {"DaVinci Resolve", "resolve"}};
  return resolve;
}

}  // namespace trovemark::color
