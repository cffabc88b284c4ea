// The built TrovemarkColorAX against the stand-in Resolve on a private
// desktop. Each session runs its requests twice over the same scene: through
// the desktop (the helper process, the AT-SPI backend, the stand-in) and
// in-process (the helper's logic over the scene engine). Both must answer the
// same bytes and operate the same controls in the same order; a few checks on
// top guard against both being wrong the same way.

#include <gtest/gtest.h>
#include <signal.h>

#include <functional>
#include <string>
#include <vector>

#include "color_helper/messages.h"
#include "tests/e2e/e2e_support.h"

namespace trovemark::e2e {
namespace {

namespace messages = color::messages;
using nlohmann::json;

std::string line(std::string_view message) { return std::string(message) + "\n"; }

std::vector<double> values(const Outcome& outcome) {
  return json::parse(outcome.out).at("values").get<std::vector<double>>();
}

struct Session {
  std::string name;
  std::function<void(json&)> edit;
  std::vector<std::string> requests;
  // Checks on the desktop's outcomes, one per request.
  std::function<void(const std::vector<Outcome>&)> check;
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
      {"PrimariesStatusNudgeReset",
       [](json&) {},
       {R"({"action":"status","section":"primaries"})",
        R"({"action":"nudge","section":"primaries","changes":{"14":-2.25,"0":1.5,"7":0}})",
        R"({"action":"reset","section":"primaries","index":2})",
        R"({"action":"reset","section":"primaries","index":3})",
        R"({"action":"status","section":"primaries"})"},
       [](const std::vector<Outcome>& o) {
         ASSERT_EQ(values(o[0]).size(), 15u);
         EXPECT_EQ(json::parse(o[0].out).at("display").size(), 4u);
         EXPECT_EQ(values(o[1])[0], values(o[0])[0] + 1.5);
         EXPECT_EQ(values(o[1])[14], values(o[0])[14] - 2.25);
         for (int p = 8; p <= 11; ++p) EXPECT_EQ(values(o[2])[p], 700) << p;
         for (int p = 12; p <= 14; ++p) EXPECT_EQ(values(o[3])[p], 0) << p;
       }},
      {"BlurModesNudgeReset",
       [](json&) {},
       {R"({"action":"status","section":"blur"})",
        R"({"action":"status","section":"blur","mode":"Blur"})",
        R"({"action":"nudge","section":"blur","mode":"Blur","changes":{"8":3,"0":-0.125}})",
        R"({"action":"reset","section":"blur","mode":"Blur","index":0})",
        R"({"action":"reset","section":"blur","index":2})",
        R"({"action":"status","section":"primaries"})"},
       [](const std::vector<Outcome>& o) {
         ASSERT_EQ(values(o[0]).size(), 9u);
         EXPECT_EQ(values(o[2])[0], values(o[1])[0] - 0.125);
         for (int p = 0; p <= 2; ++p) EXPECT_EQ(values(o[3])[p], 50) << p;
         for (int p = 6; p <= 8; ++p) EXPECT_EQ(values(o[4])[p], 25) << p;
         EXPECT_EQ(values(o[5]).size(), 15u);
       }},
      {"RequestErrors",
       [](json&) {},
       {R"({"action":"Status","section":"primaries"})", R"({"action":"status","section":"BLUR"})",
        R"({"action":"nudge","section":"blur","changes":{"0":1,"1":1,"2":1,"3":1,"4":1}})",
        R"({"action":"nudge","section":"primaries","changes":{"0":100.5}})",
        R"({"action":"reset","section":"primaries","index":4})", R"({"action":"status"})"},
       [](const std::vector<Outcome>& o) {
         EXPECT_EQ(o[0].err, line(messages::kUnknownAction));
         EXPECT_EQ(o[1].err, line(messages::kUnknownSection));
         EXPECT_EQ(o[2].err, line(messages::kInvalidAdjustment));
         EXPECT_EQ(o[3].err, line(messages::kInvalidAdjustment));
         EXPECT_EQ(o[4].err, line(messages::kResetUnavailable));
         EXPECT_EQ(o[5].status, 1);
       }},
      {"RefusedControls",
       [](json& scene) {
         refuseAllSliders(scene);
         nodeById(scene, "lift-reset")["refusePress"] = true;
         nodeById(scene, "ratio-link")["refusePress"] = true;
       },
       {R"({"action":"reset","section":"primaries","index":0})",
        R"({"action":"nudge","section":"primaries","changes":{"1":1}})",
        R"({"action":"reset","section":"blur","index":1})",
        R"({"action":"reset","section":"blur","index":0})"},
       [](const std::vector<Outcome>& o) {
         EXPECT_EQ(o[0].err, line(messages::kControlNotActivated));
         EXPECT_EQ(o[1].err, line(messages::kAdjustmentNotAccepted));
         EXPECT_EQ(o[2].err, line(messages::kControlNotActivated));
         EXPECT_EQ(o[3].err, line(messages::kAdjustmentNotAccepted));
       }},
      {"RefusedPaletteSwitch",
       [](json& scene) { nodeById(scene, "palette-blur")["refusePress"] = true; },
       {R"({"action":"status","section":"blur"})", R"({"action":"status","section":"primaries"})"},
       [](const std::vector<Outcome>& o) {
         EXPECT_EQ(o[0].status, 1);
         EXPECT_EQ(o[1].status, 0);
       }},
      {"SettleWaitInRealTime",
       [](json& scene) {
         // Lift's reset lands on the wrong value: the row never settles.
         nodeById(scene, "lift-reset")["onPress"][0]["value"] = 5;
         // Gain's lands 300 ms after the press: only a helper that waits sees it.
       },
       {R"({"action":"reset","section":"primaries","index":0})",
        R"({"action":"reset","section":"primaries","index":2})"},
       [](const std::vector<Outcome>& o) {
         EXPECT_EQ(values(o[0])[0], 5);
         for (int p = 1; p <= 3; ++p) EXPECT_EQ(values(o[0])[p], 0) << p;
         for (int p = 8; p <= 11; ++p) EXPECT_EQ(values(o[1])[p], 700) << p;
       }},
      {"NoFocusedWindow",
       [](json& scene) { scene["applications"][0]["focusedWindow"] = nullptr; },
       {R"({"action":"status","section":"primaries"})"},
       [](const std::vector<Outcome>& o) { EXPECT_EQ(o[0].status, 0); }},
  };
  return all;
}

class HelperSession : public ::testing::TestWithParam<Session> {};

TEST_P(HelperSession, AnswersAndOperatesAsTheInProcessScene) {
  const Session& session = GetParam();
  TempDir dir;
  json scene = loadScene(defaultScene());
  session.edit(scene);
  const auto sceneFile = dir.write("scene.json", scene);
  const auto log = dir.path() / "operations.log";
  auto standin = startStandin(sceneFile, 0, log);
  InProcess expected(sceneFile);

  std::vector<Outcome> outcomes;
  for (const std::string& request : session.requests) {
    outcomes.push_back(runHelper(request));
    EXPECT_EQ(outcomes.back(), expected.run(request)) << request;
    // One line, on one stream only.
    const std::string& said =
        outcomes.back().status == 0 ? outcomes.back().out : outcomes.back().err;
    EXPECT_EQ(said.find('\n'), said.size() - 1) << request;
    EXPECT_TRUE((outcomes.back().status == 0 ? outcomes.back().err : outcomes.back().out).empty());
  }
  standin->stop();

  // A refused operation is never sent, so the stand-in logs only the ones
  // that reached a control.
  std::vector<json> sent;
  for (const auto& op : expected.operations()) {
    if (!op.refused) sent.push_back(op.toJson());
  }
  EXPECT_EQ(readJsonLines(log), sent);
  session.check(outcomes);
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

TEST(FindingResolve, NotRunning) {
  EXPECT_EQ(runHelper(kStatus), (Outcome{1, "", line(messages::kOpenResolve)}));
}

TEST(FindingResolve, InstanceWithoutWindows) {
  TempDir dir;
  for (const json& windows : {json::array(), json(5), json()}) {
    const auto file =
        dir.write("scene.json", {{"applications", json::array({applicationWith(windows)})}});
    auto standin = startStandin(file);
    EXPECT_EQ(runHelper(kStatus), (Outcome{1, "", line(messages::kOpenProject)})) << windows;
  }
}

TEST(FindingResolve, OnlyTheFirstInstanceCounts) {
  TempDir dir;
  json scene = loadScene(defaultScene());
  scene["applications"].insert(scene["applications"].begin(), applicationWith(json::array()));
  const auto file = dir.write("scene.json", scene);
  auto windowless = startStandin(file, 0);
  auto withWindow = startStandin(file, 1);
  EXPECT_EQ(runHelper(kStatus), (Outcome{1, "", line(messages::kOpenProject)}));
  windowless->stop();
  EXPECT_EQ(runHelper(kStatus).status, 0);
}

TEST(FindingResolve, ResolveThatStopsAnsweringIsNotWaitedForForever) {
  auto standin = startStandin(defaultScene());
  standin->signal(SIGSTOP);
  EXPECT_EQ(runHelper(kStatus), (Outcome{1, "", line(messages::kOpenResolve)}));
  standin->signal(SIGCONT);
}

TEST(FindingResolve, UntrustedWhenTheDesktopSwitchIsOff) {
  const bench::ProgramResult result =
      bench::runProgram({withDesktopScript(), "--no-accessibility", helperProgram(), kStatus});
  EXPECT_EQ((Outcome{result.status, result.out, result.err}),
            (Outcome{1, "", line(messages::kNotTrusted)}));
}

}  // namespace
}  // namespace trovemark::e2e
