// resolve-standin's own contract with the tools that start it: "ready" and
// nothing else on standard output, and a clear status for bad input. How it
// presents a scene on the desktop is tested through the helper's backend,
// against the same scene in-process (tests/e2e).

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "testing/desktop/processes.h"
#include "testing/temp_dir.h"

namespace trovemark {
namespace {

TEST(StandinProgram, RefusesBadInputWithAClearStatus) {
  testing::TempDir dir;
  const std::string scene =
      dir.write("scene.json", R"({"applications": [{"windows": []}]})").string();
  const std::string broken =
      dir.write("broken.json", R"({"applications": [{"windows": 3}], )").string();
  struct Case {
    std::vector<std::string> arguments;
    int status;
  };
  const std::vector<Case> cases = {
      {{}, 2},
      {{scene, "--application"}, 2},
      {{scene, "--application", "one"}, 2},
      {{scene, "--frobnicate"}, 2},
      {{scene, scene}, 2},
      {{scene, "--application", "1"}, 1},
      {{broken}, 1},
      {{(dir / "missing.json").string()}, 1},
      {{scene, "--log", (dir / "no/such/folder/log").string()}, 1},
  };
  for (Case c : cases) {
    c.arguments.insert(c.arguments.begin(), TROVEMARK_BINARY_DIR "/bin/resolve-standin");
    const auto result = trovemark::testing::runProgram(c.arguments);
    EXPECT_EQ(result.out, "") << "nothing but \"ready\" goes to standard output";
    EXPECT_EQ(result.status, c.status) << ::testing::PrintToString(c.arguments);
    EXPECT_FALSE(result.err.empty());
  }
}

}  // namespace
}  // namespace trovemark
