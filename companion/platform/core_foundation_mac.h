#pragma once

// Ownership of Core Foundation objects for the companion's macOS adapters.

#include <CoreFoundation/CoreFoundation.h>

#include <memory>

namespace trovemark::companion::mac_adapters {

struct Releaser {
  void operator()(const void* object) const {
    if (object != nullptr) CFRelease(object);
  }
};
// One reference owned under the Create or Copy rule, released on every path.
using Owned = std::unique_ptr<const void, Releaser>;

}  // namespace trovemark::companion::mac_adapters
