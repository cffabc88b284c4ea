// The built TrovemarkColorAX against the stand-in Resolve on a private
// desktop. A session runs its requests twice over the same scene: through
// the desktop (the helper process, the AT-SPI backend, the stand-in) and
// in-process (the helper's logic over the scene engine, whose answers the
// Color helper's own tests pin down on the same page). Both must answer the
// same bytes and operate the same controls in the same order.

#include <gtest/gtest.h>
#include <signal.h>

#include <string>
#include <vector>

#include "color_helper/messages.h"
#include "testing/desktop/e2e_support.h"

namespace trovemark::e2e {
namespace {

namespace messages = color::messages;
using nlohmann::json;

std::string line(std::string_view message) { return std::string(message) + "\n"; }

// One session over the default page, made awkward: the page's window is the
// second and the focused one, one slider and one link refuse, and Lift's
// reset lands on the wrong value, so the row never settles and the helper
// gives up at its deadline in real time (Gain's lands 300 ms after the press:
// only a helper that waits sees it).
json sessionScene() {
  json scene = defaultScene();
  auto& windows = scene["applications"][0]["windows"];
  windows.insert(
      windows.begin(),
      json::object({{"role", "AXWindow"},
                    {"description", "Inspector"},
                    {"children", {{{"role", "AXStaticText"}, {"value", "Primaries - Log"}}}}}));
  scene["applications"][0]["focusedWindow"] = 1;
  nodeById(scene, "lift-r")["refuseSet"] = true;
  nodeById(scene, "ratio-link")["refusePress"] = true;
  nodeById(scene, "lift-reset")["onPress"][0]["value"] = 5;
  return scene;
}

TEST(HelperSession, AnswersAndOperatesAsTheInProcessScene) {
  TempDir dir;
  const auto sceneFile = dir.write("scene.json", sessionScene().dump());
  const auto log = dir.path() / "operations.log";
  auto standin = startStandin(sceneFile, 0, {"--log", log.string()});
  InProcess expected(sceneFile);

  for (const char* request :
       {R"({"action":"status","section":"primaries"})",
        R"({"action":"nudge","section":"primaries","changes":{"14":-2.25,"0":0.1,"7":0}})",
        R"({"action":"nudge","section":"primaries","changes":{"1":1}})",
        R"({"action":"reset","section":"primaries","index":0})",
        R"({"action":"reset","section":"primaries","index":2})",
        R"({"action":"reset","section":"primaries","index":3})",
        R"({"action":"status","section":"blur"})",
        R"({"action":"status","section":"blur","mode":"Blur"})",
        R"({"action":"nudge","section":"blur","mode":"Blur","changes":{"8":3,"0":-0.125}})",
        R"({"action":"reset","section":"blur","mode":"Blur","index":0})",
        R"({"action":"reset","section":"blur","index":1})",
        R"({"action":"reset","section":"blur","index":2})",
        R"({"action":"status","section":"primaries"})"}) {
    // Byte for byte: one line on one stream, as HelperMainTest holds in-process.
    EXPECT_EQ(runHelper(request), expected.run(request)) << request;
  }
  standin->stop();

  // A refused operation is never sent, so the stand-in logs only the ones
  // that reached a control.
  std::vector<json> sent;
  std::size_t refused = 0;
  for (const auto& op : expected.operations()) {
    if (op.refused) {
      ++refused;
    } else {
      sent.push_back(op.toJson());
    }
  }
  EXPECT_EQ(readJsonLines(log), sent);
  EXPECT_FALSE(sent.empty());
  EXPECT_EQ(refused, 2u) << "the slider's and the link's refusals";
}

// Finding Resolve.

const char* const kStatus = R"({"action":"status","section":"primaries"})";

// Every way of not finding a usable Resolve, on one desktop.
TEST(FindingResolve, RefusesUntilAWindowedInstanceAnswers) {
  const Outcome openResolve{1, "", line(messages::kOpenResolve)};
  const Outcome openProject{1, "", line(messages::kOpenProject)};
  EXPECT_EQ(runHelper(kStatus), openResolve) << "not running";

  // Only the first instance counts, even when a later one has a window.
  TempDir dir;
  json scene = defaultScene();
  scene["applications"].insert(scene["applications"].begin(),
                               json::object({{"focusedWindow", 0}, {"windows", json::array()}}));
  const auto file = dir.write("two.json", scene.dump());
  auto windowless = startStandin(file, 0);
  auto withWindow = startStandin(file, 1);
  EXPECT_EQ(runHelper(kStatus), openProject) << "two instances";
  windowless->stop();
  EXPECT_EQ(runHelper(kStatus).status, 0);

  // A Resolve that stops answering is given up on, not waited for forever.
  withWindow->signal(SIGSTOP);
  EXPECT_EQ(runHelper(kStatus), openResolve) << "stopped";
  withWindow->signal(SIGCONT);

  // Where the user meets the Linux sentence: the helper's standard error.
  EXPECT_EQ(testing::runProgram({TROVEMARK_SOURCE_DIR "/scripts/with-desktop", "--no-accessibility",
                                 helperProgram(), kStatus}),
            (Outcome{1, "", line(messages::kLinuxMessages.notTrusted)}));
}

}  // namespace
}  // namespace trovemark::e2e
