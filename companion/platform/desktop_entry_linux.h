#pragma once

// The parts of the freedesktop.org desktop entry format that the companion
// reads (application registrations) and writes (its autostart entry).

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace trovemark::companion::desktop_entry {

// The keys of the "[Desktop Entry]" group, values as written (still escaped).
// Comments, blank lines and other groups are skipped; a later duplicate key
// does not replace the first.
std::map<std::string, std::string> mainGroup(std::string_view text);

// String values: "\s", "\n", "\t", "\r" and "\\" escapes.
std::string escapeString(std::string_view value);
// None for an unknown escape or a lone trailing backslash.
std::optional<std::string> unescapeString(std::string_view value);

// One argument of an Exec line, quoted when it holds a reserved character,
// with literal "%" doubled. The result is still to be string-escaped.
std::string quoteExecArgument(std::string_view argument);
// The arguments of an unescaped Exec value, quotes removed and "%%" turned
// back into "%". Field codes (%f, %u, …) are dropped. None when quoting is
// broken.
std::optional<std::vector<std::string>> splitExec(std::string_view value);

}  // namespace trovemark::companion::desktop_entry
