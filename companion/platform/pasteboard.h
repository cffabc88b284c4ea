#pragma once

// The desktop's clipboard, as a port: the pairing link leaves the companion
// through it. Abstract so that the tray application supplies the toolkit's
// clipboard and tests a recording fake.

#include <string>

namespace trovemark::companion {

class Pasteboard {
 public:
  virtual ~Pasteboard() = default;
  // Drops everything the clipboard holds, in every format.
  virtual void clearContents() = 0;
  // Puts `text` (UTF-8) on the clipboard as plain text. Failures are not
  // reported: the caller has nothing better to do than carry on.
  virtual void writeText(const std::string& text) = 0;
};

}  // namespace trovemark::companion
