// The desktop backend's D-Bus client: reading the accessibility protocol's
// answers, refusing to address a call with a name or path that libdbus would
// take for a programming error (it would end the helper), and the pipelined
// connection's own bookkeeping on the private session bus.

#include <dbus/dbus.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <string>
#include <vector>

#include "color_helper/accessibility/dbus_linux.h"
#include "testing/rogue/replies.h"

namespace trovemark::ax {
namespace {

using testing::replies::array;
using testing::replies::variant;

dbus::Message reply() { return testing::replies::to(nullptr); }

TEST(ProtocolAnswers, WrongShapesAreNotRead) {
  auto strings = reply();
  const char* text = "x";
  dbus_message_append_args(strings.get(), DBUS_TYPE_STRING, &text, DBUS_TYPE_INVALID);
  std::vector<dbus::ObjectRef> refs;
  std::vector<std::uint32_t> words;
  std::uint32_t number = 0;
  dbus::Variant v;
  EXPECT_FALSE(dbus::readObjectRefs(strings.get(), refs));
  EXPECT_FALSE(dbus::readUint32s(strings.get(), words));
  EXPECT_FALSE(dbus::readUint32(strings.get(), number));
  EXPECT_FALSE(dbus::readVariant(strings.get(), v));
  EXPECT_FALSE(dbus::readObjectRefs(nullptr, refs));
  auto empty = reply();
  EXPECT_FALSE(dbus::readUint32(empty.get(), number));
}

dbus::Message refs(std::size_t count, const std::string& path) {
  return array(nullptr, "(so)", count,
               [&](DBusMessageIter& it, std::size_t) { testing::replies::ref(it, ":1.5", path); });
}

TEST(ProtocolAnswers, AnythingOverTheCapsReadsAsUnreadable) {
  const std::string longest(dbus::kMaxText, 'x'), over = longest + "x";
  dbus::Variant v;
  EXPECT_TRUE(dbus::readVariant(variant(nullptr, DBUS_TYPE_STRING, "s", longest.c_str()).get(), v));
  EXPECT_EQ(v.text, longest);
  EXPECT_FALSE(dbus::readVariant(variant(nullptr, DBUS_TYPE_STRING, "s", over.c_str()).get(), v));
  auto text = array(nullptr, "s", 1,
                    [&](DBusMessageIter& it, std::size_t) { testing::replies::put(it, over); });
  std::vector<std::string> texts;
  EXPECT_FALSE(dbus::readStrings(text.get(), texts));

  std::vector<std::uint32_t> words;
  auto word = [](DBusMessageIter& it, std::size_t) {
    testing::replies::put(it, DBUS_TYPE_UINT32, dbus_uint32_t{1});
  };
  EXPECT_TRUE(dbus::readUint32s(array(nullptr, "u", dbus::kMaxListItems, word).get(), words));
  EXPECT_EQ(words.size(), dbus::kMaxListItems);
  EXPECT_FALSE(dbus::readUint32s(array(nullptr, "u", dbus::kMaxListItems + 1, word).get(), words));

  // A walk reads a child list only as far as it can use it, however long.
  std::vector<dbus::ObjectRef> list;
  const auto many = refs(dbus::kMaxListItems + 1, "/a");
  EXPECT_FALSE(dbus::readObjectRefs(many.get(), list));
  int seen = 0;
  EXPECT_TRUE(dbus::forEachObjectRef(many.get(), [&](dbus::ObjectRef&&) { return ++seen < 2; }));
  EXPECT_EQ(seen, 2);
  EXPECT_FALSE(dbus::readObjectRefs(refs(1, "/" + over).get(), list));
  EXPECT_FALSE(
      dbus::forEachObjectRef(refs(1, "/" + over).get(), [](dbus::ObjectRef&&) { return true; }));
}

// Doubles, texts and booleans are the walk equality's and the end-to-end tests'.
TEST(ProtocolAnswers, IntegersKeepTheirSignAndPathsAreNoText) {
  dbus::Variant v;
  ASSERT_TRUE(dbus::readVariant(variant(nullptr, DBUS_TYPE_INT32, "i", dbus_int32_t{-7}).get(), v));
  EXPECT_EQ(v.number, -7);
  ASSERT_TRUE(dbus::readVariant(variant(nullptr, DBUS_TYPE_OBJECT_PATH, "o", "/a").get(), v));
  EXPECT_EQ(v.kind, dbus::Variant::Kind::kOther);
}

TEST(ProtocolAnswers, MalformedNamesNeverReachLibdbus) {
  const std::string withNul("org.a\0b", 7);
  for (const std::string& peer : {std::string(), std::string("no dots"), std::string("org..x"),
                                  std::string("\xff.\xfe"), withNul}) {
    EXPECT_FALSE(dbus::validPeer(peer)) << peer;
    EXPECT_EQ(dbus::methodCall(peer, "/a", "org.x.Y", "Z"), nullptr);
  }
  for (const std::string& path : {std::string(), std::string("relative"), std::string("/a//b"),
                                  std::string("/a/"), std::string("/a\0b", 4)}) {
    EXPECT_FALSE(dbus::validPath(path)) << path;
    EXPECT_EQ(dbus::propertyGet(":1.5", path, "org.x.Y", "Z"), nullptr);
  }
  EXPECT_TRUE(dbus::validPeer(":1.5"));
  EXPECT_TRUE(dbus::validPeer("org.a11y.atspi.Registry"));
  EXPECT_NE(dbus::methodCall(":1.5", "/org/a11y/atspi/accessible/root", "org.x.Y", "Z"), nullptr);
}

TEST(PipelinedBus, EveryCallAnsweredOnceWithinTheWindow) {
  SystemClock clock;
  const char* session = std::getenv("DBUS_SESSION_BUS_ADDRESS");
  ASSERT_NE(session, nullptr);
  auto bus = dbus::Bus::connect(session, clock, {std::chrono::seconds(5), 16});
  ASSERT_TRUE(bus);
  constexpr int kCalls = 500;
  std::vector<int> answered(kCalls, 0);
  int sent = 0;
  std::size_t mostInFlight = 0;
  bus->run([&] {
    mostInFlight = std::max(mostInFlight, bus->inFlight());
    while (sent < kCalls && bus->hasRoom()) {
      const int i = sent++;
      // Even calls succeed, odd ones go to a name nobody owns.
      auto call = i % 2 == 0 ? dbus::methodCall(DBUS_SERVICE_DBUS, DBUS_PATH_DBUS,
                                                DBUS_INTERFACE_DBUS, "GetId")
                             : dbus::methodCall("org.trovemark.Nobody" + std::to_string(i), "/x",
                                                "org.trovemark.Nothing", "Nothing");
      bus->call(std::move(call), [&answered, i](DBusMessage* reply) {
        std::string id;
        answered[i] += 1 + (dbus::readString(reply, id) && !id.empty() ? 10 : 0);
      });
    }
  });
  EXPECT_LE(mostInFlight, 16u);
  for (int i = 0; i < kCalls; ++i) EXPECT_EQ(answered[i], i % 2 == 0 ? 11 : 1) << i;
}

}  // namespace
}  // namespace trovemark::ax
