#pragma once

// A pipelining D-Bus client over libdbus: many method calls in flight on one
// private connection, answers matched by serial, every call bounded in time.
//
// The walk of a window is thousands of small calls to one peer; sending them
// one after the other pays a full round trip through the bus daemon each
// time, while keeping a window of them in flight pays mostly the daemon's
// routing. libdbus is used directly (rather than a main-loop library) so that
// the whole exchange runs on the caller's thread, with no library thread, no
// log output and no global state beyond the connection.

#include <dbus/dbus.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

#include "color_helper/accessibility/accessibility.h"

namespace trovemark::ax::dbus {

// Owns one message reference.
struct MessageDeleter {
  void operator()(DBusMessage* m) const { dbus_message_unref(m); }
};
using Message = std::unique_ptr<DBusMessage, MessageDeleter>;

// Called exactly once per call: with the reply, or with null when the call
// failed, was answered with an error, timed out, or its peer is gone.
using ReplyHandler = std::function<void(DBusMessage* reply)>;

// What the helper accepts of any one answer: a longer text or path, or a
// longer list, reads as unreadable. A message larger than kMaxMessageBytes
// ends the connection (libdbus cannot skip one), so that no answer costs more
// memory than these allow, whatever the peer sends.
inline constexpr std::size_t kMaxText = 4096;
inline constexpr std::size_t kMaxListItems = 100000;
inline constexpr long kMaxMessageBytes = 8 * 1024 * 1024;

struct BusOptions {
  // A call not answered within this time fails, and its peer counts as gone
  // for the rest of this connection's life, so a hung peer costs one timeout.
  std::chrono::milliseconds callTimeout{kCallDeadline};
  // Calls in flight at once; later ones wait unsent. Keeps the peer's queue
  // and the daemon's count of expected replies bounded.
  std::size_t maxInFlight{192};
  // The request's time for waiting, shared with the other connections it
  // opens: once it is spent, every pending and later call fails at once, as
  // if each peer had missed its deadline. None: unbounded.
  WaitBudget* budget = nullptr;
};

// The connection under a Bus: libdbus's own. Abstract so that the reply
// fuzzer can hand the client any answer without a bus daemon.
class Wire {
 public:
  virtual ~Wire() = default;
  // Queues a message to send and gives it its serial; false when it cannot.
  virtual bool send(DBusMessage* message, dbus_uint32_t& serial) = 0;
  // Moves bytes both ways, waiting at most `timeoutMs` for some to come;
  // false once the connection has gone.
  virtual bool readWrite(int timeoutMs) = 0;
  // The next message received, or null.
  virtual Message pop() = 0;
};

class Bus {
 public:
  // A private connection to the bus at `address`, registered with its daemon.
  // Null when it cannot be reached. libdbus must have been told not to abort
  // on a malformed answer first (setUpProcess()).
  static std::unique_ptr<Bus> connect(const std::string& address, Clock& clock,
                                      BusOptions options = {});
  // A connection over `wire`, greeted as connect() greets the daemon; null
  // when the greeting fails.
  static std::unique_ptr<Bus> over(std::unique_ptr<Wire> wire, Clock& clock, BusOptions options);

  ~Bus();
  Bus(const Bus&) = delete;
  Bus& operator=(const Bus&) = delete;

  // Calls are sent in groups, so that one reader can drop its own calls
  // while others stay in flight. Group 0 is never abandoned.
  using Group = std::uint64_t;
  Group newGroup() { return ++lastGroup_; }

  // Sends `message` (a method call with a destination), or queues it until
  // there is room in flight. The handler runs later, from within run(). A
  // call to a peer already gone, or once the wait budget is spent, is not
  // sent and fails at once.
  void call(Message message, ReplyHandler handler, Group group = 0);

  // Dispatches answers until `done` holds or no call is pending. `feed` runs
  // before every wait, so the caller can keep the window of calls full.
  void runUntil(const std::function<bool()>& done, const std::function<void()>& feed = {});
  // Dispatches answers until no call is pending.
  void run(const std::function<void()>& feed = {}) { runUntil({}, feed); }

  // Forgets the group's pending calls: their handlers never run and late
  // answers are dropped.
  void abandon(Group group);

  bool hasRoom() const { return pending_.size() + unsent_.size() < options_.maxInFlight; }
  std::size_t inFlight() const { return pending_.size(); }
  // Method calls sent on this connection so far.
  std::uint64_t callsSent() const { return sent_; }
  bool connected() const { return wire_ != nullptr; }

 private:
  Bus(std::unique_ptr<Wire> wire, Clock& clock, BusOptions options);

  struct Pending {
    std::string peer;
    Clock::TimePoint deadline;
    ReplyHandler handler;
    Group group = 0;
  };
  struct Unsent {
    Message message;
    ReplyHandler handler;
    Group group;
  };
  struct Failure {
    Group group;
    ReplyHandler handler;
  };

  bool spent() const { return options_.budget != nullptr && options_.budget->spent(); }
  void send(Message message, ReplyHandler handler, Group group);
  void sendUnsent();
  void dispatch(DBusMessage* message);
  bool expire();
  void failAll();
  void runFailures();

  std::unique_ptr<Wire> wire_;
  Clock& clock_;
  BusOptions options_;
  std::unordered_map<dbus_uint32_t, Pending> pending_;
  // Serials in the order sent; deadlines grow with it, so the front is the
  // next to expire. Entries already answered are skipped lazily.
  std::deque<dbus_uint32_t> order_;
  std::deque<Unsent> unsent_;
  std::deque<Failure> failures_;
  std::set<std::string> gone_;
  std::uint64_t sent_ = 0;
  Group lastGroup_ = 0;
};

// Message building and reading. Readers return false when the reply does not
// have the expected shape.
Message methodCall(const std::string& peer, const std::string& path, const char* interface,
                   const char* method);
// org.freedesktop.DBus.Properties.Get of one property.
Message propertyGet(const std::string& peer, const std::string& path, const char* interface,
                    const char* property);

bool readString(DBusMessage* reply, std::string& out);
bool readUint32(DBusMessage* reply, std::uint32_t& out);
bool readBool(DBusMessage* reply, bool& out);
bool readStrings(DBusMessage* reply, std::vector<std::string>& out);
bool readUint32s(DBusMessage* reply, std::vector<std::uint32_t>& out);

// An object reference (bus name, object path) as the accessibility protocol
// passes it.
struct ObjectRef {
  std::string peer;
  std::string path;
};
bool readObjectRefs(DBusMessage* reply, std::vector<ObjectRef>& out);
// Reads an object reference list only as far as `each` wants it: stops when
// it returns false, without looking at the rest or limiting the length.
bool forEachObjectRef(DBusMessage* reply, const std::function<bool(ObjectRef&&)>& each);
// The action names of an Action.GetActions answer, a list of (name,
// description, key binding).
bool readActionNames(DBusMessage* reply, std::vector<std::string>& out);

// The value inside a Properties.Get reply.
struct Variant {
  enum class Kind { kString, kNumber, kBool, kOther } kind = Kind::kOther;
  std::string text;
  double number = 0;
  bool flag = false;
  std::string signature;
};
bool readVariant(DBusMessage* reply, Variant& out);

// Whether a name or path taken from a peer's answer is safe to address a call
// to: libdbus treats a malformed one as a programming error.
bool validPeer(const std::string& name);
bool validPath(const std::string& path);

}  // namespace trovemark::ax::dbus
