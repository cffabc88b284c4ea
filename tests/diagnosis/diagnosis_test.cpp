// The diagnosis against the in-process scene: one case per step that
// fails, the verdict and exit status of each, nothing pressed, and the
// capture read back as a scene that answers the helper as the window did.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sstream>

#include "color_helper/dispatcher.h"
#include "color_helper/helper_main.h"
#include "color_helper/messages.h"
#include "color_helper/window.h"
#include "diagnosis/capture.h"
#include "diagnosis/command_line.h"
#include "testing/scene_fixture.h"
#include "testing/temp_dir.h"

namespace trovemark::diagnosis {
namespace {

using ::testing::HasSubstr;
using testing::json;
using testing::nodeById;

class FakeDesktop final : public Desktop {
 public:
  std::vector<ResolveProcess> processes;
  std::vector<std::string> accessibilityFacts() override { return {"Desktop: fake"}; }
  std::string trustRemedy() override { return "Turn it on."; }
  std::vector<ResolveProcess> resolveProcesses() override { return processes; }
  std::string absentFromBusRemedy() override { return "Restart Resolve."; }
  std::string reachedThrough() override { return "the bus"; }
};

struct Outcome {
  int status;
  std::string out;
  std::string verdict;  // the last line
};

class DiagnosisTest : public ::testing::Test {
 protected:
  Outcome inspect(const std::vector<std::string>& args = {}) {
    std::ostringstream out, err;
    const int status = diagnosisMain(args, out, err, fixture.port(), desktop);
    const std::string text = out.str();
    const auto verdict = text.rfind("Verdict: ");
    return {status, text + err.str(),
            verdict == std::string::npos
                ? ""
                : text.substr(verdict, text.find('\n', verdict) - verdict)};
  }
  // The helper's answer to a "status" of `section`, as its caller sees it.
  std::string status(ax::Accessibility& ax, const std::string& section) {
    std::ostringstream out, err;
    const std::vector<std::string> args{R"({"action":"status","section":")" + section + "\"}"};
    color::helperMain(args, out, err, ax, fixture.clock, fixture.messages());
    return out.str() + err.str();
  }
  void showBothPalettes() {
    for (const char* section : {"primaries", "blur"}) status(fixture.port(), section);
  }

  testing::SceneFixture fixture;
  FakeDesktop desktop;
};

// The verdicts the desktop test does not reach, on either port; the
// inspection operates nothing.
TEST_F(DiagnosisTest, VerdictsAndWhatEachPaletteHolds) {
  json noWindow = testing::defaultScene();
  noWindow["applications"][0] = {{"focusedWindow", nullptr}, {"windows", json::array()}};
  fixture.make(noWindow);
  EXPECT_EQ(inspect().verdict, "Verdict: the helper can work neither section now. \"" +
                                   std::string(color::messages::kOpenProject) +
                                   "\". Open a project in Resolve.");

  // As it stands: Color Bars off and the Blur palette closed.
  fixture.make(testing::defaultScene());
  desktop.processes = {{scene::Scene::kFirstProcessId, "/opt/resolve/bin/resolve", std::nullopt}};
  Outcome outcome = inspect();
  EXPECT_EQ(outcome.verdict,
            "Verdict: the helper can work neither section now. primaries: the palette does not "
            "show now; the helper shows it itself on its next request by pressing the check box "
            "\"Color Bars\" (element 422).");
  EXPECT_EQ(outcome.status, 1);
  // Named as the platform names it: a registered name, or macOS's bundle identifier.
  EXPECT_NE(fixture.port().registeredName(scene::Scene::kFirstProcessId), "");
  EXPECT_THAT(outcome.out,
              HasSubstr("Resolve process 24601 (/opt/resolve/bin/resolve): reachable through the "
                        "bus as \"" +
                        fixture.port().registeredName(scene::Scene::kFirstProcessId) + "\"\n"));
  EXPECT_TRUE(fixture.log().empty()) << "the diagnosis operated something";

  showBothPalettes();
  outcome = inspect();
  EXPECT_EQ(outcome.verdict, "Verdict: the helper can work both sections now.") << outcome.out;
  EXPECT_EQ(outcome.status, 0);
  EXPECT_THAT(outcome.out,
              HasSubstr("blur palette: 9 sliders (expected 9), 3 Reset buttons (expected 3), 3 "
                        "channel links (expected 3), mode \"Blur\": off, mode \"Sharpen\": on, "
                        "readout readable"));
}

// The capture, read back as a scene, answers the helper exactly as the
// window it was taken from, whatever the window shows.
TEST_F(DiagnosisTest, ACaptureAnswersTheHelperAsTheWindowDid) {
  const testing::TempDir dir;
  for (bool shown : {true, false}) {
    SCOPED_TRACE(shown);
    json page = testing::defaultScene();
    if (!shown) nodeById(page, "primaries-title")["value"] = "Primaries of Edit";
    fixture.make(page);
    if (shown) showBothPalettes();
    const std::string file = dir / "capture.json";
    ASSERT_THAT(inspect({"--scene", file}).out, HasSubstr(" elements written to " + file + "\n"));
    testing::SceneFixture replay;
    replay.scene = scene::Scene::load(file, replay.clock);
    for (const char* section : {"primaries", "blur"}) {
      EXPECT_EQ(status(*replay.scene, section), status(fixture.port(), section)) << section;
    }
  }
  fixture.make(testing::defaultScene());
  const Capture cut = capture(fixture.port(), color::currentWindow(fixture.port()), 10);
  EXPECT_EQ(cut.elements, 10u);
  EXPECT_TRUE(cut.cut);
}

TEST_F(DiagnosisTest, ABadCommandLineIsStatusTwo) {
  fixture.make(testing::defaultScene());
  for (const std::vector<std::string>& args : {std::vector<std::string>{"--limit", "5"},
                                               {"--scene"},
                                               {"--scene", "f", "--limit", "0"},
                                               {"--scene", "f", "--limit", "1x"},
                                               {"--verbose"}}) {
    const Outcome outcome = inspect(args);
    EXPECT_EQ(outcome.status, 2) << outcome.out;
    EXPECT_THAT(outcome.out, HasSubstr("trovemark-inspect: "));
  }
  EXPECT_EQ(inspect({"--help"}).status, 0);
  EXPECT_TRUE(fixture.log().empty());
}

}  // namespace
}  // namespace trovemark::diagnosis
