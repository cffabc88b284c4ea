// Whole requests against the default Color page on a fake clock: the page
// starts with Color Bars off and the Blur palette closed in its Blur mode, so
// "primaries" presses Color Bars and "blur" opens the palette first.

#include "color_helper/dispatcher.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sstream>

#include "color_helper/helper_main.h"
#include "color_helper/messages.h"
#include "testing/scene_fixture.h"

namespace trovemark::color {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using testing::json;
using Lines = std::vector<std::string>;

const Lines kBarsOn{"press color-bars"};
const Lines kSharpenShown{"press palette-blur", "press blur-mode-sharpen"};

class RunTest : public ::testing::Test {
 protected:
  // Each request on a fresh scene and clock.
  Response request(const std::string& text) {
    fixture = testing::SceneFixture();
    fixture.make(scene);
    return run(fixture.port(), fixture.clock, decodeRequest(text), fixture.messages());
  }
  std::string failure(const std::string& text) {
    return testing::failureOf([&] { request(text); });
  }
  json& node(const std::string& id) { return testing::nodeById(scene, id); }

  json scene = testing::defaultScene();
  testing::SceneFixture fixture;
};

struct Failing {
  std::string request;
  std::string_view message;
  json patches = json::object();  // node id (the scene for "") → what is merged into it
  Lines log = {};
};

TEST_F(RunTest, BadRequestsFailInOrderAndOperateNothingBeyondTheSwitch) {
  namespace m = messages;
  const json noResolve = {{"", {{"trusted", false}, {"applications", json::array()}}}};
  const json notColorPage = {{"primaries-title", {{"value", "Primaries of Edit"}}}};
  std::vector<Failing> cases = {
      // The section comes first, then the permission, then Resolve.
      {R"({"action":"status","section":"Primaries"})", m::kUnknownSection, noResolve},
      {R"({"action":"status","section":"BLUR"})", m::kUnknownSection, noResolve},
      {R"({"action":"status","section":"blur"})", fixture.messages().notTrusted, noResolve},
      {R"({"action":"Status","section":"blur"})",
       m::kOpenResolve,
       {{"", {{"applications", json::array()}}}}},
      // The Color page, its palettes and their modes.
      {R"({"action":"status","section":"primaries"})", m::kOpenColorPage, notColorPage},
      {R"({"action":"status","section":"blur"})", m::kOpenColorPage, notColorPage},
      {R"({"action":"status","section":"primaries"})",
       m::kColorBarsUnavailable,
       {{"color-bars", {{"description", "Colour Bars"}}}}},
      {R"({"action":"status","section":"blur","mode":"Blur"})",
       "Resolve Blur mode is unavailable",
       {{"blur-mode-blur", {{"description", "Blurry"}}}},
       {"press palette-blur"}},
      // The press only toggles the selector; the palette never shows.
      {R"({"action":"status","section":"blur"})",
       "Resolve Sharpen mode is unavailable",
       {{"palette-blur", {{"onPress", nullptr}}}},
       {"press palette-blur"}},
      {R"({"action":"status","section":"blur"})",
       m::kBlurUnavailable,
       {{"palette-blur", {{"description", "Blurs"}}}}},
      // An unknown action is reported only once the palette has been switched.
      {R"({"action":"Status","section":"blur"})", m::kUnknownAction, {}, kSharpenShown},
      {R"({"action":"","section":"primaries"})", m::kUnknownAction, {}, kBarsOn},
      // "reset" needs its Reset button in "blur" too, though none is pressed.
      {R"({"action":"reset","section":"blur","index":2})",
       m::kResetUnavailable,
       {{"scaling-reset", {{"role", "AXStaticText"}}}},
       kSharpenShown},
      {R"({"action":"reset","section":"blur","index":2})",
       m::kChannelLinkUnavailable,
       {{"scaling-link", {{"description", "Link"}}}},
       kSharpenShown},
  };
  // A bad "nudge" entry rejects the whole request before anything moves.
  for (const char* tail :
       {R"("primaries"})", R"("primaries","changes":{}})",
        R"("primaries","changes":{"0":1,"1":1,"2":1,"3":1,"4":1}})",
        R"("primaries","changes":{"0":1,"15":1}})", R"("blur","changes":{"0":1,"9":1}})",
        R"("blur","changes":{"0":1,"-1":1}})", R"("blur","changes":{"0":1,"3.0":1}})",
        R"("blur","changes":{"0":1," 3":1}})", R"("blur","changes":{"0":1,"":1}})",
        R"("blur","changes":{"0":1,"+-3":1}})", R"("blur","changes":{"0":1,"1":100.001}})"}) {
    const bool blur = std::string(tail).starts_with(R"("blur")");
    cases.push_back({std::string(R"({"action":"nudge","section":)") + tail,
                     m::kInvalidAdjustment,
                     {},
                     blur ? kSharpenShown : kBarsOn});
  }
  for (const char* tail :
       {R"("primaries"})", R"("primaries","index":-1})", R"("primaries","index":4})",
        R"("blur","index":3})", R"("blur","index":9223372036854775807})"}) {
    const bool blur = std::string(tail).starts_with(R"("blur")");
    cases.push_back({std::string(R"({"action":"reset","section":)") + tail,
                     m::kResetUnavailable,
                     {},
                     blur ? kSharpenShown : kBarsOn});
  }
  for (const Failing& c : cases) {
    SCOPED_TRACE(c.request);
    scene = testing::defaultScene();
    for (const auto& [id, patch] : c.patches.items()) {
      (id.empty() ? scene : node(id)).merge_patch(patch);
    }
    EXPECT_EQ(failure(c.request), c.message);
    EXPECT_THAT(fixture.log(), ElementsAreArray(c.log));
  }
}

TEST_F(RunTest, StatusAnswersInPositionOrderWithTheReadout) {
  const Response primaries = request(R"({"action":"status","section":"primaries"})");
  EXPECT_EQ(primaries.section, "primaries");
  // Lift, Gamma and Gain in Y R G B order, then Offset in R G B, whatever
  // order the bars stand in.
  EXPECT_THAT(primaries.values,
              ElementsAre(-3, 2.5, 0, -1.5, 4, 0, 1, 2, 735, 700, 714, 686, 6, 0, -4));
  EXPECT_THAT(primaries.display,
              ElementsAre(ElementsAre(-0.03, 0.03, 0, -0.01), ElementsAre(0.04, 0, 0.01, 0.02),
                          ElementsAre(1.05, 1, 1.02, 0.98), ElementsAre(0.06, 0, -0.04)));
  EXPECT_THAT(fixture.log(), ElementsAreArray(kBarsOn));
}

TEST_F(RunTest, NudgeAppliesByPositionFromTheValuesReadFirst) {
  // Position 1 is Lift R; +3, 03 and 3 all name position 3, Lift B. Each
  // starts from the value read before any change, and among them the key
  // that sorts last as text is applied last.
  const Response response = request(
      R"({"action":"nudge","section":"primaries","changes":{"3":-8.5,"+3":0,"1":10,"03":2}})");
  EXPECT_THAT(fixture.log(), ElementsAre("press color-bars", "set lift-r 12.5", "set lift-b -1.5",
                                         "set lift-b 0.5", "set lift-b -10"));
  EXPECT_EQ(response.values[1], 12.5);
  EXPECT_EQ(response.values[3], -10);
  EXPECT_EQ(response.display[0][3], -0.1);

  // Changes of exactly 100 are allowed, and nothing is clamped on the way;
  // what Resolve keeps is what comes back.
  const Response blur = request(
      R"({"action":"nudge","section":"blur","mode":"Blur","changes":{"8":90,"-0":0,"1":-100,"2":100}})");
  EXPECT_THAT(fixture.log(),
              ElementsAre("press palette-blur", "set radius-r 62", "set radius-g -38",
                          "set radius-b 162", "set scaling-b 115"));
  EXPECT_EQ(blur.values[8], 100);
}

// A Primaries reset waits, 100 ms at a time, until its row shows the
// defaults to within 0.001, but no longer than 1.5 seconds.
TEST_F(RunTest, PrimariesResetWaitsForItsRowButNotBeyondTheDeadline) {
  struct Case {
    double gainY;  // where Gain Y lands
    double afterMs;
    std::size_t sleeps;
  };
  const Case cases[] = {
      {700, 300, 3},       // lands after 300 ms: three polls
      {700.0005, 300, 3},  // near enough
      {700.01, 300, 15},   // near, but not within 0.001: never settles
      {700, 60000, 15},    // too late
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.gainY);
    scene = testing::defaultScene();
    node("gain-reset")["onPress"][0] = {
        {"set", "gain-y"}, {"value", c.gainY}, {"afterMs", c.afterMs}};
    const Response response = request(R"({"action":"reset","section":"primaries","index":2})");
    EXPECT_THAT(fixture.log(), ElementsAre("press color-bars", "press gain-reset"));
    EXPECT_EQ(fixture.clock.sleeps(),
              std::vector<ax::Clock::Duration>(c.sleeps, kSettlePollInterval));
    EXPECT_EQ(response.values[8], c.afterMs < 1500 ? c.gainY : 735);
    EXPECT_THAT(std::vector<double>(response.values.begin() + 9, response.values.begin() + 12),
                ElementsAre(700, 700, 700));
  }
}

