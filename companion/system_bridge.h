#pragma once

// The controller over the real adapters of this platform. The caller owns the
// main thread and the clipboard and hands them in.

#include <memory>

#include "companion/bridge_controller.h"

namespace trovemark::companion {

std::shared_ptr<BridgeController> makeSystemBridgeController(
    std::shared_ptr<MainThreadExecutor> executor, std::shared_ptr<Pasteboard> pasteboard);

}  // namespace trovemark::companion
