#pragma once

// How a scene role shows on the desktop. Qt's bridge turns each Qt role into
// its AT-SPI role, and clients map those back, so the table keeps every role
// the Color helper compares on a distinct AT-SPI role.

#include <optional>
#include <string>

#include <QAccessible>

namespace trovemark::standin {

// The Qt role for a scene role; QAccessible::UserRole ("unknown" on the bus)
// for a missing role and for one the table does not know.
QAccessible::Role qtRole(const std::optional<std::string>& sceneRole);

}  // namespace trovemark::standin
