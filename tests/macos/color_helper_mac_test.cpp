// The Color helper through its macOS adapter, run against the simulated Mac:
// every request answers exactly as it does through the scene port directly
// (response, message, exit status, operations and settle polls), and every
// object the adapter obtained has been released when it is done.

#include <gtest/gtest.h>

#include <sstream>

#include "color_helper/accessibility/ax_mac.h"
#include "color_helper/accessibility/element.h"
#include "color_helper/helper_main.h"
#include "color_helper/messages.h"
#include "testing/scene_fixture.h"
#include "testing/macos/simulation.h"

namespace trovemark {
namespace {

using testing::json;
using testing::nodeById;
namespace m = color::messages;

struct Outcome {
  int status = -1;
  std::string out;
  std::string err;
  std::vector<std::string> operations;
  std::size_t sleeps = 0;
  bool operator==(const Outcome&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Outcome& o) {
  os << o.status << " out=" << o.out << " err=" << o.err << " sleeps=" << o.sleeps;
  for (const auto& line : o.operations) os << "\n  " << line;
  return os;
}

Outcome run(scene::Scene& scene, ax::Accessibility& port, testing::FakeClock& clock,
            const std::string& request) {
  Outcome outcome;
  std::ostringstream out, err;
  const std::vector<std::string> args{request};
  outcome.status = color::helperMain(args, out, err, port, clock);
  outcome.out = out.str();
  outcome.err = err.str();
  for (const auto& op : scene.operations()) outcome.operations.push_back(op.toJsonLine());
  outcome.sleeps = clock.sleeps().size();
  return outcome;
}

Outcome direct(const json& sceneJson, const std::string& request) {
  testing::FakeClock clock;
  auto scene = scene::Scene::parse(sceneJson.dump(), clock);
  return run(*scene, *scene, clock, request);
}

Outcome throughMac(const json& sceneJson, const std::string& request) {
  testing::FakeClock clock;
  auto scene = scene::Scene::parse(sceneJson.dump(), clock);
  macsim::Session session;
  session.world().scene = scene.get();
  Outcome outcome;
  {
    ax::mac::Accessibility mac;
    outcome = run(*scene, mac, clock, request);
  }
  EXPECT_EQ(macsim::unreleased(), "");
  return outcome;
}

// Removes the first readout bound to `id` below `node`.
bool dropReadout(json& node, const std::string& id) {
  if (!node.contains("children") || !node["children"].is_array()) return false;
  auto& children = node["children"];
  for (auto it = children.begin(); it != children.end(); ++it) {
    if (it->contains("bind") && (*it)["bind"]["id"] == id) {
      children.erase(it);
      return true;
    }
    if (dropReadout(*it, id)) return true;
  }
  return false;
}

struct Case {
  const char* what;
  std::string request;
  void (*edit)(json&);
  std::string message;  // empty for an answer
};

void none(json&) {}

TEST(ColorHelperOnMac, AnswersExactlyAsThroughTheScenePort) {
  const Case cases[] = {
      {"status, Color Bars switched on", R"({"action":"status","section":"primaries"})", none, ""},
      {"status, Blur palette opened", R"({"action":"status","section":"blur","mode":"Blur"})", none,
       ""},
      {"status, Sharpen mode switched", R"({"action":"status","section":"blur"})", none, ""},
      {"nudge primaries", R"({"action":"nudge","section":"primaries","changes":{"14":-2,"0":1.5}})",
       none, ""},
      {"nudge blur", R"({"action":"nudge","section":"blur","changes":{"8":3,"0":-0.5}})", none, ""},
      {"reset primaries, settled", R"({"action":"reset","section":"primaries","index":2})", none,
       ""},
      {"reset primaries, never settles", R"({"action":"reset","section":"primaries","index":0})",
       [](json& s) { nodeById(s, "lift-reset").erase("onPress"); }, ""},
      {"reset blur with its link", R"({"action":"reset","section":"blur","index":0})", none, ""},
      {"reset blur without its link", R"({"action":"reset","section":"blur","index":2})",
       [](json& s) { nodeById(s, "scaling-link")["value"] = 0; }, ""},
      {"the window list when none is focused", R"({"action":"status","section":"primaries"})",
       [](json& s) { s["applications"][0]["focusedWindow"] = nullptr; }, ""},
      {"a second instance is ignored", R"({"action":"status","section":"primaries"})",
       [](json& s) {
         s["applications"].push_back(json::object({{"windows", json::array()}}));
       },
       ""},
      {"section in capitals", R"({"action":"status","section":"Primaries"})", none,
       std::string(m::kUnknownSection)},
      {"not trusted", R"({"action":"status","section":"blur"})",
       [](json& s) { s["trusted"] = false; }, std::string(m::kNotTrusted)},
      {"Resolve not running", R"({"action":"status","section":"primaries"})",
       [](json& s) { s["applications"] = json::array(); }, std::string(m::kOpenResolve)},
      {"no window", R"({"action":"status","section":"primaries"})",
       [](json& s) {
         s["applications"][0]["focusedWindow"] = nullptr;
         nodeById(s, "window")["hidden"] = true;
       },
       std::string(m::kOpenProject)},
      {"the first instance has no window", R"({"action":"status","section":"primaries"})",
       [](json& s) {
         s["applications"].insert(s["applications"].begin(),
                                  json::object({{"windows", json::array()}}));
       },
       std::string(m::kOpenProject)},
      {"unknown action", R"({"action":"Status","section":"primaries"})", none,
       std::string(m::kUnknownAction)},
      {"invalid adjustment", R"({"action":"nudge","section":"blur","changes":{"9":1}})", none,
       std::string(m::kInvalidAdjustment)},
      {"reset row out of range", R"({"action":"reset","section":"primaries","index":4})", none,
       std::string(m::kResetUnavailable)},
      {"no channel link", R"({"action":"reset","section":"blur","index":1})",
       [](json& s) {
         for (const char* id : {"radius-link", "ratio-link", "scaling-link"}) {
           nodeById(s, id)["description"] = "Link";
         }
       },
       std::string(m::kChannelLinkUnavailable)},
      {"press refused", R"({"action":"reset","section":"primaries","index":1})",
       [](json& s) { nodeById(s, "gamma-reset")["refusePress"] = true; },
       std::string(m::kControlNotActivated)},
      {"set refused", R"({"action":"nudge","section":"primaries","changes":{"1":1}})",
       [](json& s) { nodeById(s, "lift-r")["refuseSet"] = true; },
       std::string(m::kAdjustmentNotAccepted)},
      {"no Color page", R"({"action":"status","section":"primaries"})",
       [](json& s) { nodeById(s, "primaries-title")["value"] = "Wheels"; },
       std::string(m::kOpenColorPage)},
      {"no Color Bars", R"({"action":"status","section":"primaries"})",
       [](json& s) { nodeById(s, "color-bars")["description"] = "Bars"; },
       std::string(m::kColorBarsUnavailable)},
      {"no Blur palette", R"({"action":"status","section":"blur"})",
       [](json& s) { nodeById(s, "palette-blur")["description"] = "Blurs"; },
       std::string(m::kBlurUnavailable)},
      {"no Sharpen mode", R"({"action":"status","section":"blur"})",
       [](json& s) { nodeById(s, "blur-mode-sharpen")["description"] = "Sharp"; },
       m::modeUnavailable("Sharpen")},
      {"a slider missing", R"({"action":"status","section":"primaries"})",
       [](json& s) { nodeById(s, "gain-g")["hidden"] = true; },
       m::controlsChanged("primaries", 15, 14)},
      {"a readout missing", R"({"action":"status","section":"primaries"})",
       [](json& s) {
         dropReadout(nodeById(s, "primaries-bars"), "lift-r");
         dropReadout(nodeById(s, "primaries-bars"), "lift-g");
       },
       m::readoutShort(2, 4)},
      {"the window goes between walks", R"({"action":"status","section":"primaries"})",
       [](json& s) {
         nodeById(s, "color-bars")["onPress"].push_back({{"hide", "window"}});
       },
       std::string(m::kColorBarsUnavailable)},
      {"a slider goes between its read and its set",
       R"({"action":"nudge","section":"primaries","changes":{"0":1,"1":1}})",
       [](json& s) {
         nodeById(s, "lift-y")["onSet"] = {{{"hide", "lift-r"}}};
       },
       std::string(m::kAdjustmentNotAccepted)},
      {"the bars go while a reset settles", R"({"action":"reset","section":"primaries","index":2})",
       [](json& s) {
         nodeById(s, "gain-reset")["onPress"].push_back(
             {{"hide", "primaries-bars"}, {"afterMs", 50}});
       },
       m::controlsChanged("primaries", 15, 0)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    json scene = testing::defaultScene();
    c.edit(scene);
    const Outcome expected = direct(scene, c.request);
    EXPECT_EQ(expected.status, c.message.empty() ? 0 : 1);
    EXPECT_EQ(expected.err, c.message.empty() ? "" : c.message + "\n");
    EXPECT_EQ(throughMac(scene, c.request), expected);
  }
}

// Each kind of value the platform hands back, and each error it reports,
// read singly and in one round trip.
TEST(ColorHelperOnMac, ValuesAndErrorsMapAsThePortPromises) {
  testing::FakeClock clock;
  const json children = json::parse(R"([
      {"id":"text","role":"AXStaticText","value":"0.50"},
      {"id":"number","role":"AXSlider","description":"S","value":12.5},
      {"id":"boolean","role":"AXCheckBox","value":true},
      {"id":"list","role":"AXList","value":[1,2]},
      {"id":"point","role":"AXImage","value":{"x":1}},
      {"id":"missing","role":"AXGroup","children":[]},
      {"id":"failing","role":"AXGroup","description":"d","value":1,"children":[{"role":"AXButton"}]}])");
  auto scene = scene::Scene::parse(testing::oneWindow(children.dump()), clock);
  const auto id = [&](const char* name) { return *scene->model().find(name); };

  struct Value {
    const char* id;
    std::optional<ax::AttributeValue> value;
  };
  const Value values[] = {
      {"text", ax::AttributeValue(std::string("0.50"))},
      {"number", ax::AttributeValue(12.5)},
      {"boolean", ax::AttributeValue(ax::OtherValue{"boolean"})},
      {"list", ax::AttributeValue(ax::OtherValue{"array"})},
      {"point", ax::AttributeValue(ax::OtherValue{"AXValue"})},
      {"missing", std::nullopt},
  };
  using F = macsim::Failure;
  struct Error {
    F failure;
    std::size_t roundTrips;  // of one readNode: a whole-call failure falls back to single reads
  };
  const Error errors[] = {{F::kAttributeUnsupported, 1},
                          {F::kNoValue, 1},
                          {F::kCannotComplete, 5},
                          {F::kInvalidUIElement, 5},
                          {F::kAPIDisabled, 5}};

  macsim::Session session;
  auto& world = session.world();
  world.scene = scene.get();
  {
    ax::mac::Accessibility mac;
    const auto app = mac.applicationElement(scene::Scene::kFirstProcessId);
    const auto windows = mac.attribute(app, ax::kWindows);
    ASSERT_TRUE(windows);
    const auto window = std::get<std::vector<ax::ElementRef>>(*windows).at(0);
    const auto nodes = std::get<std::vector<ax::ElementRef>>(*mac.attribute(window, ax::kChildren));
    ASSERT_EQ(nodes.size(), 7u);
    for (std::size_t i = 0; i < std::size(values); ++i) {
      SCOPED_TRACE(values[i].id);
      EXPECT_EQ(mac.attribute(nodes[i], ax::kValue), values[i].value);
      const std::size_t before = world.roundTrips;
      EXPECT_EQ(mac.readNode(nodes[i]).value, values[i].value);
      EXPECT_EQ(world.roundTrips - before, 1u);
    }
    // Each read hands out new element objects; CFEqual knows them as one.
    const auto again = std::get<std::vector<ax::ElementRef>>(*mac.attribute(window, ax::kChildren));
    EXPECT_TRUE(mac.sameElement(nodes[0], again[0]));
    EXPECT_FALSE(mac.sameElement(nodes[0], again[1]));
    EXPECT_EQ(mac.attribute(nodes[0], "AXTitle"), std::nullopt);  // unsupported
    EXPECT_EQ(mac.attribute(app, ax::kChildren), std::nullopt);

    const auto& failing = nodes[6];
    ASSERT_EQ(mac.readNode(failing).children->index(), 2u);  // a list, before it fails
    for (const Error& e : errors) {
      SCOPED_TRACE(static_cast<int>(e.failure));
      world.failingReads = {{id("failing"), e.failure}};
      EXPECT_EQ(mac.attribute(failing, ax::kRole), std::nullopt);
      const std::size_t before = world.roundTrips;
      const ax::NodeReading reading = mac.readNode(failing);
      EXPECT_EQ(world.roundTrips - before, e.roundTrips);
      EXPECT_TRUE(!reading.role && !reading.description && !reading.value && !reading.children);
      // The walk takes it for a leaf with no role and goes on.
      const auto walked = mac.flatten(window, 100);
      ASSERT_EQ(walked.size(), 8u);
      EXPECT_EQ(walked[7].role, "");
    }
    world.failingReads.clear();
    EXPECT_TRUE(mac.setValue(nodes[1], -0.25));
    EXPECT_FALSE(mac.press(app));
  }
  EXPECT_EQ(scene->valueOf("number"), ax::AttributeValue(-0.25));
  EXPECT_EQ(macsim::unreleased(), "");
}

}  // namespace
}  // namespace trovemark
