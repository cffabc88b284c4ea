// Faults injected into whole requests on the default scene, with the Color
// Bars mode off, the Blur palette closed and its Sharpen mode off, so that
// every request switches something first.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "color_helper/dispatcher.h"
#include "color_helper/messages.h"
#include "testing/scene_fixture.h"

namespace trovemark::color {
namespace {

using ::testing::ElementsAreArray;
using ::testing::IsEmpty;
using testing::json;
using testing::nodeById;

struct Refusable {
  const char* request;
  std::vector<std::string> operations;  // of a run that nothing refuses
  // What a blur reset still does after a refused slider: put the link back.
  std::string afterRefusedSet = "";
};

// Each press and set of each action is refused in turn: the run stops there
// with the message of what was refused, having operated nothing more.
TEST(FaultInjection, ARefusalAnywhereEndsTheRequestWithItsMessage) {
  const Refusable cases[] = {
      {R"({"action":"status","section":"primaries"})", {"press color-bars"}},
      {R"({"action":"status","section":"blur","mode":"Blur"})", {"press palette-blur"}},
      {R"({"action":"nudge","section":"primaries","changes":{"14":-2,"0":1.5}})",
       {"press color-bars", "set lift-y -1.5", "set offset-b -6"}},
      {R"({"action":"nudge","section":"blur","changes":{"8":3,"0":-0.5}})",
       {"press palette-blur", "press blur-mode-sharpen", "set radius-r 61.5", "set scaling-b 28"}},
      {R"({"action":"reset","section":"primaries","index":2})",
       {"press color-bars", "press gain-reset"}},
      {R"({"action":"reset","section":"blur","index":0})",
       {"press palette-blur", "press blur-mode-sharpen", "press radius-link", "set radius-r 50",
        "set radius-g 50", "set radius-b 50", "press radius-link"},
       "press radius-link"},
  };
  for (const Refusable& c : cases) {
    SCOPED_TRACE(c.request);
    const Request request = decodeRequest(c.request);
    {  // one port at a time: the simulated Mac is one per process
      testing::SceneFixture clean;
      clean.make(testing::defaultScene());
      run(clean.port(), clean.clock, request, clean.messages());
      ASSERT_THAT(clean.log(), ElementsAreArray(c.operations));
    }

    for (std::size_t k = 1; k <= c.operations.size(); ++k) {
      SCOPED_TRACE(k);
      testing::SceneFixture fixture;
      fixture.makeRefusing(testing::defaultScene(), k);
      const bool isSet = c.operations[k - 1].starts_with("set");
      EXPECT_EQ(testing::failureOf(
                    [&] { run(fixture.port(), fixture.clock, request, fixture.messages()); }),
                isSet ? messages::kAdjustmentNotAccepted : messages::kControlNotActivated);
      std::vector<std::string> expected(c.operations.begin(), c.operations.begin() + k);
      expected.back() += " refused";
      if (isSet && !c.afterRefusedSet.empty()) expected.push_back(c.afterRefusedSet);
      EXPECT_THAT(fixture.log(), ElementsAreArray(expected));
      EXPECT_THAT(fixture.clock.sleeps(), IsEmpty());  // no settle wait began
    }
  }
}

struct Vanishing {
  const char* what;
  const char* node;  // whose operation
  const char* on;    // "onPress" or "onSet"
  json effect;       // makes something go
  const char* request;
  std::string message;
  std::vector<std::string> operations;
};

// Controls, palettes and the window itself can go between two walks; the
// request then fails with what it could no longer find or operate.
TEST(FaultInjection, AnElementThatGoesBetweenTwoWalks) {
  namespace m = messages;
  // clang-format off
  const Vanishing cases[] = {
      {"the window closes when Color Bars is pressed", "color-bars", "onPress",
       {{"hide", "window"}}, R"({"action":"status","section":"primaries"})",
       std::string(m::kColorBarsUnavailable), {"press color-bars"}},
      {"the Blur palette closes when its mode is switched", "blur-mode-sharpen", "onPress",
       {{"hide", "blur-palette"}}, R"({"action":"status","section":"blur"})",
       std::string(m::kBlurUnavailable), {"press palette-blur", "press blur-mode-sharpen"}},
      {"a slider goes between the read and its set", "lift-y", "onSet",
       {{"hide", "lift-r"}}, R"({"action":"nudge","section":"primaries","changes":{"0":1,"1":1}})",
       std::string(m::kAdjustmentNotAccepted),
       {"press color-bars", "set lift-y -2", "set lift-r 3.5 refused"}},
      {"a row's slider goes when its link is pressed", "radius-link", "onPress",
       {{"hide", "radius-g"}}, R"({"action":"reset","section":"blur","index":0})",
       std::string(m::kAdjustmentNotAccepted),
       {"press palette-blur", "press blur-mode-sharpen", "press radius-link", "set radius-r 50",
        "set radius-g 50 refused", "press radius-link"}},
      {"the bars go while a reset settles", "gain-reset", "onPress",
       {{"hide", "primaries-bars"}, {"afterMs", 50}},
       R"({"action":"reset","section":"primaries","index":2})",
       m::controlsChanged("primaries", 15, 0), {"press color-bars", "press gain-reset"}},
      {"the palette goes while a nudge is applied", "offset-b", "onSet",
       {{"hide", "primaries-palette"}},
       R"({"action":"nudge","section":"primaries","changes":{"14":1}})",
       std::string(m::kColorBarsUnavailable), {"press color-bars", "set offset-b -3"}},
  };
  // clang-format on
  for (const Vanishing& c : cases) {
    SCOPED_TRACE(c.what);
    json scene = testing::defaultScene();
    nodeById(scene, c.node)[c.on].push_back(c.effect);
    testing::SceneFixture fixture;
    fixture.make(scene);
    EXPECT_EQ(testing::failureOf([&] {
                run(fixture.port(), fixture.clock, decodeRequest(c.request), fixture.messages());
              }),
              c.message);
    EXPECT_THAT(fixture.log(), ElementsAreArray(c.operations));
  }
}

}  // namespace
}  // namespace trovemark::color
