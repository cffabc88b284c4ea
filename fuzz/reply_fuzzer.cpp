// Fuzzes the desktop adapter's reading of D-Bus replies: the helper runs a
// "status" or a "reset" (the first byte picks which, of which section and
// row, and on the Color page or a small window) through the real
// AT-SPI adapter and D-Bus client, over a wire that answers each call as the
// input says. One byte per call picks the answer: the true one (a small Color
// page served as an application on the bus serves it), an error, a reply of
// another signature, one of the expected signature with extreme values
// (empty and 1,000,000-element arrays, names and paths at and past their
// limits, NaN and infinities, unknown roles and states, a child list naming
// the node itself or an ancestor), no reply, a late one, bytes changed on the
// wire (libdbus drops a connection whose message does not validate, invalid
// UTF-8 included), stray messages, a reply twice. When the input ends, the
// peer goes away.
//
// Invariants: no crash, no sanitizer report, no hang; each request ends with
// one line, a response or a message; and it waits, by the fake clock, no more
// than the request's wait budget plus the settle wait of "reset".

#include <dbus/dbus.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "color_helper/accessibility/atspi_linux.h"
#include "color_helper/accessibility/platform.h"
#include "color_helper/helper_main.h"
#include "fuzz/bytes.h"
#include "fuzz/check.h"
#include "scene_engine/scene.h"
#include "testing/rogue/replies.h"
#include "testing/rogue/scene_peer.h"
#include "testing/scene_fixture.h"
#include "testing/temp_dir.h"

namespace trovemark::fuzz {
namespace {

using ax::dbus::Message;
using Clock = ax::Clock;
using namespace testing::replies;

constexpr const char* kPeer = ":1.7";
constexpr std::uint32_t kHuge = 1000000;

// Time that moves only when the helper waits on the wire or sleeps.
class FuzzClock final : public Clock {
 public:
  TimePoint now() override { return now_; }
  void sleep(Duration d) override { now_ += d; }
  void advance(Duration d) { now_ += d; }

 private:
  TimePoint now_{};
};

// What one input sets up: the scene, its answers, the clock and the choices.
struct Peer {
  Bytes& bytes;
  FuzzClock& clock;
  testing::ScenePeer& scene;
  std::string window;

  bool tooLarge = false;  // the last reply is larger than the client takes

  // A list of `count` of the simplest elements of `signature`. Each is built
  // once: a million elements take long to build, and their copies short.
  Message many(DBusMessage* call, const std::string& signature, std::size_t count) {
    struct Built {
      Message message;
      int length = 0;
    };
    static std::map<std::pair<std::string, std::size_t>, Built> built;
    auto [it, added] = built.try_emplace({signature, count});
    if (added) {
      it->second.message =
          array(nullptr, signature.c_str() + 1, count, [&](DBusMessageIter& a, std::size_t) {
            if (signature == "a(so)") return ref(a, "", "/");
            if (signature == "au") return put(a, DBUS_TYPE_UINT32, ~dbus_uint32_t{0});
            if (signature == "as") return put(a, DBUS_TYPE_STRING, "Press");
            open(a, DBUS_TYPE_STRUCT, nullptr, [](DBusMessageIter& fields) {
              for (int i = 0; i < 3; ++i) put(fields, DBUS_TYPE_STRING, "Press");
            });
          });
      char* data = nullptr;
      dbus_message_marshal(it->second.message.get(), &data, &it->second.length);
      dbus_free(data);
    }
    tooLarge = it->second.length > ax::dbus::kMaxMessageBytes;
    Message m(dbus_message_copy(it->second.message.get()));
    dbus_message_set_reply_serial(m.get(), dbus_message_get_serial(call));
    return m;
  }