TEST_F(RunTest, BlurResetLeavesAnUnlinkedRowsLinkAlone) {
  node("radius-link")["value"] = 0;
  const Response response =
      request(R"({"action":"reset","section":"blur","mode":"Blur","index":0})");
  EXPECT_THAT(fixture.log(), ElementsAre("press palette-blur", "set radius-r 50", "set radius-g 50",
                                         "set radius-b 50"));
  EXPECT_THAT(response.display[0], ElementsAre(0.5, 0.5, 0.5));
}

// Color Bars is pressed once unless it is exactly on, and the walk after the
// press is what the request goes on with, whatever the press did to the box.
TEST_F(RunTest, ColorBarsIsPressedOnceUnlessOn) {
  node("color-bars")["value"] = 1;
  node("primaries-title")["value"] = "Primaries - Color Bars";
  node("primaries-bars")["hidden"] = false;
  EXPECT_EQ(request(R"({"action":"status","section":"primaries"})").values[0], -3);
  EXPECT_TRUE(fixture.log().empty());

  scene = testing::defaultScene();
  node("color-bars")["onPress"][2]["value"] = 0;
  for (json value : {json(0), json(nullptr), json(0.5)}) {
    node("color-bars")["value"] = value;
    EXPECT_EQ(failure(R"({"action":"status","section":"primaries"})"), "no failure");
    EXPECT_THAT(fixture.log(), ElementsAreArray(kBarsOn));
  }
}

