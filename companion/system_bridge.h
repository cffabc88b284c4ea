#pragma once

// The controller over the real adapters of this platform. The caller owns the
// main thread and the clipboard and hands them in.

#include <memory>

#include "companion/bridge_controller.h"

namespace trovemark::companion {

std::shared_ptr<BridgeController> makeSystemBridgeController(
    std::shared_ptr<MainThreadExecutor> executor, std::shared_ptr<Pasteboard> pasteboard);

// Takes back what the real adapters put on the desktop only for as long as
// the companion runs (on Linux, the accessibility bus address that keyboard
// control published). For the way out, once the event loop has ended: the
// controller, and with it its adapters, is never released.
void releaseSystemDesktop();

}  // namespace trovemark::companion
