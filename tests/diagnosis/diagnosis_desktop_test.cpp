// trovemark-inspect as a user runs it, on private desktops against the
// stand-in Resolve: a capture replayed by a second stand-in answers the
// Color helper exactly as the window it was taken from, and each step that
// fails gives its verdict and exit status.

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "color_helper/messages.h"
#include "testing/desktop/e2e_support.h"

namespace trovemark::e2e {
namespace {

using ::testing::HasSubstr;
using ::testing::StartsWith;
namespace messages = color::messages;

struct Inspected {
  int status;
  std::string out;
  std::string verdict;
};

Inspected inspect(std::vector<std::string> args = {}, bool accessibility = true) {
  std::vector<std::string> argv{TROVEMARK_BINARY_DIR "/bin/trovemark-inspect"};
  argv.insert(argv.end(), args.begin(), args.end());
  if (!accessibility) {
    argv.insert(argv.begin(), {TROVEMARK_SOURCE_DIR "/scripts/with-desktop", "--no-accessibility"});
  }
  const auto run = testing::runProgram(argv);
  const auto at = run.out.rfind("Verdict: ");
  return {run.status, run.out + run.err,
          at == std::string::npos ? "" : run.out.substr(at, run.out.find('\n', at) - at)};
}

std::string statusOf(const char* section) {
  const Outcome outcome =
      runHelper(std::string(R"({"action":"status","section":")") + section + "\"}");
  return outcome.out + outcome.err;
}

// What the capture holds whatever the window shows is the in-process test's;
// here the window is read through the desktop and replayed by the stand-in.
TEST(DiagnosisOnADesktop, ACaptureReplaysAsTheWindowItWasTakenFrom) {
  TempDir dir;
  const std::string capture = dir / "capture.json";
  std::string primaries, blur;
  {
    auto standin = startStandin(defaultSceneFile());
    // Shown as a status of each leaves them: the palettes show.
    primaries = statusOf("primaries");
    blur = statusOf("blur");
    const Inspected inspected = inspect({"--scene", capture});
    EXPECT_EQ(inspected.status, 0) << inspected.out;
    EXPECT_THAT(inspected.out, HasSubstr(" elements written to " + capture + "\n"));
    // A window larger than the limit is cut there, and the program says so.
    const std::string cutFile = dir / "cut.json";
    EXPECT_THAT(inspect({"--scene", cutFile, "--limit", "100"}).out,
                HasSubstr("Capture: 100 elements written to " + cutFile +
                          "; the window has more, and the capture stops at the limit of 100\n"));
  }
  auto replay = startStandin(capture);
  EXPECT_EQ(statusOf("primaries"), primaries);
  EXPECT_EQ(statusOf("blur"), blur);
}

TEST(DiagnosisOnADesktop, EachFailingStepHasItsVerdictAndStatusOne) {
  const std::string neither = "Verdict: the helper can work neither section now. ";
  EXPECT_THAT(inspect({}, false).verdict,
              StartsWith(neither + "\"" + std::string(messages::kLinuxMessages.notTrusted) + "\""));
  const Inspected nothing = inspect();
  EXPECT_EQ(nothing.verdict,
            neither + "\"" + std::string(messages::kOpenResolve) + "\". Start DaVinci Resolve.");
  EXPECT_EQ(nothing.status, 1);

  // Resolve where its installer puts it, started while the switch was off:
  // it runs, but is not on the bus.
  TempDir dir;
  const auto program = dir.path() / "opt/resolve/bin/resolve";
  std::filesystem::create_directories(program.parent_path());
  std::filesystem::copy_file(TROVEMARK_BINARY_DIR "/bin/resolve-standin", program);
  ASSERT_TRUE(testing::setAccessibilitySwitch(false));
  auto hidden = testing::Standin::start({program.string(), defaultSceneFile().string()});
  ASSERT_TRUE(testing::setAccessibilitySwitch(true));
  const Inspected absent = inspect();
  EXPECT_THAT(absent.out, HasSubstr("Resolve process " + std::to_string(hidden->pid()) + " (" +
                                    program.string() +
                                    "): not reachable through the accessibility bus. It was "
                                    "likely started before keyboard control was enabled"));
  EXPECT_THAT(absent.verdict,
              StartsWith(neither + "\"" + std::string(messages::kOpenResolve) + "\". It was"));
  hidden.reset();

  nlohmann::json scene = defaultScene();
  nodeById(scene, "lift-r")["role"] = "AXIncrementor";
  auto changed = startStandin(dir.write("changed.json", scene.dump()));
  statusOf("primaries");  // presses Color Bars, then fails on the count
  statusOf("blur");
  const Inspected count = inspect();
  EXPECT_EQ(count.verdict,
            "Verdict: the helper can work blur now, not primaries. primaries: \"" +
                messages::controlsChanged("primaries", 15, 14) +
                "\". This Resolve shows its palette otherwise than the helper expects: capture "
                "the window with --scene FILE and send the file with Resolve's version.");
  EXPECT_EQ(count.status, 1);
}

}  // namespace
}  // namespace trovemark::e2e
