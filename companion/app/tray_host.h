#pragma once

// Whether the desktop has a place for the tray item now, as a port. A Linux
// session may have no tray at all (GNOME shows none without an extension),
// or start its panel after the companion; Qt asks once, when the first tray
// item is made, and keeps that answer for the life of the process. So the
// application asks here, makes its tray item only once a host is there, and
// shows its menu as a window meanwhile. macOS always has its menu bar.

#include <functional>
#include <memory>

namespace trovemark::companion::app {

class TrayHost {
 public:
  virtual ~TrayHost() = default;
  // Whether a host is there, as last learnt; never waits.
  virtual bool available() const = 0;
  // From now on, `changed` runs on the UI thread whenever available() may
  // have changed; never inside this call.
  virtual void onChange(std::function<void()> changed) = 0;
};

// This platform's (tray_host_<platform>.cpp). Needs a QApplication.
std::unique_ptr<TrayHost> makeTrayHost();

}  // namespace trovemark::companion::app
