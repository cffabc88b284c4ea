// The desktop adapter and its D-Bus client in-process, against the default
// Color page served as an application on the bus serves it, its tree bent as
// a broken or hostile Resolve may bend it. Each request answers as the scene
// itself does, or, where the tree repeats itself, with the Color page's
// message, and costs no more calls than the walk's limit allows. Whatever a
// peer may send on the wire is the reply fuzzer's.

#include <gtest/gtest.h>

#include <deque>
#include <sstream>
#include <string>
#include <vector>

#include "color_helper/accessibility/atspi_linux.h"
#include "color_helper/accessibility/element.h"
#include "color_helper/accessibility/platform.h"
#include "color_helper/helper_main.h"
#include "color_helper/messages.h"
#include "testing/rogue/scene_peer.h"
#include "testing/scene_fixture.h"

namespace trovemark::ax {
namespace {

using testing::ScenePeer;

// A connection on which the desktop answers every call at once, truly.
class InstantWire final : public dbus::Wire {
 public:
  explicit InstantWire(ScenePeer& peer) : peer_(peer) {}

  bool send(DBusMessage* call, dbus_uint32_t& serial) override {
    serial = ++serial_;
    dbus_message_set_serial(call, serial);
    answers_.push_back(peer_.answerAsDesktop(call));
    return true;
  }
  bool readWrite(int) override { return true; }
  dbus::Message pop() override {
    if (answers_.empty()) return nullptr;
    dbus::Message next = std::move(answers_.front());
    answers_.pop_front();
    return next;
  }

 private:
  ScenePeer& peer_;
  dbus_uint32_t serial_ = 0;
  std::deque<dbus::Message> answers_;
};

// The one line a request ends with, on either stream.
std::string said(Accessibility& ax, Clock& clock, const std::string& json) {
  std::ostringstream out, err;
  color::helperMain({&json, 1}, out, err, ax, clock, color::messages::kLinuxMessages);
  return out.str() + err.str();
}

TEST(BentTree, AnswersAsTheSceneForNoMoreCallsThanTheWalkAllows) {
  setUpProcess();
  const std::string requests[] = {R"({"action":"status","section":"primaries"})",
                                  R"({"action":"reset","section":"primaries","index":0})"};
  enum Bend { kNone, kCycle, kWide, kWindows };
  const char* const names[] = {"as it is", "the window's first child lists the window first",
                               "100,000 more children after the window's own",
                               "99,999 empty windows after the real one"};
  std::vector<std::uint64_t> plainCalls;
  for (const Bend bend : {kNone, kCycle, kWide, kWindows}) {
    SCOPED_TRACE(names[bend]);
    testing::SceneFixture expected, served;
    expected.make(testing::defaultScene());
    served.make(testing::defaultScene());
    ScenePeer peer(*served.scene, ":1.7");
    const std::string window = peer.children(ScenePeer::kRootPath).at(0);
    const std::string first = peer.children(window).at(0);
    peer.editChildren = [&](const std::string& path, std::vector<std::string>& children) {
      const bool wide = bend == kWide && path == window;
      if (bend == kCycle && path == first) children.insert(children.begin(), window);
      // 99,999 more windows make the list as long as the client takes.
      if (wide || (bend == kWindows && path == ScenePeer::kRootPath)) {
        for (int i = wide ? 0 : 1; i < 100000; ++i) {
          children.push_back("/org/a11y/atspi/accessible/x" + std::to_string(i));
        }
      }
    };
    for (std::size_t i = 0; i < std::size(requests); ++i) {
      SCOPED_TRACE(requests[i]);
      atspi::Options options;
      options.sessionBus = "in-process";
      options.connect = [&peer](const std::string&, Clock& clock, dbus::BusOptions bus) {
        return dbus::Bus::over(std::make_unique<InstantWire>(peer), clock, bus);
      };
      atspi::Accessibility adapter(served.clock, options);
      const std::string outcome = said(adapter, served.clock, requests[i]);
      if (bend == kNone) plainCalls.push_back(adapter.calls());
      if (bend == kCycle) {
        // The walk lists the repeats down to its limit and finds no palette:
        // one walk of the limit and its read-ahead of 64, four calls a node.
        EXPECT_EQ(outcome, std::string(color::messages::kOpenColorPage) + "\n");
        EXPECT_LE(adapter.calls(), (kDefaultWalkLimit + 64) * 4 + 20);
      } else {
        EXPECT_EQ(outcome, said(*expected.scene, expected.clock, requests[i]));
        // A longer list costs hardly more: what is read ahead, or in flight.
        EXPECT_LE(adapter.calls(), plainCalls[i] * 11 / 10);
      }
    }
  }
}

}  // namespace
}  // namespace trovemark::ax
