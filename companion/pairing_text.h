#pragma once

// Text rules of the pairing link: what counts as a readable file's text, how
// its ends are trimmed, how its length is counted, and how the link is written.

#include <cstddef>
#include <string>
#include <string_view>

namespace trovemark::companion {

// Strict UTF-8: no overlong forms, no surrogates, nothing above U+10FFFF, no
// sequence cut short at the end (a half-written file fails here).
bool isValidUtf8(std::string_view text);

// Removes white space and line breaks from both ends: the space separators,
// tab, line feed, vertical tab, form feed, carriage return, U+0085, U+2028 and
// U+2029. Inner characters stay. Expects valid UTF-8.
std::string trimWhitespace(std::string_view text);

// The number of user-perceived characters: a base character together with the
// marks, joiners and modifiers that attach to it counts once. Expects valid
// UTF-8.
std::size_t characterCount(std::string_view text);

// Every byte outside the unreserved set (letters, digits, "-", ".", "_", "~")
// as %XX, so that no value can add, split or change a query item.
std::string percentEncode(std::string_view text);

// "zelvan://pair?host=…&token=…&fingerprint=…", each name and value encoded.
std::string composePairingLink(std::string_view host, std::string_view token,
                               std::string_view fingerprint);

}  // namespace trovemark::companion
