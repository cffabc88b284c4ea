// On Linux the keyboard-control switch of the companion's menu turns the
// desktop's accessibility on.

#include "color_helper/messages.h"

namespace trovemark::color::messages {

const PlatformMessages& platformMessages() { return kLinuxMessages; }

}  // namespace trovemark::color::messages
