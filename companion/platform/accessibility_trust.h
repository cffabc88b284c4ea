#pragma once

// The desktop's permission for keyboard control, as a port. Abstract because
// each desktop grants it differently and tests need both answers.

namespace trovemark::companion {

class AccessibilityTrust {
 public:
  virtual ~AccessibilityTrust() = default;
  // Whether the companion may drive other applications now. With `prompt`,
  // also asks the desktop to grant it where it is not granted. Never waits
  // for the user.
  virtual bool isTrusted(bool prompt) = 0;
};

}  // namespace trovemark::companion
