// The menu bar is always there on macOS.

#include "companion/app/tray_host.h"

namespace trovemark::companion::app {
namespace {

class MenuBar final : public TrayHost {
 public:
  bool available() const override { return true; }
  void onChange(std::function<void()>) override {}
};

}  // namespace

std::unique_ptr<TrayHost> makeTrayHost() { return std::make_unique<MenuBar>(); }

}  // namespace trovemark::companion::app
