// A program that registers on the accessibility bus as "DaVinci Resolve",
// shows the default scene, and misbehaves as told:
//
//   rogue-peer MISBEHAVIOUR [--log FILE]
//
//   cycle       the window's first child lists the window as its own first child
//   wide        the window has 100,000 more children after its own
//   windows     99,999 empty windows follow the real one
//   wrong-types every second reply has another signature
//   slow        every reply leaves 1.9 seconds after its call came
//   disconnect  the program exits at its 300th call, in the middle of a walk
//   flood       100 signals of 1 KiB to the caller before every reply
//   huge-text   the first text asked for is 128 MiB long, the bus's largest
//   none        answers as the scene does
//
// Prints "ready" once registered; on SIGTERM writes "calls N" (calls
// answered) to the log file and exits 0.

#include <dbus/dbus.h>
#include <signal.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <fstream>
#include <string>
#include <thread>

#include "scene_engine/scene.h"
#include "testing/rogue/replies.h"
#include "testing/rogue/scene_peer.h"

namespace {

using namespace trovemark;
using Clock = std::chrono::steady_clock;

volatile sig_atomic_t stopping = 0;

DBusConnection* connectToAccessibilityBus() {
  std::string address;
  if (const char* a = std::getenv("AT_SPI_BUS_ADDRESS")) {
    address = a;
  } else if (DBusConnection* session = dbus_bus_get_private(DBUS_BUS_SESSION, nullptr)) {
    ax::dbus::Message call(dbus_message_new_method_call("org.a11y.Bus", "/org/a11y/bus",
                                                        "org.a11y.Bus", "GetAddress"));
    ax::dbus::Message reply(
        dbus_connection_send_with_reply_and_block(session, call.get(), 5000, nullptr));
    if (reply) ax::dbus::readString(reply.get(), address);
    dbus_connection_close(session);
    dbus_connection_unref(session);
  }
  DBusConnection* c = dbus_connection_open_private(address.c_str(), nullptr);
  if (c == nullptr || !dbus_bus_register(c, nullptr)) return nullptr;
  dbus_connection_set_exit_on_disconnect(c, FALSE);
  // The bus's largest message must fit both ways.
  dbus_connection_set_max_message_size(c, DBUS_MAXIMUM_MESSAGE_LENGTH);
  return c;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2 && !(argc == 4 && std::strcmp(argv[2], "--log") == 0)) {
    std::fprintf(stderr, "usage: rogue-peer MISBEHAVIOUR [--log FILE]\n");
    return 2;
  }
  const std::string misbehaviour = argv[1];
  signal(SIGTERM, [](int) { stopping = 1; });
  signal(SIGINT, [](int) { stopping = 1; });

  ax::SystemClock clock;
  auto scene = scene::Scene::load(TROVEMARK_SOURCE_DIR "/scenes/color-page.json", clock);
  DBusConnection* bus = connectToAccessibilityBus();
  if (bus == nullptr) {
    std::fprintf(stderr, "rogue-peer: no accessibility bus\n");
    return 1;
  }
  testing::ScenePeer peer(*scene, dbus_bus_get_unique_name(bus));
  const std::string window = peer.children(testing::ScenePeer::kRootPath).at(0);
  const std::string firstChild = peer.children(window).at(0);
  peer.editChildren = [&](const std::string& path, std::vector<std::string>& children) {
    const std::string extra = std::string("/org/a11y/atspi/accessible/x");
    if (misbehaviour == "cycle" && path == firstChild) children.insert(children.begin(), window);
    if (misbehaviour == "wide" && path == window) {
      for (int i = 0; i < 100000; ++i) children.push_back(extra + std::to_string(i));
    }
    if (misbehaviour == "windows" && path == testing::ScenePeer::kRootPath) {
      for (int i = 0; i < 99999; ++i) children.push_back(extra + std::to_string(i));
    }
  };

