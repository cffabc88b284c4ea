// The text rules under the pairing link: what decodes, what is trimmed, how
// characters are counted, how values are encoded.

#include <gtest/gtest.h>

#include "companion/pairing_text.h"

namespace trovemark::companion {
namespace {

TEST(PairingText, Utf8Validation) {
  // é … 😀, the highest code point, and an embedded NUL are fine.
  for (const std::string& good :
       std::vector<std::string>{"", "\xC3\xA9\xE2\x80\xA6\xF0\x9F\x98\x80", "\xF4\x8F\xBF\xBF",
                                std::string("a\0b", 3)}) {
    EXPECT_TRUE(isValidUtf8(good)) << good;
  }
  // Overlong forms, a surrogate, above U+10FFFF, a stray continuation, cut
  // short at the end, a lead byte without its continuation.
  for (const char* bad : {"\xC0\xAF", "\xE0\x80\xAF", "\xED\xA0\x80", "\xF4\x90\x80\x80", "\x80",
                          "ab\xE2\x80", "\xC3("}) {
    EXPECT_FALSE(isValidUtf8(bad)) << bad;
  }
}

TEST(PairingText, TrimsUnicodeBlanksAtBothEndsOnly) {
  EXPECT_EQ(trimWhitespace(" \t\r\n\v\f tok en \n"), "tok en");
  EXPECT_EQ(trimWhitespace("\u00a0\u2003\u202f\u205f\u3000\u1680x\u0085\u2028\u2029"), "x");
  EXPECT_EQ(trimWhitespace("\u2003\u2003"), "");
  // Not blanks: the zero-width space and the byte-order mark stay.
  EXPECT_EQ(trimWhitespace("\u200bx\ufeff"), "\u200bx\ufeff");
  // A multi-byte character ending in a byte that looks like a blank's is kept.
  EXPECT_EQ(trimWhitespace("x\u0120"), "x\u0120");
}

TEST(PairingText, CountsUserPerceivedCharacters) {
  const std::pair<std::string, std::size_t> cases[] = {
      {"", 0},
      {"0123456789abcdef", 16},
      {"e\u0301", 1},                                     // e with a combining accent
      {"\U0001F1E9\U0001F1EA\U0001F1EB\U0001F1F7", 2},    // two flags
      {"\U0001F468\u200D\U0001F469\u200D\U0001F467", 1},  // a joined family
      {"\U0001F44D\U0001F3FD", 1},                        // with a skin tone
      {"\r\n", 1},
      {"\n\r", 2},
  };
  for (const auto& [text, count] : cases) EXPECT_EQ(characterCount(text), count) << text;
}

TEST(PairingText, EncodesEverythingButUnreservedCharacters) {
  EXPECT_EQ(percentEncode("AZaz09-._~"), "AZaz09-._~");
  EXPECT_EQ(percentEncode("&=+#? /%:@!$'()*,;[]"),
            "%26%3D%2B%23%3F%20%2F%25%3A%40%21%24%27%28%29%2A%2C%3B%5B%5D");
  EXPECT_EQ(percentEncode("\xC3\xA9\n"), "%C3%A9%0A");
}

}  // namespace
}  // namespace trovemark::companion
