// Finding Resolve's window. Showing the palettes is tested with whole
// requests (dispatcher_test).

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "color_helper/accessibility/element.h"
#include "color_helper/messages.h"
#include "color_helper/window.h"
#include "testing/scene_fixture.h"

namespace trovemark::color {
namespace {

using testing::failureOf;
using testing::json;

json window(const std::string& description, bool hidden = false) {
  return {{"role", "AXWindow"}, {"description", description}, {"hidden", hidden}};
}

// What the scene offers as focused window and window list, and what the
// helper makes of them.
TEST(CurrentWindowTest, PrefersTheFocusedWindowOfTheFirstInstance) {
  const json w0 = window("first"), w1 = window("second"), both = {w0, w1};
  const std::pair<json, std::string_view> cases[] = {
      {json::array(), messages::kOpenResolve},
      {{{{"focusedWindow", 1}, {"windows", both}}}, "second"},
      {{{{"focusedWindow", nullptr}, {"windows", both}}}, "first"},
      {{{{"windows", both}}}, "first"},
      {{{{"focusedWindow", 2}, {"windows", both}}}, "first"},
      {{{{"focusedWindow", -1}, {"windows", both}}}, "first"},
      {{{{"focusedWindow", 0}, {"windows", {window("first", true), w1}}}}, "second"},
      {{{{"focusedWindow", 0}, {"windows", json::array()}}}, messages::kOpenProject},
      {{{{"focusedWindow", 0}}}, messages::kOpenProject},
      {{{{"focusedWindow", 0}, {"windows", "w0"}}}, messages::kOpenProject},
      {{{{"focusedWindow", nullptr}, {"windows", json::array()}},
        {{"focusedWindow", 0}, {"windows", {w0}}}},
       messages::kOpenProject},
  };
  for (const auto& [applications, expected] : cases) {
    testing::SceneFixture fixture;
    fixture.make({{"applications", applications}});
    std::string found;
    const std::string failure = failureOf(
        [&] { found = ax::element(fixture.port(), currentWindow(fixture.port())).describedAs(); });
    EXPECT_EQ(found.empty() ? failure : found, expected) << applications;
  }
}

}  // namespace
}  // namespace trovemark::color