  // Registers the application with the desktop, as a toolkit does at start.
  ax::dbus::Message embed(dbus_message_new_method_call(
      "org.a11y.atspi.Registry", testing::ScenePeer::kRootPath, "org.a11y.atspi.Socket", "Embed"));
  DBusMessageIter it;
  dbus_message_iter_init_append(embed.get(), &it);
  testing::replies::ref(it, peer.name(), testing::ScenePeer::kRootPath);
  ax::dbus::Message embedded(
      dbus_connection_send_with_reply_and_block(bus, embed.get(), 10000, nullptr));
  if (!embedded) {
    std::fprintf(stderr, "rogue-peer: the registry did not take the application\n");
    return 1;
  }
  std::printf("ready\n");
  std::fflush(stdout);

  struct Due {
    Clock::time_point at;
    ax::dbus::Message reply;
  };
  std::deque<Due> due;
  long calls = 0;
  bool textSent = false;
  while (!stopping) {
    int wait = 100;
    if (!due.empty()) {
      const auto left = std::chrono::ceil<std::chrono::milliseconds>(due.front().at - Clock::now());
      wait = static_cast<int>(std::max<long>(0, std::min<long>(wait, left.count())));
    }
    if (!dbus_connection_read_write(bus, wait)) break;
    while (DBusMessage* raw = dbus_connection_pop_message(bus)) {
      ax::dbus::Message call(raw);
      if (dbus_message_get_type(raw) != DBUS_MESSAGE_TYPE_METHOD_CALL) continue;
      if (++calls == 300 && misbehaviour == "disconnect") {
        std::_Exit(0);
      }
      ax::dbus::Message reply = peer.answer(raw);
      if (misbehaviour == "wrong-types" && calls % 2 == 0 &&
          std::strcmp(dbus_message_get_path(raw), testing::ScenePeer::kRootPath) != 0) {
        // Another signature than the one asked for.
        reply = std::strcmp(dbus_message_get_signature(reply.get()), "s") == 0
                    ? testing::replies::basic(raw, DBUS_TYPE_UINT32, dbus_uint32_t{7})
                    : testing::replies::basic(raw, DBUS_TYPE_STRING, "rogue");
      }
      if (misbehaviour == "huge-text" && !textSent &&
          dbus_message_is_method_call(raw, "org.a11y.atspi.Text", "GetText")) {
        textSent = true;
        // The header and the string's own length leave room for the rest.
        const std::string huge(DBUS_MAXIMUM_MESSAGE_LENGTH - 4096, 'x');
        reply = testing::replies::basic(raw, DBUS_TYPE_STRING, huge.c_str());
      }
      if (misbehaviour == "flood" && dbus_message_get_sender(raw) != nullptr) {
        const std::string payload(1024, 's');
        for (int i = 0; i < 100; ++i) {
          ax::dbus::Message signal(dbus_message_new_signal(
              testing::ScenePeer::kRootPath, "org.a11y.atspi.Event.Object", "PropertyChange"));
          dbus_message_set_destination(signal.get(), dbus_message_get_sender(raw));
          const char* text = payload.c_str();
          dbus_message_append_args(signal.get(), DBUS_TYPE_STRING, &text, DBUS_TYPE_INVALID);
          dbus_connection_send(bus, signal.get(), nullptr);
        }
      }
      const auto delay = std::chrono::milliseconds(misbehaviour == "slow" ? 1900 : 0);
      due.push_back({Clock::now() + delay, std::move(reply)});
    }
    while (!due.empty() && due.front().at <= Clock::now()) {
      dbus_connection_send(bus, due.front().reply.get(), nullptr);
      due.pop_front();
    }
    dbus_connection_flush(bus);
  }
  if (argc == 4) std::ofstream(argv[3]) << "calls " << calls << "\n";
  dbus_connection_close(bus);
  dbus_connection_unref(bus);
  return 0;
}
