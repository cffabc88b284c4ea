#pragma once

// The companion's start at login, as a port. Abstract because the desktop
// keeps the registration, and tests need every status and every failure.

#include <optional>
#include <string>

namespace trovemark::companion {

class LoginItem {
 public:
  // The registration as a desktop reports it. Only "enabled" and "not
  // registered" lead anywhere; every other status counts as neither.
  enum class Status {
    kNotRegistered,
    kEnabled,
    // macOS: the user has yet to allow it in System Settings.
    kRequiresApproval,
    // macOS: ServiceManagement cannot find the login item.
    kNotFound,
    // Linux: the desktop's settings switched the entry off.
    kSwitchedOff,
    // Linux: the entry is there but cannot be read.
    kUnreadable,
  };

  virtual ~LoginItem() = default;
  // The registration as the desktop sees it now.
  virtual Status status() = 0;
  // Make the companion start at login, or stop doing so. Each returns none on
  // success and a readable description on failure.
  virtual std::optional<std::string> registerItem() = 0;
  virtual std::optional<std::string> unregisterItem() = 0;
};

}  // namespace trovemark::companion
