// Whole requests against a substitute Resolve on a fake clock.

#include "color_helper/dispatcher.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sstream>

#include "color_helper/helper_main.h"
#include "color_helper/messages.h"
#include "tests/color_helper/color_page.h"
#include "tests/color_helper/failure.h"

namespace trovemark::color {
namespace {

using testing::colorPage;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::IsEmpty;
using testing::json;
using testing::nodeById;

double primariesStart(int slider) { return 10 * slider + 0.5; }

class RunTest : public ::testing::Test {
 protected:
  Response request(const std::string& text) {
    fixture.make(scene);
    return run(*fixture.scene, fixture.clock, decodeRequest(text));
  }
  std::string failure(const std::string& text) {
    return testing::failureOf([&] { request(text); });
  }
  json& node(const std::string& id) { return nodeById(scene["applications"][0]["windows"][0], id); }

  json scene = testing::sceneOf(colorPage());
  testing::SceneFixture fixture;
};

TEST_F(RunTest, StatusAnswersInPositionOrderWithTheReadout) {
  const Response primaries = request(R"({"action":"status","section":"primaries"})");
  EXPECT_EQ(primaries.section, "primaries");
  std::vector<double> expected;
  for (std::size_t slider : kPrimariesPositions) expected.push_back(primariesStart(slider));
  EXPECT_THAT(primaries.values, ElementsAreArray(expected));
  EXPECT_THAT(primaries.display,
              ElementsAre(ElementsAre(0.5, 10.5, 20.5, 30.5), ElementsAre(40.5, 50.5, 60.5, 70.5),
                          ElementsAre(80.5, 90.5, 100.5, 110.5), ElementsAre(120.5, 130.5, 140.5)));
  EXPECT_THAT(fixture.log(), IsEmpty());

  const Response blur = request(R"({"action":"status","section":"blur","mode":"blur"})");
  EXPECT_THAT(blur.values, ElementsAre(5, 15, 25, 35, 45, 55, 65, 75, 85));
  EXPECT_THAT(blur.display,
              ElementsAre(ElementsAre(0.05, 0.15, 0.25), ElementsAre(0.35, 0.45, 0.55),
                          ElementsAre(0.65, 0.75, 0.85)));
  EXPECT_THAT(fixture.log(), IsEmpty());  // "blur" in lower case means Sharpen
}

TEST_F(RunTest, ChecksSectionThenPermissionThenWindowThenAction) {
  scene["trusted"] = false;
  scene["applications"] = json::array();
  for (const char* section : {"Primaries", "BLUR", ""}) {
    EXPECT_EQ(failure(std::string(R"({"action":"status","section":")") + section + "\"}"),
              messages::kUnknownSection);
  }
  EXPECT_EQ(failure(R"({"action":"status","section":"blur"})"), messages::kNotTrusted);
  scene["trusted"] = true;
  EXPECT_EQ(failure(R"({"action":"Status","section":"blur"})"), messages::kOpenResolve);

  // An unknown action is reported only once the palette has been switched.
  scene = testing::sceneOf(colorPage());
  node("modeSharpen")["value"] = 0;
  for (const char* action : {"Status", ""}) {
    EXPECT_EQ(failure(std::string(R"({"action":")") + action + R"(","section":"blur"})"),
              messages::kUnknownAction);
    EXPECT_THAT(fixture.log(), ElementsAre("press modeSharpen"));
  }
}

TEST_F(RunTest, NudgeRejectsAnyBadEntryBeforeMovingAnything) {
  const char* invalid[] = {
      R"("primaries"})",
      R"("primaries","changes":{}})",
      R"("primaries","changes":{"0":1,"1":1,"2":1,"3":1,"4":1}})",
      R"("primaries","changes":{"0":1,"15":1}})",
      R"("blur","changes":{"0":1,"9":1}})",
      R"("blur","changes":{"0":1,"-1":1}})",
      R"("blur","changes":{"0":1,"3.0":1}})",
      R"("blur","changes":{"0":1," 3":1}})",
      R"("blur","changes":{"0":1,"":1}})",
      R"("blur","changes":{"0":1,"+-3":1}})",
      R"("blur","changes":{"0":1,"1":100.5}})",
  };
  for (const char* tail : invalid) {
    EXPECT_EQ(failure(std::string(R"({"action":"nudge","section":)") + tail),
              messages::kInvalidAdjustment)
        << tail;
    EXPECT_THAT(fixture.log(), IsEmpty()) << tail;
  }
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

TEST_F(RunTest, NudgeStopsAtTheFirstRefusedValue) {
  node("b2")["refuseSet"] = true;
  EXPECT_EQ(failure(R"({"action":"nudge","section":"blur","changes":{"4":1,"2":1,"0":1}})"),
            messages::kAdjustmentNotAccepted);
  EXPECT_THAT(fixture.log(), ElementsAre("set b0 6", "set b2 26 refused"));
  EXPECT_EQ(fixture.valueOf("b0"), 6);
}

TEST_F(RunTest, ResetNeedsARowAndItsControls) {
  const char* unavailable[] = {
      R"("primaries"})",
      R"("primaries","index":-1})",
      R"("primaries","index":4})",
      R"("blur","index":3})",
      R"("blur","index":9223372036854775807})",
  };
  for (const char* tail : unavailable) {
    EXPECT_EQ(failure(std::string(R"({"action":"reset","section":)") + tail),
              messages::kResetUnavailable)
        << tail;
    EXPECT_THAT(fixture.log(), IsEmpty());
  }
  // The Reset buttons are counted for "blur" too, though none is pressed.
  node("resetB2")["role"] = "AXStaticText";
  EXPECT_EQ(failure(R"({"action":"reset","section":"blur","index":2})"),
            messages::kResetUnavailable);

  scene = testing::sceneOf(colorPage());
  node("link2")["description"] = "Link";
  EXPECT_EQ(failure(R"({"action":"reset","section":"blur","index":2})"),
            messages::kChannelLinkUnavailable);
  EXPECT_THAT(fixture.log(), IsEmpty());
}

TEST_F(RunTest, PrimariesResetPressesTheRowsButtonAndWaitsForIt) {
  const Response response = request(R"({"action":"reset","section":"primaries","index":2})");
  EXPECT_THAT(fixture.log(), ElementsAre("press resetP2"));
  // The row shows its default 200 ms after the press; polls are 100 ms apart.
  EXPECT_THAT(fixture.clock.sleeps(), ElementsAre(kSettlePollInterval, kSettlePollInterval));
  EXPECT_THAT(std::vector<double>(response.values.begin() + 8, response.values.begin() + 12),
              ElementsAre(700, 700, 700, 700));
  EXPECT_THAT(response.display[2], ElementsAre(700, 700, 700, 700));
  EXPECT_EQ(response.values[7], primariesStart(5));
}

TEST_F(RunTest, ResetThatNeverSettlesAnswersAtTheDeadlineWithWhatResolveShows) {
  node("resetP3")["onPress"][1]["afterMs"] = 60000;  // slider 13 comes much later
  const Response response = request(R"({"action":"reset","section":"primaries","index":3})");
  EXPECT_EQ(fixture.clock.sleeps().size(), 15u);
  EXPECT_THAT(std::vector<double>(response.values.begin() + 12, response.values.end()),
              ElementsAre(0, primariesStart(13), 0));
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

  // A refused value still puts the link back on, then reports the refusal.
  scene = testing::sceneOf(colorPage());
  node("b4")["refuseSet"] = true;
  EXPECT_EQ(failure(R"({"action":"reset","section":"blur","index":1})"),
            messages::kAdjustmentNotAccepted);
  EXPECT_THAT(fixture.log(),
              ElementsAre("press link1", "set b3 50", "set b4 50 refused", "press link1"));
  EXPECT_EQ(fixture.valueOf("link1"), 1);

  scene = testing::sceneOf(colorPage());
  node("link1")["refusePress"] = true;
  EXPECT_EQ(failure(R"({"action":"reset","section":"blur","index":1})"),
            messages::kControlNotActivated);
  EXPECT_THAT(fixture.log(), ElementsAre("press link1 refused"));
}

TEST(HelperMainTest, PrintsOneResponseLineOnSuccessAndOneMessageLineOnFailure) {
  testing::SceneFixture fixture;
  fixture.make(testing::sceneOf(colorPage()));
  std::ostringstream out, err;
  const std::vector<std::string> args{R"({"action":"status","section":"blur"})"};
  EXPECT_EQ(helperMain(args, out, err, *fixture.scene, fixture.clock), 0);
  EXPECT_EQ(err.str(), "");
  const std::string line = out.str();
  ASSERT_EQ(line.find('\n'), line.size() - 1);
  const json response = json::parse(line);
  EXPECT_EQ(response.at("section"), "blur");
  EXPECT_EQ(response.at("values").size(), 9u);
  EXPECT_EQ(response.at("display"),
            json::parse("[[0.05,0.15,0.25],[0.35,0.45,0.55],[0.65,0.75,0.85]]"));

  // A response that cannot be written is not a success.
  std::ostringstream closed, err1;
  closed.setstate(std::ios::badbit);
  EXPECT_EQ(helperMain(args, closed, err1, *fixture.scene, fixture.clock), 1);
  EXPECT_EQ(err1.str(), std::string(messages::kResponseNotWritten) + "\n");

  // A slider reading "nan" cannot be written as JSON: a failure, not a null.
  json page = colorPage();
  nodeById(page, "b0")["value"] = "nan";
  fixture.make(testing::sceneOf(page));
  std::ostringstream out2, err2;
  EXPECT_EQ(helperMain(args, out2, err2, *fixture.scene, fixture.clock), 1);
  EXPECT_EQ(out2.str(), "");
  EXPECT_EQ(err2.str().find('\n'), err2.str().size() - 1);
}

}  // namespace
}  // namespace trovemark::color