  // A reply of `signature` with values at the edges.
  Message extreme(DBusMessage* call, const std::string& signature) {
    const std::string self = dbus_message_get_path(call);
    const std::string longName = "a." + std::string(253 + bytes.upTo(1), 'b');  // 255, 256
    const std::string longPath = "/" + std::string(ax::dbus::kMaxText - 1 + bytes.upTo(1), 'p');
    const std::uint32_t pick = bytes.upTo(8);
    const std::uint8_t size = pick == 8 ? bytes.byte() : 0;
    if (size >= 0xfe && signature.front() == 'a') {
      return many(call, signature, size == 0xff ? kHuge : ax::dbus::kMaxListItems + 1);
    }
    if (signature == "a(so)") {
      const std::pair<std::string, std::string> refs[] = {{kPeer, self},
                                                          {kPeer, window},
                                                          {kPeer, testing::ScenePeer::kRootPath},
                                                          {"", "/org/a11y/atspi/null"},
                                                          {longName, "/a"},
                                                          {kPeer, longPath},
                                                          {"not a name", "/a"},
                                                          {kPeer, "/a"},
                                                          {"", "/"}};
      const std::string& peer = refs[pick].first;  // clang 14 captures no structured binding
      const std::string& path = refs[pick].second;
      return array(call, "(so)",
                   pick == 8   ? 3
                   : pick == 7 ? 0
                               : 1 + bytes.upTo(2),
                   [&](DBusMessageIter& it, std::size_t) { ref(it, peer, path); });
    }
    if (signature == "u") {
      const dbus_uint32_t roles[] = {0, 0xffffffffu, 1000, 75, 7, 67, 51, 29, 43};
      return basic(call, DBUS_TYPE_UINT32, roles[pick]);
    }
    if (signature == "au") {
      const dbus_uint32_t word = pick % 2 ? 0xffffffffu : 0;
      return array(call, "u", pick == 8 ? 3 : pick / 2,
                   [&](DBusMessageIter& it, std::size_t) { put(it, DBUS_TYPE_UINT32, word); });
    }
    if (signature == "as" || signature == "a(sss)") {
      const std::string item = pick < 3   ? "org.a11y.atspi.Value"
                               : pick < 5 ? "org.a11y.atspi.Text"
                               : pick < 7 ? "Toggle"
                               : pick < 8 ? longPath
                                          : "Press";
      return array(call, signature.c_str() + 1, pick == 8 ? 3 : pick % 3,
                   [&](DBusMessageIter& it, std::size_t) {
                     if (signature == "as") return put(it, item);
                     open(it, DBUS_TYPE_STRUCT, nullptr, [&](DBusMessageIter& fields) {
                       for (const std::string& f : {item, std::string(), std::string()}) {
                         put(fields, f);
                       }
                     });
                   });
    }
    if (signature == "v") {
      const double numbers[] = {std::nan(""),
                                std::numeric_limits<double>::infinity(),
                                -std::numeric_limits<double>::infinity(),
                                -0.0,
                                std::numeric_limits<double>::max(),
                                std::numeric_limits<double>::denorm_min()};
      if (pick < 6) return variant(call, DBUS_TYPE_DOUBLE, "d", numbers[pick]);
      if (pick == 6) return variant(call, DBUS_TYPE_INT64, "x", INT64_MIN);
      if (pick == 7) return variant(call, DBUS_TYPE_UINT64, "t", UINT64_MAX);
      return variant(call, DBUS_TYPE_STRING, "s", longPath.c_str());
    }
    if (signature == "s") {
      const std::string texts[] = {"", longPath, "Primaries - " + longPath, "nan", "-inf"};
      return basic(call, DBUS_TYPE_STRING, texts[pick % 5].c_str());
    }
    if (signature == "b") return basic(call, DBUS_TYPE_BOOLEAN, dbus_bool_t{pick % 2});
    if (signature == "d") return basic(call, DBUS_TYPE_DOUBLE, 0.5);
    if (signature == "o") return basic(call, DBUS_TYPE_OBJECT_PATH, "/a");
    return to(call);
  }

