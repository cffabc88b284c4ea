// Whole requests against a substitute Resolve on a fake clock.

#include "color_helper/dispatcher.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sstream>

#include "color_helper/helper_main.h"
#include "color_helper/messages.h"
#include "testing/color_scene.h"

namespace trovemark::color {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::IsEmpty;
using testing::json;

class RunTest : public ::testing::Test {
 protected:
  Response request(const std::string& text) {
    fixture.make(scene);
    return run(*fixture.scene, fixture.clock, decodeRequest(text));
  }
  std::string failure(const std::string& text) {
    return testing::failureOf([&] { request(text); });
  }
  json& node(const std::string& id) { return testing::nodeById(scene, id); }

  json scene = testing::sceneOf(testing::colorPage());
  testing::SceneFixture fixture;
};

struct Failing {
  std::string request;
  std::string_view message;
  json patches = json::object();  // node id (the scene for "") → what is merged into it
  std::vector<std::string> log = {};
};

TEST_F(RunTest, BadRequestsFailInOrderAndOperateNothingBeyondTheSwitch) {
  namespace m = messages;
  const json noResolve = {{"", {{"trusted", false}, {"applications", json::array()}}}};
  std::vector<Failing> cases = {
      // The section comes first, then the permission, then Resolve.
      {R"({"action":"status","section":"Primaries"})", m::kUnknownSection, noResolve},
      {R"({"action":"status","section":"BLUR"})", m::kUnknownSection, noResolve},
      {R"({"action":"status","section":"blur"})", m::kNotTrusted, noResolve},
      {R"({"action":"Status","section":"blur"})",
       m::kOpenResolve,
       {{"", {{"applications", json::array()}}}}},
      // The Color page, its palettes and their modes.
      {R"({"action":"status","section":"primaries"})",
       m::kOpenColorPage,
       {{"primariesTitle", {{"value", "Primaries of Edit"}}}}},
      {R"({"action":"status","section":"blur"})",
       m::kOpenColorPage,
       {{"primariesTitle", {{"value", "Primaries of Edit"}}}}},
      {R"({"action":"status","section":"primaries"})",
       m::kColorBarsUnavailable,
       {{"colorBars", {{"description", "Colour Bars"}}}}},
      {R"({"action":"status","section":"blur","mode":"Blur"})",
       "Resolve Blur mode is unavailable",
       {{"modeBlur", {{"description", "Blurry"}}}}},
      {R"({"action":"status","section":"blur"})",
       "Resolve Sharpen mode is unavailable",
       {{"blurPalette", {{"hidden", true}}}, {"blurButton", {{"onPress", nullptr}}}},
       {"press blurButton"}},  // the press toggles the button but opens nothing
      {R"({"action":"status","section":"blur"})",
       m::kBlurUnavailable,
       {{"blurPalette", {{"hidden", true}}}, {"blurButton", {{"description", "Blurs"}}}}},
      // An unknown action is reported only once the palette has been switched.
      {R"({"action":"Status","section":"blur"})",
       m::kUnknownAction,
       {{"modeSharpen", {{"value", 0}}}},
       {"press modeSharpen"}},
      {R"({"action":"","section":"primaries"})", m::kUnknownAction},
      // "reset" needs its Reset button in "blur" too, though none is pressed.
      {R"({"action":"reset","section":"blur","index":2})",
       m::kResetUnavailable,
       {{"resetB2", {{"role", "AXStaticText"}}}}},
      {R"({"action":"reset","section":"blur","index":2})",
       m::kChannelLinkUnavailable,
       {{"link2", {{"description", "Link"}}}}},
  };
  // A bad "nudge" entry rejects the whole request before anything moves.
  for (const char* tail :
       {R"("primaries"})", R"("primaries","changes":{}})",
        R"("primaries","changes":{"0":1,"1":1,"2":1,"3":1,"4":1}})",
        R"("primaries","changes":{"0":1,"15":1}})", R"("blur","changes":{"0":1,"9":1}})",
        R"("blur","changes":{"0":1,"-1":1}})", R"("blur","changes":{"0":1,"3.0":1}})",
        R"("blur","changes":{"0":1," 3":1}})", R"("blur","changes":{"0":1,"":1}})",
        R"("blur","changes":{"0":1,"+-3":1}})", R"("blur","changes":{"0":1,"1":100.5}})"}) {
    cases.push_back({std::string(R"({"action":"nudge","section":)") + tail, m::kInvalidAdjustment});
  }
  for (const char* tail :
       {R"("primaries"})", R"("primaries","index":-1})", R"("primaries","index":4})",
        R"("blur","index":3})", R"("blur","index":9223372036854775807})"}) {
    cases.push_back({std::string(R"({"action":"reset","section":)") + tail, m::kResetUnavailable});
  }
  for (const Failing& c : cases) {
    SCOPED_TRACE(c.request);
    scene = testing::sceneOf(testing::colorPage());
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
  std::vector<double> expected;
  for (std::size_t slider : kPrimariesPositions) expected.push_back(10 * slider + 0.5);
  EXPECT_THAT(primaries.values, ElementsAreArray(expected));
  EXPECT_THAT(primaries.display,
              ElementsAre(ElementsAre(0.5, 10.5, 20.5, 30.5), ElementsAre(40.5, 50.5, 60.5, 70.5),
                          ElementsAre(80.5, 90.5, 100.5, 110.5), ElementsAre(120.5, 130.5, 140.5)));

  EXPECT_THAT(fixture.log(), IsEmpty());
}

TEST_F(RunTest, NudgeAppliesByPositionFromTheValuesReadFirst) {
  // Position 1 of "primaries" is slider 3; +3, 03 and 3 all name position 3,
  // slider 1, each starts from the value read before any change, and among
  // them the key that sorts last as text is applied last.
  const Response response = request(
      R"({"action":"nudge","section":"primaries","changes":{"3":-100,"+3":0,"1":100,"03":2}})");
  EXPECT_THAT(fixture.log(),
              ElementsAre("set p3 130.5", "set p1 10.5", "set p1 12.5", "set p1 -89.5"));
  EXPECT_EQ(response.values[1], 130.5);
  EXPECT_EQ(response.values[3], -89.5);
  EXPECT_EQ(response.display[0][1], -89.5);

  // Nothing is clamped on the way; what Resolve keeps is what comes back.
  node("b8")["range"] = {0, 100};
  node("b8")["value"] = 95;
  EXPECT_EQ(request(R"({"action":"nudge","section":"blur","changes":{"8":10,"-0":0}})").values[8],
            100);
  EXPECT_THAT(fixture.log(), ElementsAre("set b0 5", "set b8 105"));
}

TEST_F(RunTest, PrimariesResetWaitsForItsRowButNotBeyondTheDeadline) {
  const Response response = request(R"({"action":"reset","section":"primaries","index":2})");
  EXPECT_THAT(fixture.log(), ElementsAre("press resetP2"));
  // The row shows its default 200 ms after the press; polls are 100 ms apart.
  EXPECT_THAT(fixture.clock.sleeps(), ElementsAre(kSettlePollInterval, kSettlePollInterval));
  EXPECT_THAT(std::vector<double>(response.values.begin() + 7, response.values.begin() + 12),
              ElementsAre(50.5, 700, 700, 700, 700));
  EXPECT_THAT(response.display[2], ElementsAre(700, 700, 700, 700));

  node("resetP3")["onPress"][1]["afterMs"] = 60000;  // slider 13 comes much later
  const std::size_t slept = fixture.clock.sleeps().size();
  const Response late = request(R"({"action":"reset","section":"primaries","index":3})");
  EXPECT_EQ(fixture.clock.sleeps().size() - slept, 15u);
  EXPECT_THAT(std::vector<double>(late.values.begin() + 12, late.values.end()),
              ElementsAre(0, 130.5, 0));
}

TEST_F(RunTest, BlurResetSetsTheRowWithItsLinkOff) {
  Response response = request(R"({"action":"reset","section":"blur","index":2})");
  EXPECT_THAT(fixture.log(),
              ElementsAre("press link2", "set b6 25", "set b7 25", "set b8 25", "press link2"));
  EXPECT_THAT(fixture.clock.sleeps(), ElementsAre(kSettlePollInterval));
  EXPECT_THAT(response.display[2], ElementsAre(0.25, 0.25, 0.25));

  node("link0")["value"] = 0;
  request(R"({"action":"reset","section":"blur","index":0})");
  EXPECT_THAT(fixture.log(), ElementsAre("set b0 50", "set b1 50", "set b2 50"));
}

TEST(HelperMainTest, PrintsOneResponseLineOnSuccessAndOneMessageLineOnFailure) {
  testing::SceneFixture fixture;
  json page = testing::colorPage();
  fixture.make(testing::sceneOf(page));
  // "blur" in lower case means Sharpen, which is on: nothing is pressed.
  const std::vector<std::string> args{R"({"action":"status","section":"blur","mode":"blur"})"};
  std::ostringstream out, err, closed, err1, out2, err2;
  EXPECT_EQ(helperMain(args, out, err, *fixture.scene, fixture.clock), 0);
  EXPECT_EQ(err.str(), "");
  EXPECT_THAT(fixture.log(), IsEmpty());
  ASSERT_EQ(out.str().find('\n'), out.str().size() - 1);
  EXPECT_EQ(json::parse(out.str()),
            json::parse(R"({"section":"blur","values":[5,15,25,35,45,55,65,75,85],
                "display":[[0.05,0.15,0.25],[0.35,0.45,0.55],[0.65,0.75,0.85]]})"));

  // A response that cannot be written is not a success.
  closed.setstate(std::ios::badbit);
  EXPECT_EQ(helperMain(args, closed, err1, *fixture.scene, fixture.clock), 1);
  EXPECT_EQ(err1.str(), std::string(messages::kResponseNotWritten) + "\n");

  // A slider reading "nan" cannot be written as JSON: a failure, not a null.
  testing::nodeById(page, "b0")["value"] = "nan";
  fixture.make(testing::sceneOf(page));
  EXPECT_EQ(helperMain(args, out2, err2, *fixture.scene, fixture.clock), 1);
  EXPECT_EQ(out2.str(), "");
  EXPECT_EQ(err2.str().find('\n'), err2.str().size() - 1);
}

}  // namespace
}  // namespace trovemark::color
