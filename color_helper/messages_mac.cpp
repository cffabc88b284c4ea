// On macOS the user trusts the helper itself in System Settings.

#include "color_helper/messages.h"

namespace trovemark::color::messages {

const PlatformMessages& platformMessages() { return kMacMessages; }

}  // namespace trovemark::color::messages