  // A reply of some signature, whatever was asked.
  Message otherSignature(DBusMessage* call) {
    const char* const kSignatures[] = {"",  "s",  "u",  "d",     "o",     "b",
                                       "v", "au", "as", "a(so)", "a(sss)"};
    return extreme(call, bytes.pick(kSignatures));
  }
};

// The connection the helper's D-Bus client runs over, answering from the input.
class FuzzWire final : public ax::dbus::Wire {
 public:
  explicit FuzzWire(Peer& peer) : peer_(peer) {}

  bool send(DBusMessage* call, dbus_uint32_t& serial) override {
    if (gone_) return false;
    serial = ++serial_;
    dbus_message_set_serial(call, serial);
    answer(call);
    return true;
  }

  bool readWrite(int timeoutMs) override {
    if (gone_) return false;
    const auto until = peer_.clock.now() + std::chrono::milliseconds(timeoutMs);
    const auto next = queue_.empty() ? until : std::min(until, queue_.begin()->first);
    if (next > peer_.clock.now()) peer_.clock.advance(next - peer_.clock.now());
    return true;
  }

  Message pop() override {
    if (queue_.empty() || queue_.begin()->first > peer_.clock.now()) return nullptr;
    return std::move(queue_.extract(queue_.begin()).mapped());
  }

 private:
  // Messages due at the same time leave in the order they were delivered.
  void deliver(Message m, Clock::Duration after = {}) {
    if (m) queue_.emplace(peer_.clock.now() + after, std::move(m));
  }

  // The message as it comes off the wire after `at` byte is set to `value`:
  // libdbus validates what it reads and drops the connection when it fails.
  void corrupt(Message m, std::uint32_t at, std::uint8_t value) {
    char* data = nullptr;
    int length = 0;
    if (!dbus_message_marshal(m.get(), &data, &length)) return;
    data[at % length] = static_cast<char>(value);
    DBusMessage* read = dbus_message_demarshal(data, length, nullptr);
    dbus_free(data);
    if (read == nullptr) gone_ = true;
    deliver(Message(read));
  }

  void answer(DBusMessage* call) {
    if (peer_.bytes.empty()) {
      gone_ = true;  // the peer has left
      return;
    }
    const std::uint8_t choice = peer_.bytes.byte();
    Message truth = peer_.scene.answerAsDesktop(call);
    if (choice < 128) return deliver(std::move(truth));
    if (choice < 160) {
      const char* const kErrors[] = {DBUS_ERROR_FAILED,          DBUS_ERROR_UNKNOWN_METHOD,
                                     DBUS_ERROR_SERVICE_UNKNOWN, DBUS_ERROR_NO_REPLY,
                                     DBUS_ERROR_DISCONNECTED,    DBUS_ERROR_ACCESS_DENIED,
                                     DBUS_ERROR_LIMITS_EXCEEDED, "org.a11y.Rogue"};
      return deliver(Message(dbus_message_new_error(call, peer_.bytes.pick(kErrors), "no")));
    }
    if (choice < 224) {
      peer_.tooLarge = false;
      Message m = choice < 192 ? peer_.otherSignature(call)
                               : peer_.extreme(call, dbus_message_get_signature(truth.get()));
      // libdbus ends a connection whose message is larger than the client takes.
      if (peer_.tooLarge) gone_ = true;
      return deliver(std::move(m));
    }
    if (choice < 232) return;  // never answered
    if (choice < 240) {
      return deliver(std::move(truth), std::chrono::milliseconds(1500 + peer_.bytes.upTo(1000)));
    }
    if (choice < 248) return corrupt(std::move(truth), peer_.bytes.upTo(4095), peer_.bytes.byte());
    if (choice < 252) {
      // A signal, a call to the helper and an answer to no call come first.
      deliver(Message(dbus_message_new_signal("/a", "org.a11y.atspi.Event.Object", "Flood")));
      deliver(Message(dbus_message_new_method_call(kPeer, "/a", "org.a11y.Rogue", "Ask")));
      Message stray = to(call);
      dbus_message_set_reply_serial(stray.get(), serial_ + 1000);
      deliver(std::move(stray));
      return deliver(std::move(truth));
    }
    deliver(Message(dbus_message_copy(truth.get())));
    deliver(std::move(truth));
  }

