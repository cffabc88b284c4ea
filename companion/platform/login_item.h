#pragma once

// The companion's start at login, as a port. Abstract because the desktop
// keeps the registration, and tests need every status and every failure.

#include <optional>
#include <string>

namespace trovemark::companion {

class LoginItem {
 public:
  // Status values; any other value counts as neither registered nor enabled.
  static constexpr int kNotRegistered = 0;
  static constexpr int kEnabled = 1;

  virtual ~LoginItem() = default;
  // The registration as the desktop sees it now.
  virtual int status() = 0;
  // Make the companion start at login, or stop doing so. Each returns none on
  // success and a readable description on failure.
  virtual std::optional<std::string> registerItem() = 0;
  virtual std::optional<std::string> unregisterItem() = 0;
};

}  // namespace trovemark::companion
