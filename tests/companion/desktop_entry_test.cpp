// Reading and writing desktop entries: the quoting that keeps an awkward
// program path one argument, and the lookup of keys.

#include <gtest/gtest.h>

#include "companion/platform/desktop_entry_linux.h"

namespace trovemark::companion::desktop_entry {
namespace {

TEST(DesktopEntry, ExecQuotingByTheDesktopEntryRules) {
  struct Case {
    std::string program;
    std::string line;  // as it stands in the file after "Exec="
  };
  const Case cases[] = {
      {"/usr/bin/ZelvanMac", "/usr/bin/ZelvanMac"},
      {"/opt/Trovemark Mac/bin/ZelvanMac", "\"/opt/Trovemark Mac/bin/ZelvanMac\""},
      {"/opt/100%/ZelvanMac", "/opt/100%%/ZelvanMac"},
      {"/opt/$HOME`x`/a\"b", "\"/opt/\\\\$HOME\\\\`x\\\\`/a\\\\\"b\""},
      {"/opt/back\\slash", "\"/opt/back\\\\\\\\slash\""},
      {"/opt/(a);b|c&d<e>f*g?h#i~j'k", "\"/opt/(a);b|c&d<e>f*g?h#i~j'k\""},
      {"/opt/line\nbreak", "\"/opt/line\\nbreak\""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.program);
    const std::string line = escapeString(quoteExecArgument(c.program));
    EXPECT_EQ(line, c.line);
    // Read back the way a desktop reads it: one argument, the same path.
    const auto unescaped = unescapeString(line);
    ASSERT_TRUE(unescaped);
    EXPECT_EQ(splitExec(*unescaped), std::vector<std::string>{c.program});
  }
}

// Well-formed lines are read in the adapters' tests (a quoted path with a
// field code, a program with an argument); malformed ones count as no line.
TEST(DesktopEntry, RefusesMalformedExecLines) {
  EXPECT_EQ(splitExec("\"/unclosed"), std::nullopt);
  EXPECT_EQ(splitExec("\"/a\"b"), std::nullopt);
  EXPECT_EQ(unescapeString("trailing\\"), std::nullopt);
  EXPECT_EQ(unescapeString("\\q"), std::nullopt);
}

TEST(DesktopEntry, ReadsOnlyTheMainGroup) {
  const auto keys = mainGroup(
      "# comment\n"
      "[Desktop Action new]\nExec=/wrong\n"
      "[Desktop Entry]\r\n"
      "Name = Resolve \r\n"
      "Exec=/first\n"
      "Exec=/second\n"
      "no equals sign\n"
      "[Other]\nPath=/wrong\n");
  EXPECT_EQ(keys, (std::map<std::string, std::string>{{"Name", "Resolve"}, {"Exec", "/first"}}));
}

}  // namespace
}  // namespace trovemark::companion::desktop_entry
