// The built TrovemarkColorAX against the stand-in Resolve on a private
// desktop. Each session runs its requests twice over the same scene: through
// the desktop (the helper process, the AT-SPI backend, the stand-in) and
// in-process (the helper's logic over the scene engine, whose answers the
// Color helper's own tests pin down on the same page). Both must answer the
// same bytes and operate the same controls in the same order.

#include <gtest/gtest.h>
#include <signal.h>

#include <functional>
#include <string>
#include <vector>

#include "color_helper/messages.h"
#include "testing/desktop/e2e_support.h"

namespace trovemark::e2e {
namespace {

namespace messages = color::messages;
using nlohmann::json;

std::string line(std::string_view message) { return std::string(message) + "\n"; }

struct Session {
  std::string name;
  std::function<void(json&)> edit;
  std::vector<std::string> requests;
};

// Test names print the session's name, not its bytes.
void PrintTo(const Session& session, std::ostream* os) { *os << session.name; }

void refuseAllSliders(json& scene) {
  forEachNode(scene, [](json& node) {
    if (node.value("role", std::string()) == "AXSlider") node["refuseSet"] = true;
  });
}

const std::vector<Session>& sessions() {
  static const std::vector<Session> all{
      {"DefaultScene",
       [](json&) {},
       {R"({"action":"status","section":"primaries"})",
        R"({"action":"nudge","section":"primaries","changes":{"14":-2.25,"0":1.5,"7":0}})",
        R"({"action":"reset","section":"primaries","index":2})",
        R"({"action":"reset","section":"primaries","index":3})",
        R"({"action":"status","section":"blur"})",
        R"({"action":"status","section":"blur","mode":"Blur"})",
        R"({"action":"nudge","section":"blur","mode":"Blur","changes":{"8":3,"0":-0.125}})",
        R"({"action":"reset","section":"blur","mode":"Blur","index":0})",
        R"({"action":"reset","section":"blur","index":2})",
        R"({"action":"status","section":"primaries"})"}},
      {"RefusedControls",
       [](json& scene) {
         refuseAllSliders(scene);
         nodeById(scene, "lift-reset")["refusePress"] = true;
         nodeById(scene, "ratio-link")["refusePress"] = true;
       },
       {R"({"action":"reset","section":"primaries","index":0})",
        R"({"action":"nudge","section":"primaries","changes":{"1":1}})",
        R"({"action":"reset","section":"blur","index":1})",
        R"({"action":"reset","section":"blur","index":0})"}},
      {"SettleWaitInRealTime",
       [](json& scene) {
         // Lift's reset lands on the wrong value: the row never settles.
         nodeById(scene, "lift-reset")["onPress"][0]["value"] = 5;
         // Gain's lands 300 ms after the press: only a helper that waits sees it.
       },
       {R"({"action":"reset","section":"primaries","index":0})",
        R"({"action":"reset","section":"primaries","index":2})"}},
      {"NoFocusedWindow",
       [](json& scene) { scene["applications"][0]["focusedWindow"] = nullptr; },
       {R"({"action":"status","section":"primaries"})"}},
      {"SecondWindowFocused",
       [](json& scene) {
         auto& windows = scene["applications"][0]["windows"];
         windows.insert(
             windows.begin(),
             json::object(
                 {{"role", "AXWindow"},
                  {"description", "Inspector"},
                  {"children", {{{"role", "AXStaticText"}, {"value", "Primaries - Log"}}}}}));
         scene["applications"][0]["focusedWindow"] = 1;
       },
       {R"({"action":"status","section":"primaries"})"}},
  };
  return all;
}

class HelperSession : public ::testing::TestWithParam<Session> {};

TEST_P(HelperSession, AnswersAndOperatesAsTheInProcessScene) {
  const Session& session = GetParam();
  TempDir dir;
  json scene = defaultScene();
  session.edit(scene);
  const auto sceneFile = writeScene(dir, "scene.json", scene);
  const auto log = dir.path() / "operations.log";
  auto standin = startStandin(sceneFile, 0, log);
  InProcess expected(sceneFile);

  for (const std::string& request : session.requests) {
    const Outcome outcome = runHelper(request);
    EXPECT_EQ(outcome, expected.run(request)) << request;
    // One line, on one stream only.
    const std::string& said = outcome.status == 0 ? outcome.out : outcome.err;
    EXPECT_EQ(said.find('\n'), said.size() - 1) << request;
    EXPECT_TRUE((outcome.status == 0 ? outcome.err : outcome.out).empty());
  }
  standin->stop();

  // A refused operation is never sent, so the stand-in logs only the ones
  // that reached a control.
  std::vector<json> sent;
  for (const auto& op : expected.operations()) {
    if (!op.refused) sent.push_back(op.toJson());
  }
  EXPECT_EQ(readJsonLines(log), sent);
  EXPECT_FALSE(expected.operations().empty()) << "a session that operates nothing proves little";
}

INSTANTIATE_TEST_SUITE_P(Sessions, HelperSession, ::testing::ValuesIn(sessions()),
                         [](const auto& info) { return info.param.name; });

// Finding Resolve.

const char* const kStatus = R"({"action":"status","section":"primaries"})";

json applicationWith(const json& windows) {
  json app = {{"focusedWindow", 0}};
  if (!windows.is_null()) app["windows"] = windows;
  return app;
}

// Every way of not finding a usable Resolve, on one desktop.
TEST(FindingResolve, RefusesUntilAWindowedInstanceAnswers) {
  const Outcome openResolve{1, "", line(messages::kOpenResolve)};
  const Outcome openProject{1, "", line(messages::kOpenProject)};
  EXPECT_EQ(runHelper(kStatus), openResolve) << "not running";

  TempDir dir;
  for (const json& windows : {json::array(), json(5), json()}) {
    const auto file =
        writeScene(dir, "scene.json", {{"applications", json::array({applicationWith(windows)})}});
    auto standin = startStandin(file);
    EXPECT_EQ(runHelper(kStatus), openProject) << windows;
  }

  // Only the first instance counts, even when a later one has a window.
  json scene = defaultScene();
  scene["applications"].insert(scene["applications"].begin(), applicationWith(json::array()));
  const auto file = writeScene(dir, "two.json", scene);
  auto windowless = startStandin(file, 0);
  auto withWindow = startStandin(file, 1);
  EXPECT_EQ(runHelper(kStatus), openProject) << "two instances";
  windowless->stop();
  EXPECT_EQ(runHelper(kStatus).status, 0);

  // A Resolve that stops answering is given up on, not waited for forever.
  withWindow->signal(SIGSTOP);
  EXPECT_EQ(runHelper(kStatus), openResolve) << "stopped";
  withWindow->signal(SIGCONT);

  const bench::ProgramResult untrusted =
      bench::runProgram({withDesktopScript(), "--no-accessibility", helperProgram(), kStatus});
  EXPECT_EQ((Outcome{untrusted.status, untrusted.out, untrusted.err}),
            (Outcome{1, "", line(messages::kNotTrusted)}));
}

}  // namespace
}  // namespace trovemark::e2e