// "Blur" names the palette's selector and a mode: the mode is the check box
// among the title and the 14 elements after it.
TEST_F(RunTest, BlurModeIsTheBoxWithinFifteenPlacesOfTheTitle) {
  node("blur-mode-blur")["value"] = 0;
  for (int fillers : {0, 13, 14}) {
    SCOPED_TRACE(fillers);
    node("blur-title")["children"] = json::array();
    for (int i = 0; i < fillers; ++i) {
      node("blur-title")["children"].push_back({{"role", "AXStaticText"}, {"value", "filler"}});
    }
    EXPECT_EQ(failure(R"({"action":"status","section":"blur","mode":"Blur"})"),
              fillers < 14 ? "no failure" : messages::modeUnavailable("Blur"));
    EXPECT_EQ(fixture.log().size(), fillers < 14 ? 2u : 1u);
  }
}

TEST(HelperMainTest, PrintsOneResponseLineOnSuccessAndOneMessageLineOnFailure) {
  testing::SceneFixture fixture;
  json page = testing::defaultScene();
  fixture.make(page);
  const std::vector<std::string> args{R"({"action":"status","section":"blur","mode":"Blur"})"};
  std::ostringstream out, err, closed, err1, out2, err2;
  EXPECT_EQ(helperMain(args, out, err, fixture.port(), fixture.clock, fixture.messages()), 0);
  EXPECT_EQ(err.str(), "");
  ASSERT_EQ(out.str().find('\n'), out.str().size() - 1);
  EXPECT_EQ(json::parse(out.str()),
            json::parse(R"({"section":"blur","values":[62,62,62,50,50,50,31,25,25],
                "display":[[0.62,0.62,0.62],[0.5,0.5,0.5],[0.31,0.25,0.25]]})"));

  // A response that cannot be written is not a success.
  closed.setstate(std::ios::badbit);
  EXPECT_EQ(helperMain(args, closed, err1, fixture.port(), fixture.clock, fixture.messages()), 1);
  EXPECT_EQ(err1.str(), std::string(messages::kResponseNotWritten) + "\n");

  // The program takes exactly one request.
  for (const std::vector<std::string> wrong : {std::vector<std::string>{}, {args[0], args[0]}}) {
    std::ostringstream wrongOut, wrongErr;
    EXPECT_EQ(
        helperMain(wrong, wrongOut, wrongErr, fixture.port(), fixture.clock, fixture.messages()),
        1);
    EXPECT_EQ(wrongOut.str() + wrongErr.str(), std::string(messages::kRequiresOneRequest) + "\n");
  }

  // A slider reading "nan" cannot be written as JSON: a failure, not a null.
  testing::nodeById(page, "radius-r")["value"] = "nan";
  fixture.make(page);
  EXPECT_EQ(helperMain(args, out2, err2, fixture.port(), fixture.clock, fixture.messages()), 1);
  EXPECT_EQ(out2.str(), "");
  EXPECT_EQ(err2.str().find('\n'), err2.str().size() - 1);
}

}  // namespace
}  // namespace trovemark::color
