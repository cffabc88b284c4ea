#pragma once

// What the Color helper would meet on this desktop, in the order it meets it:
// the desktop's accessibility, Resolve's processes, the window, the Color
// page's landmarks and palettes, and a verdict. Nothing is pressed or set:
// every step reads, through the same port and the same Color logic the helper
// uses.

#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "color_helper/accessibility/accessibility.h"
#include "companion/platform/applications.h"

namespace trovemark::diagnosis {

// One running Resolve process, as the companion's locator lists it.
using ResolveProcess = companion::RunningInstance;

// What the diagnosis needs of the desktop beyond the accessibility port, as
// a port: each platform answers it its own way (desktop_<platform>.cpp).
class Desktop {
 public:
  virtual ~Desktop() = default;
  // The desktop's accessibility as lines for a person, before any
  // application is asked: on Linux the session's switch, whether the
  // accessibility bus answers and whether the X display carries
  // AT_SPI_BUS; on macOS whether this process is trusted.
  virtual std::vector<std::string> accessibilityFacts() = 0;
  // What to do when the helper's accessibility check fails.
  virtual std::string trustRemedy() = 0;
  // Resolve's running processes, reachable or not.
  virtual std::vector<ResolveProcess> resolveProcesses() = 0;
  // How applications are reached for accessibility here ("the
  // accessibility bus").
  virtual std::string reachedThrough() = 0;
  // Why a Resolve process that runs may be missing from the accessibility
  // bus, and what to do about it.
  virtual std::string absentFromBusRemedy() = 0;
};

// How far the diagnosis got.
struct Diagnosis {
  // Both sections' palettes cut cleanly out of the window as it stands.
  bool bothWorkable = false;
  // The window the helper would use; null when a step before it failed.
  ax::ElementRef window;
};

// Walks at most this many elements to count them and find the landmarks.
inline constexpr std::size_t kDiagnosisLimit = 20000;

// Writes one line per finding to `out` and stops at the first step that
// fails; the last line is the verdict ("Verdict: ...").
Diagnosis diagnose(ax::Accessibility& ax, Desktop& desktop, std::ostream& out);

}  // namespace trovemark::diagnosis
