#include "companion/platform/x_root_property_linux.h"

#include <poll.h>
#include <xcb/xcb.h>
#include <xcb/xcbext.h>

#include <cerrno>
#include <condition_variable>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>

namespace trovemark::x11 {
namespace {

using Clock = std::chrono::steady_clock;

// Far beyond any bus address; GetProperty counts in 32-bit units.
constexpr std::uint32_t kLongestValue = 64 * 1024;

struct Free {
  void operator()(void* reply) const { std::free(reply); }
};
template <typename T>
using Reply = std::unique_ptr<T, Free>;

struct Disconnect {
  void operator()(xcb_connection_t* connection) const { xcb_disconnect(connection); }
};
using Connection = std::unique_ptr<xcb_connection_t, Disconnect>;

// xcb_connect waits without limit for the server's greeting, so it runs on a
// thread of its own. When the greeting is late that thread is left behind,
// and it closes the connection itself whenever the server lets it go.
Connection connectBy(const std::string& display, Clock::time_point deadline, int& screen) {
  struct Attempt {
    std::mutex mutex;
    std::condition_variable finished;
    bool done = false;
    bool abandoned = false;
    xcb_connection_t* connection = nullptr;
    int screen = 0;
  };
  auto attempt = std::make_shared<Attempt>();
  try {
    std::thread([attempt, display] {
      int screen = 0;
      xcb_connection_t* connection = xcb_connect(display.c_str(), &screen);
      const std::lock_guard lock(attempt->mutex);
      if (attempt->abandoned) {
        xcb_disconnect(connection);
        return;
      }
      attempt->connection = connection;
      attempt->screen = screen;
      attempt->done = true;
      attempt->finished.notify_one();
    }).detach();
  } catch (const std::system_error&) {
    return nullptr;
  }
  std::unique_lock lock(attempt->mutex);
  if (!attempt->finished.wait_until(lock, deadline, [&] { return attempt->done; })) {
    attempt->abandoned = true;
    return nullptr;
  }
  screen = attempt->screen;
  return Connection(attempt->connection);
}

// What the root window holds under one name.
struct Held {
  bool present = false;
  std::optional<std::string> text;  // when an 8-bit STRING
};

// The root window of a display's default screen, every wait on it bounded
// by one deadline. A server grab ends when the connection closes.
class RootWindow {
 public:
  static std::unique_ptr<RootWindow> open(const std::string& display) {
    // An empty name would make libxcb read DISPLAY itself.
    if (display.empty()) return nullptr;
    const auto deadline = Clock::now() + kWaitLimit;
    int screen = 0;
    Connection connection = connectBy(display, deadline, screen);
    if (!connection || xcb_connection_has_error(connection.get())) return nullptr;
    auto roots = xcb_setup_roots_iterator(xcb_get_setup(connection.get()));
    for (; roots.rem > 0 && screen > 0; --screen) xcb_screen_next(&roots);
    if (roots.rem <= 0) return nullptr;
    return std::unique_ptr<RootWindow>(
        new RootWindow(std::move(connection), roots.data->root, deadline));
  }

  xcb_connection_t* connection() const { return connection_.get(); }
  xcb_window_t root() const { return root_; }

  // The atom of `name`; XCB_ATOM_NONE for a name the server never saw,
  // unless `create`.
  std::optional<xcb_atom_t> atom(const std::string& name, bool create) {
    const auto cookie = xcb_intern_atom(connection(), create ? 0 : 1,
                                        static_cast<std::uint16_t>(name.size()), name.data());
    const auto reply = await<xcb_intern_atom_reply_t>(cookie.sequence);
    if (!reply) return std::nullopt;
    return reply->atom;
  }

  std::optional<Held> held(xcb_atom_t atom) {
    if (atom == XCB_ATOM_NONE) return Held{};
    const auto cookie = xcb_get_property(connection(), 0, root_, atom, XCB_GET_PROPERTY_TYPE_ANY, 0,
                                         kLongestValue / 4);
    const auto reply = await<xcb_get_property_reply_t>(cookie.sequence);
    if (!reply) return std::nullopt;
    Held held{.present = reply->type != XCB_ATOM_NONE, .text = std::nullopt};
    if (reply->type == XCB_ATOM_STRING && reply->format == 8 && reply->bytes_after == 0) {
      held.text.emplace(static_cast<const char*>(xcb_get_property_value(reply.get())),
                        static_cast<std::size_t>(xcb_get_property_value_length(reply.get())));
    }
    return held;
  }

 private:
  RootWindow(Connection connection, xcb_window_t root, Clock::time_point deadline)
      : connection_(std::move(connection)), root_(root), deadline_(deadline) {}

  // The reply to a request; none on an error, or once the deadline passed.
  template <typename T>
  Reply<T> await(unsigned int sequence) {
    if (xcb_flush(connection()) <= 0) return nullptr;
    for (;;) {
      void* reply = nullptr;
      xcb_generic_error_t* error = nullptr;
      if (xcb_poll_for_reply(connection(), sequence, &reply, &error)) {
        std::free(error);
        return Reply<T>(static_cast<T*>(reply));
      }
      const auto left =
          std::chrono::ceil<std::chrono::milliseconds>(deadline_ - Clock::now()).count();
      if (left <= 0) return nullptr;
      pollfd readable{xcb_get_file_descriptor(connection()), POLLIN, 0};
      if (::poll(&readable, 1, static_cast<int>(left)) < 0 && errno != EINTR) return nullptr;
    }
  }

  Connection connection_;
  xcb_window_t root_;
  Clock::time_point deadline_;
};

}  // namespace

std::optional<std::string> readRootProperty(const std::string& display, const std::string& name) {
  const auto window = RootWindow::open(display);
  if (!window) return std::nullopt;
  const auto atom = window->atom(name, false);
  if (!atom) return std::nullopt;
  const auto held = window->held(*atom);
  return held ? held->text : std::nullopt;
}

Publication publishRootProperty(const std::string& display, const std::string& name,
                                const std::string& value) {
  const auto window = RootWindow::open(display);
  if (!window) return Publication::kFailed;
  const auto atom = window->atom(name, true);
  if (!atom) return Publication::kFailed;
  // No other client runs between the look and the write.
  xcb_grab_server(window->connection());
  const auto before = window->held(*atom);
  if (!before) return Publication::kFailed;
  if (before->present) return Publication::kAlreadyThere;
  xcb_change_property(window->connection(), XCB_PROP_MODE_REPLACE, window->root(), *atom,
                      XCB_ATOM_STRING, 8, static_cast<std::uint32_t>(value.size()), value.data());
  const auto after = window->held(*atom);
  return after && after->text == value ? Publication::kWritten : Publication::kFailed;
}

bool withdrawRootProperty(const std::string& display, const std::string& name,
                          const std::string& value) {
  const auto window = RootWindow::open(display);
  if (!window) return false;
  const auto atom = window->atom(name, false);
  if (!atom || *atom == XCB_ATOM_NONE) return false;
  xcb_grab_server(window->connection());
  const auto before = window->held(*atom);
  if (!before || before->text != value) return false;
  xcb_delete_property(window->connection(), window->root(), *atom);
  const auto after = window->held(*atom);
  return after && !after->present;
}

}  // namespace trovemark::x11