  Peer& peer_;
  dbus_uint32_t serial_ = 0;
  std::multimap<Clock::TimePoint, Message> queue_;
  bool gone_ = false;
};

// One request through the helper, checked.
void request(Peer& peer, const std::string& json) {
  ax::atspi::Options options;
  options.sessionBus = "fuzz";
  options.connect = [&peer](const std::string&, Clock& clock, ax::dbus::BusOptions bus) {
    return ax::dbus::Bus::over(std::make_unique<FuzzWire>(peer), clock, bus);
  };
  ax::atspi::Accessibility adapter(peer.clock, options);
  std::ostringstream out, err;
  const auto start = peer.clock.now();
  const int status =
      color::helperMain({&json, 1}, out, err, adapter, peer.clock, color::messages::kLinuxMessages);
  const std::string said = status == 0 ? out.str() : err.str();
  // Time passes only while waiting on the bus and in the settle wait's sleeps.
  const double waited = std::chrono::duration<double>(peer.clock.now() - start).count();
  if (std::getenv("TROVEMARK_FUZZ_VERBOSE")) {
    std::fprintf(stderr, "%s, %.3f s -> %s", json.c_str(), waited, said.c_str());
  }
  check(status == 0 || status == 1, "exit status " + std::to_string(status));
  check((status == 0 ? err : out).str().empty(), "both streams written");
  check(said.size() > 1 && said.find('\n') == said.size() - 1, "not one line: " + said);
  check(waited <= std::chrono::duration<double>(ax::kRequestWaitBudget).count() + 1.61,
        "waited " + std::to_string(waited) + " s: " + json);
}

}  // namespace
}  // namespace trovemark::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace trovemark;
  // The Color page's palettes, or a window of one node of each kind the
  // helper reads, whose requests end early and so run many times faster.
  static const std::string scenes[] = {
      testing::readFile(std::filesystem::path(TROVEMARK_SOURCE_DIR) /
                        "scenes/color-page-palettes-only.json"),
      testing::oneWindow(R"([{"role":"AXStaticText","value":"Primaries - 0.50"},
          {"role":"AXCheckBox","description":"Color Bars","value":0},
          {"role":"AXSlider","value":1.5},
          {"role":"AXGroup","children":[{"role":"AXButton","description":"Reset"}]}])")};
  static const bool ready = (ax::setUpProcess(), true);
  (void)ready;
  fuzz::Bytes bytes(data, size);
  const std::uint8_t first = bytes.byte();
  const std::string section = first & 1 ? "blur" : "primaries";
  // A scene nothing was operated in is as good as new: parsing one anew for
  // every input would cost as much as a short run.
  static fuzz::FuzzClock clock;
  static std::unique_ptr<scene::Scene> parsed[2];
  auto& scene = parsed[first >> 4 & 1];
  if (!scene || !scene->operations().empty())
    scene = scene::Scene::parse(scenes[first >> 4 & 1], clock);
  testing::ScenePeer answers(*scene, fuzz::kPeer);
  fuzz::Peer peer{bytes, clock, answers, answers.children(testing::ScenePeer::kRootPath).at(0)};
  if (first & 2) {
    fuzz::request(peer, R"({"action":"reset","section":")" + section +
                            R"(","mode":"Blur","index":)" + std::to_string(first >> 2 & 3) + "}");
  } else {
    fuzz::request(peer, R"({"action":"status","section":")" + section + "\"}");
  }
  return 0;
}
