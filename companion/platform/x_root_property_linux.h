#pragma once

// String properties of an X display's root window, through libxcb: where the
// accessibility bus launcher publishes AT_SPI_BUS and where a Qt 5 program
// looks for it as it starts. Knows nothing of the companion, so that any
// program can read with it.
//
// Each call opens its own connection and closes it again. A display that
// does not greet or answer within kWaitLimit counts as unreachable, so no
// call holds its caller longer than that.

#include <chrono>
#include <optional>
#include <string>

namespace trovemark::x11 {

// Long enough for a compositor to start XWayland on demand.
inline constexpr std::chrono::seconds kWaitLimit{3};

// The text of the property `name` on the root window of the default screen
// of `display` (a DISPLAY value such as ":0"), when it is an 8-bit STRING as
// the launcher writes it. None when the display cannot be reached or the
// property is absent or of another kind.
std::optional<std::string> readRootProperty(const std::string& display, const std::string& name);

enum class Publication { kWritten, kAlreadyThere, kFailed };

// Sets the property to `value`, an 8-bit STRING as the launcher writes it,
// only when the root window has no property of that name, whatever its kind;
// the check and the write are one step for every other client.
Publication publishRootProperty(const std::string& display, const std::string& name,
                                const std::string& value);

// Deletes the property only while it holds exactly `value`; true when it did.
bool withdrawRootProperty(const std::string& display, const std::string& name,
                          const std::string& value);

}  // namespace trovemark::x11
